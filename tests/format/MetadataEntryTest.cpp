#include <gtest/gtest.h>

#include "format/MetadataEntry.h"
#include "writer/ByteWriter.h"

namespace {

using namespace writer;
using ZENT::SDK::Format::ClassifyMetadataEntry;
using ZENT::SDK::Format::HasDeflatedDictionary;
using ZENT::SDK::Format::kDictionaryOffset;
using ZENT::SDK::Format::MetadataForm;

const Bytes kZero = {0};
const Bytes kMetj = Concat({Text("text/vnd.norvate.metj"), kZero});
const Bytes kPlain = Concat({kZero, kMetj});
const Bytes kCompressed = Concat({Text("application/vnd.norvate.deflate"), kZero, kMetj});

// A "txtC" box after the compressed form's two strings.
Bytes WithTxtc(const char* type, uint32_t versionAndFlags, const Bytes& dictionary) {
    ByteWriter box;
    box.u32(uint32_t(12 + dictionary.size())).bytes(Text(type)).u32(versionAndFlags).bytes(dictionary);
    return Concat({kCompressed, box.take()});
}

struct EntryRow {
    const char* name;
    Bytes bytes;
    MetadataForm form;
    bool dictionary;
};

class MetadataEntryTest : public testing::TestWithParam<EntryRow> {};

TEST_P(MetadataEntryTest, FormAndDictionary) {
    const EntryRow& row = GetParam();
    EXPECT_EQ(ClassifyMetadataEntry(row.bytes.data(), row.bytes.size()), row.form);
    EXPECT_EQ(HasDeflatedDictionary(row.bytes.data(), row.bytes.size()), row.dictionary);
    if (row.dictionary) {
        EXPECT_EQ(Bytes(row.bytes.begin() + kDictionaryOffset, row.bytes.end()), Text("AB"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MetadataEntryTest,
    testing::Values(
        EntryRow{"empty", {}, MetadataForm::kNone, false}, EntryRow{"plain", kPlain, MetadataForm::kPlain, false},
        EntryRow{"plainWithMoreBytes", Concat({kPlain, Text("xyz")}), MetadataForm::kPlain, false},
        EntryRow{"plainWithoutItsLastZero", Bytes(kPlain.begin(), kPlain.end() - 1), MetadataForm::kNone, false},
        EntryRow{"otherEncoding", Concat({Text("gzip"), kZero, kMetj}), MetadataForm::kNone, false},
        EntryRow{"otherMimeType", Concat({kZero, Text("text/plain"), kZero}), MetadataForm::kNone, false},
        EntryRow{"mimeTypeGoesOn", Concat({kZero, Text("text/vnd.norvate.metjx"), kZero}), MetadataForm::kNone, false},
        EntryRow{"compressed", kCompressed, MetadataForm::kCompressed, false},
        EntryRow{"compressedWithoutItsLastZero", Bytes(kCompressed.begin(), kCompressed.end() - 1), MetadataForm::kNone,
                 false},
        EntryRow{"dictionary", WithTxtc("txtC", 0, Text("AB")), MetadataForm::kCompressed, true},
        EntryRow{"txtcWithoutDictionaryBytes", WithTxtc("txtC", 0, {}), MetadataForm::kCompressed, false},
        EntryRow{"txtcVersionOne", WithTxtc("txtC", 0x01000000, Text("AB")), MetadataForm::kCompressed, false},
        EntryRow{"otherBoxType", WithTxtc("txtc", 0, Text("AB")), MetadataForm::kCompressed, false}),
    [](const testing::TestParamInfo<EntryRow>& info) { return std::string(info.param.name); });

}  // namespace

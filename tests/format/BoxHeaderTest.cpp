#include <gtest/gtest.h>

#include "format/BoxHeader.h"
#include "writer/ByteWriter.h"

namespace {

using namespace writer;
using namespace ZENT::SDK::Format;

struct HeaderRow {
    const char* name;
    const char* bytes;
    uint64_t start;
    uint32_t sizeFields;
    uint64_t size;
    uint64_t headerSize;
    bool valid;
};

class DecodeBoxHeaderTest : public testing::TestWithParam<HeaderRow> {};

TEST_P(DecodeBoxHeaderTest, SizeTypeAndHeaderSize) {
    const HeaderRow& row = GetParam();
    const Bytes bytes = Hex(row.bytes);
    EXPECT_EQ(SizeFieldsLength(bytes.data()), row.sizeFields);
    const BoxHeader header = DecodeBoxHeader(bytes.data(), row.start);
    EXPECT_EQ(header.start, row.start);
    EXPECT_EQ(header.size, row.size);
    EXPECT_EQ(header.headerSize, row.headerSize);
    EXPECT_EQ(header.type, ReadU32(bytes, 4));
    EXPECT_EQ(HasValidSize(header), row.valid);
    if (row.valid) {
        EXPECT_EQ(header.end, row.start + row.size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecodeBoxHeaderTest,
    testing::Values(
        HeaderRow{"plain", "00 00 00 10 66 72 65 65", 100, 8, 16, 8, true},
        HeaderRow{"largesize", "00 00 00 01 6D 64 61 74 00 00 00 01 00 00 00 00", 0, 16, 0x100000000, 16, true},
        HeaderRow{"uuid", "00 00 00 18 75 75 69 64", 8, 8, 24, 24, true},
        HeaderRow{"uuidBelowItsHeader", "00 00 00 17 75 75 69 64", 8, 8, 23, 24, false},
        HeaderRow{"largesizeAndUuid", "00 00 00 01 75 75 69 64 00 00 00 00 00 00 00 1F", 0, 16, 31, 32, false},
        HeaderRow{"sizeZero", "00 00 00 00 66 72 65 65", 0, 8, 0, 8, false},
        // 0x0F + 0xFFFFFFFFFFFFFFF0 is 2^64 - 1; one more wraps to 0.
        HeaderRow{"endAtTheLastPosition", "00 00 00 01 66 72 65 65 FF FF FF FF FF FF FF F0", 0x0F, 16,
                  0xFFFFFFFFFFFFFFF0, 16, true},
        HeaderRow{"endWraps", "00 00 00 01 66 72 65 65 FF FF FF FF FF FF FF F0", 0x10, 16, 0xFFFFFFFFFFFFFFF0, 16,
                  false}),
    [](const testing::TestParamInfo<HeaderRow>& info) { return std::string(info.param.name); });

}  // namespace

#include "viewwhilerecording/IndexRecord.h"

#include <gtest/gtest.h>

#include "support/TempFile.h"
#include "viewwhilerecording/ViewWhileRecException.h"
#include "writer/ByteWriter.h"
#include "writer/InProgressChunk.h"

namespace {

using namespace writer;
using namespace testsupport;
using ZENT::SDK::ViewWhileRecording::DataReader;
using ZENT::SDK::ViewWhileRecording::IndexRecord;
using ZENT::SDK::ViewWhileRecording::IOException;
using ZENT::SDK::ViewWhileRecording::ReadIndexRecord;
using ZENT::SDK::ViewWhileRecording::ViewWhileRecException;

constexpr uint32_t kH264 = 0x34363248;
constexpr uint32_t kNorv = 0x56524F4E;

IndexRecord ReadFrom(const Bytes& bytes, uint64_t* endPosition = nullptr) {
    TempFile file(bytes);
    DataReader reader(file.path());
    IndexRecord record;
    ReadIndexRecord(reader, record);
    if (endPosition) *endPosition = reader.GetPosition();
    return record;
}

TEST(IndexRecordTest, VideoRecordCarriesSizesGapAndPictureSize) {
    // k 0: "1"; tag 32 bits; count 3: "00100"; 5: "00110"; 0: "1";
    // 300: 8 zeros, 100101101; gap 7: "0001000"; 1920 and 1080 after it.
    BitWriter bits;
    bits.ue(0).bits(kH264, 32).ue(3).ue(5).ue(0).ue(300).ue(7).ue(1920).ue(1080);
    const Bytes bytes = Concat({bits.bytes(), Bytes(20, 0xAA)});
    uint64_t end = 0;
    const IndexRecord record = ReadFrom(bytes, &end);
    EXPECT_EQ(record.flags, 0x01);
    EXPECT_EQ(record.tag, 0x34363248u);
    EXPECT_EQ(record.count, 3u);
    EXPECT_EQ(record.sizes, (std::vector<uint32_t>{5, 0, 300}));
    EXPECT_EQ(record.gap, 7u);
    EXPECT_EQ(record.width, 1920);
    EXPECT_EQ(record.height, 1080);
    // 1 + 32 + 5 + 5 + 1 + 17 + 7 + 21 + 21 = 110 bits: the record is 14 bytes.
    EXPECT_EQ(end, 14u);
    EXPECT_EQ(record.dataStart, 14u + 7);
    EXPECT_EQ(record.dataEnd, 14u + 7 + 305);
}

TEST(IndexRecordTest, AudioRecordHasNoPictureSize) {
    // k 1 gives flags 0x02: gap is the last field.
    BitWriter bits;
    bits.ue(1).bits(ChunkTag("G711"), 32).ue(1).ue(160).ue(0);
    uint64_t end = 0;
    const IndexRecord record = ReadFrom(Concat({bits.bytes(), Bytes(4, 0xFF)}), &end);
    EXPECT_EQ(record.flags, 0x02);
    EXPECT_EQ(record.gap, 0u);
    EXPECT_EQ(record.width, 0);
    // 3 + 32 + 3 + 15 + 1 = 54 bits: 7 bytes; the 0xFF bytes after are not read.
    EXPECT_EQ(end, 7u);
    EXPECT_EQ(record.dataEnd, 7u + 160);
}

TEST(IndexRecordTest, TrailerKeepsTheGapAndPictureSizeOfTheRecordBefore) {
    BitWriter index;
    index.ue(0).bits(kH264, 32).ue(1).ue(10).ue(5).ue(640).ue(480);
    BitWriter trailer;
    trailer.ue(0).bits(kNorv, 32).ue(1).ue(40).ue(999);  // the 999 is not a field of a trailer
    const Bytes indexBytes = index.bytes();
    TempFile file(Concat({indexBytes, trailer.bytes()}));
    DataReader reader(file.path());
    IndexRecord record;
    ReadIndexRecord(reader, record);
    ReadIndexRecord(reader, record);
    EXPECT_EQ(record.tag, kNorv);
    EXPECT_EQ(record.sizes, std::vector<uint32_t>{40});
    EXPECT_EQ(record.gap, 5u);
    EXPECT_EQ(record.width, 640);
    EXPECT_EQ(record.height, 480);
    // 1 + 32 + 3 + 11 = 47 bits: 6 bytes, then the gap of 5 kept from before.
    const uint64_t trailerEnd = indexBytes.size() + 6;
    EXPECT_EQ(reader.GetPosition(), trailerEnd);
    EXPECT_EQ(record.dataStart, trailerEnd + 5);
    EXPECT_EQ(record.dataEnd, trailerEnd + 5 + 40);
}

struct FlagCase {
    uint32_t flagIndex;
    uint8_t flags;
};

class FlagIndexTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagIndexTest, FlagsAreOneShiftedByTheIndexModulo32KeptTo8Bits) {
    BitWriter bits;
    bits.ue(GetParam().flagIndex).bits(kNorv, 32).ue(0);
    EXPECT_EQ(ReadFrom(Concat({bits.bytes(), Bytes(8, 0)})).flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(Indexes, FlagIndexTest,
                         ::testing::Values(FlagCase{0, 0x01}, FlagCase{1, 0x02}, FlagCase{6, 0x40}, FlagCase{7, 0x80},
                                           FlagCase{8, 0x00}, FlagCase{31, 0x00}, FlagCase{32, 0x01},
                                           FlagCase{39, 0x80}));

TEST(IndexRecordTest, PictureSizeIsKeptTo16Bits) {
    BitWriter bits;
    bits.ue(0).bits(kH264, 32).ue(0).ue(0).ue(70000).ue(65535);
    const IndexRecord record = ReadFrom(bits.bytes());
    EXPECT_EQ(record.width, 70000 - 65536);
    EXPECT_EQ(record.height, 65535);
}

TEST(IndexRecordTest, ThirtyOneLeadingZerosGiveTheLargestValue) {
    // 0xFFFFFFFE is 2^31 - 1 + (2^31 - 1): 31 zeros, a one, 31 ones.
    BitWriter bits;
    bits.ue(0).bits(kNorv, 32).ue(2).ue(0xFFFFFFFE).ue(0xFFFFFFFE);
    uint64_t end = 0;
    const IndexRecord record = ReadFrom(bits.bytes(), &end);
    EXPECT_EQ(record.sizes, (std::vector<uint32_t>{0xFFFFFFFE, 0xFFFFFFFE}));
    // The sum is not taken modulo 2^32.
    EXPECT_EQ(record.dataEnd, end + 2 * uint64_t(0xFFFFFFFE));
}

TEST(IndexRecordTest, ThirtyTwoLeadingZerosAreRefused) {
    BitWriter flagIndex;
    flagIndex.bits(0, 32).bits(1, 1).bits(0, 32).bits(kNorv, 32).ue(0);
    EXPECT_THROW(ReadFrom(Concat({flagIndex.bytes(), Bytes(16, 0xFF)})), ViewWhileRecException);

    BitWriter size;
    size.ue(0).bits(kNorv, 32).ue(1).ue(0xFFFFFFFF);  // written with 32 zeros
    EXPECT_THROW(ReadFrom(Concat({size.bytes(), Bytes(16, 0xFF)})), ViewWhileRecException);
}

TEST(IndexRecordTest, CountBeyondTheBitsLeftIsRefusedBeforeReadingSizes) {
    // Every size takes one bit at least: 2^31 sizes cannot follow in 16 bytes.
    BitWriter bits;
    bits.ue(0).bits(kNorv, 32).ue(0x80000000);
    EXPECT_THROW(ReadFrom(Concat({bits.bytes(), Bytes(16, 0xFF)})), ViewWhileRecException);
}

TEST(IndexRecordTest, CountThatTheRemainingBitsCanHoldIsRead) {
    // count 16 with sixteen one-bit sizes of 0: exactly the bits left after
    // the count (16, plus the padding of the last byte).
    BitWriter bits;
    bits.ue(0).bits(kNorv, 32).ue(16);
    for (int i = 0; i < 16; ++i) bits.ue(0);
    const IndexRecord record = ReadFrom(bits.bytes());
    EXPECT_EQ(record.count, 16u);
    EXPECT_EQ(record.sizes, std::vector<uint32_t>(16, 0));
}

TEST(IndexRecordTest, RecordCutByTheEndOfTheFileThrowsIOException) {
    BitWriter bits;
    bits.ue(0).bits(kH264, 32).ue(2).ue(100).ue(200).ue(0).ue(16).ue(16);
    Bytes bytes = bits.bytes();
    bytes.pop_back();
    EXPECT_THROW(ReadFrom(bytes), IOException);
}

}  // namespace

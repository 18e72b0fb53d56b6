#include "common/BitReader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using ZENT::SDK::Utility::BitReader;

namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<uint8_t> list) { return list; }

void ExpectEndOfStream(BitReader& bits, unsigned width) {
    try {
        bits.Read(width);
        FAIL() << "a read of " << width << " bits past the end succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "end of stream");
    }
}

TEST(BitReader, ReadsMostSignificantBitFirstAcrossBytes) {
    // A5 0F F0 = 1 010 01010000 111111110000
    auto data = bytesOf({0xA5, 0x0F, 0xF0});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Read(1), 1u);
    EXPECT_EQ(bits.Read(3), 2u);
    EXPECT_EQ(bits.Read(8), 0x50u);
    EXPECT_EQ(bits.Read(12), 0xFF0u);
    EXPECT_EQ(bits.BitsUnread(), 0u);
}

TEST(BitReader, ThirtyTwoBitFieldSpanningFiveBytes) {
    auto data = bytesOf({0x12, 0x34, 0x56, 0x78, 0x9A});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Read(4), 0x1u);
    EXPECT_EQ(bits.Read(32), 0x23456789u);
    EXPECT_EQ(bits.Read(4), 0xAu);
}

class BitReaderWidth : public ::testing::TestWithParam<unsigned> {};

TEST_P(BitReaderWidth, OnesFieldBetweenZerosAtOddOffset) {
    unsigned width = GetParam();
    std::vector<uint8_t> data(6, 0);
    for (unsigned bit = 3; bit < 3 + width; ++bit) data[bit / 8] |= uint8_t(0x80 >> (bit % 8));
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Read(3), 0u);
    uint32_t expected = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    EXPECT_EQ(bits.Read(width), expected);
    EXPECT_EQ(bits.Read(8), 0u);
}

INSTANTIATE_TEST_SUITE_P(OneToThirtyTwo, BitReaderWidth, ::testing::Range(1u, 33u));

TEST(BitReader, PeekDoesNotMove) {
    auto data = bytesOf({0xC3});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Peek(2), 3u);
    EXPECT_EQ(bits.Read(4), 0xCu);
    EXPECT_EQ(bits.Peek(4), 0x3u);
    EXPECT_EQ(bits.BitsUnread(), 4u);
}

TEST(BitReader, ReadPastTheEndThrowsAndKeepsThePosition) {
    auto data = bytesOf({0xAB, 0xCD});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Read(12), 0xABCu);
    ExpectEndOfStream(bits, 5);
    EXPECT_EQ(bits.Read(4), 0xDu);
    ExpectEndOfStream(bits, 1);
}

TEST(BitReader, EmptyRangeHasNothingToRead) {
    uint8_t byte = 0;
    BitReader bits(&byte, &byte);
    EXPECT_EQ(bits.BytesUnread(), 0u);
    ExpectEndOfStream(bits, 1);
}

TEST(BitReader, PartlyReadByteCountsAsUnread) {
    auto data = bytesOf({1, 2, 3});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.BytesUnread(), 3u);
    bits.Read(1);
    EXPECT_EQ(bits.BytesUnread(), 3u);
    EXPECT_FALSE(bits.IsByteAligned());
    bits.Read(7);
    EXPECT_EQ(bits.BytesUnread(), 2u);
    EXPECT_TRUE(bits.IsByteAligned());
    bits.Read(9);
    EXPECT_EQ(bits.BytesUnread(), 1u);
    EXPECT_EQ(bits.Current(), data.data() + 2);
}

TEST(BitReader, ByteSkipsKeepTheBitOffset) {
    auto data = bytesOf({0x80, 0x00, 0x7F});
    BitReader bits(data.data(), data.data() + data.size());
    EXPECT_EQ(bits.Read(1), 1u);
    bits.SkipBytes(2);  // now 1 bit into the third byte
    EXPECT_EQ(bits.Read(7), 0x7Fu);
    EXPECT_EQ(bits.BytesUnread(), 0u);
}

TEST(BitReader, SkipPastTheEndThrows) {
    auto data = bytesOf({0, 0, 0});
    BitReader bits(data.data(), data.data() + data.size());
    bits.Read(1);
    EXPECT_THROW(bits.SkipBytes(3), std::runtime_error);  // needs a fourth byte
    bits.SkipBytes(2);
    EXPECT_EQ(bits.Read(7), 0u);
    EXPECT_THROW(bits.SkipBytes(UINT64_MAX), std::runtime_error);
    bits.SkipBytes(0);
}

}  // namespace

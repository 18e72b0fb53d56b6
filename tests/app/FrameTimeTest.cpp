#include "app/FrameTime.h"

#include <gtest/gtest.h>

#include <vector>

#include "UserDataBlock.h"

namespace {

// The time found for a block with the given type; the block lies at the end
// of a readable page, so any read past userDataSize crashes the test.
std::vector<FrameTime> Extract(const std::vector<uint8_t>& block, int32_t timeType, size_t size) {
    GuardedBuffer buffer(std::vector<uint8_t>(block.begin(), block.begin() + size));
    TMediaPacket packet{};
    packet.userData = buffer.data();
    packet.userDataSize = uint32_t(size);
    std::vector<FrameTime> times;
    ExtractFrameTime(packet, timeType, times);
    return times;
}

std::vector<FrameTime> Extract(const std::vector<uint8_t>& block, int32_t timeType) {
    return Extract(block, timeType, block.size());
}

void ExpectTime(const std::vector<FrameTime>& times, uint32_t seconds, uint32_t milliseconds, uint16_t word1,
                uint16_t word2) {
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(times[0].seconds, seconds);
    EXPECT_EQ(times[0].milliseconds, milliseconds);
    EXPECT_EQ(times[0].word1, word1);
    EXPECT_EQ(times[0].word2, word2);
}

}  // namespace

TEST(ExtractFrameTime, ReadsTheBigEndianFieldsOfTheElement) {
    const auto block = UserDataBlock()
                           .Bytes({0x60, 0x0C, 0x5E, 0x0B, 0xE1, 0x00, 0x00, 0x00, 0x00, 0x7B, 0x00, 0x01, 0xFF, 0xFF})
                           .Build();
    ExpectTime(Extract(block, kStreamTime), 1577836800u, 123u, 1u, 0xFFFFu);
}

TEST(ExtractFrameTime, PicksTheElementOfTheRequestedTypeAndSkipsTheOther) {
    const auto block = UserDataBlock().Time(0x60, 1000, 1, 2, 3).Time(0x61, 2000, 4, 5, 6).Build();
    ExpectTime(Extract(block, kRecordTime), 2000, 4, 5, 6);
    ExpectTime(Extract(block, kStreamTime), 1000, 1, 2, 3);
}

TEST(ExtractFrameTime, FirstMatchingElementWins) {
    const auto block = UserDataBlock().Time(0x61, 10, 1, 1, 1).Time(0x61, 20, 2, 2, 2).Build();
    ExpectTime(Extract(block, kRecordTime), 10, 1, 1, 1);
}

// The fields sit at fixed places after the tag whatever the length byte says.
TEST(ExtractFrameTime, LengthByteOfAMatchingElementIsNotConsulted) {
    for (uint8_t lengthByte : {0x00, 0x05, 0x80, 0xFF}) {
        const auto block = UserDataBlock().Bytes({0x61, lengthByte, 0, 0, 0, 9, 0, 0, 0, 8, 0, 7, 0, 6}).Build();
        ExpectTime(Extract(block, kRecordTime), 9, 8, 7, 6);
    }
}

TEST(ExtractFrameTime, NothingWithoutBlockOrForOtherTimeTypes) {
    TMediaPacket packet{};
    packet.userData = nullptr;
    packet.userDataSize = 100;  // must not be trusted without a block
    std::vector<FrameTime> times;
    ExtractFrameTime(packet, kRecordTime, times);
    EXPECT_TRUE(times.empty());

    const auto block = UserDataBlock().Time(0x61, 1, 2, 3, 4).Time(0x60, 1, 2, 3, 4).Build();
    for (int32_t timeType : {0, int32_t(kCameraTime), 4, -1, 0x61, 0x60})
        EXPECT_TRUE(Extract(block, timeType).empty()) << "time type " << timeType;
}

TEST(ExtractFrameTime, BlocksWithoutElements) {
    const std::vector<uint8_t> lengthWordOnly = {0, 0, 0, 0};
    EXPECT_TRUE(Extract(lengthWordOnly, kRecordTime).empty());
    // Shorter than its own length word: nothing is read at all.
    for (size_t size = 0; size < 4; ++size)
        EXPECT_TRUE(Extract(lengthWordOnly, kRecordTime, size).empty()) << "size " << size;
}

TEST(ExtractFrameTime, AppendsToWhatTheArrayAlreadyHolds) {
    const auto block = UserDataBlock().Time(0x61, 5, 6, 7, 8).Build();
    TMediaPacket packet{};
    packet.userData = const_cast<uint8_t*>(block.data());
    packet.userDataSize = uint32_t(block.size());
    std::vector<FrameTime> times = {{1, 2, 3, 4}};
    ExtractFrameTime(packet, kRecordTime, times);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0].seconds, 1u);
    EXPECT_EQ(times[1].seconds, 5u);
}

// A skipped element's value is filled with the sought tag: a skip that is
// one byte off lands on a false tag and yields a different time.
struct LengthForm {
    std::vector<uint8_t> lengthBytes;
    size_t valueLength;
};

class SkippedElementLength : public ::testing::TestWithParam<LengthForm> {};

TEST_P(SkippedElementLength, IsSkippedByItsDecodedLength) {
    UserDataBlock builder;
    builder.Bytes({0x70});
    for (uint8_t byte : GetParam().lengthBytes) builder.Bytes({byte});
    const auto block = builder.Fill(GetParam().valueLength, 0x61).Time(0x61, 1577836800, 999, 0x1234, 0xABCD).Build();
    ExpectTime(Extract(block, kRecordTime), 1577836800, 999, 0x1234, 0xABCD);
}

INSTANTIATE_TEST_SUITE_P(DefiniteForms, SkippedElementLength,
                         ::testing::Values(LengthForm{{0x00}, 0}, LengthForm{{0x7F}, 127},
                                           LengthForm{{0x81, 0x90}, 144}, LengthForm{{0x82, 0x01, 0x00}, 256},
                                           LengthForm{{0x83, 0x00, 0x01, 0x02}, 258},
                                           LengthForm{{0x84, 0x00, 0x00, 0x00, 0x05}, 5}));

// After the invalid byte b come b - 0x80 zero bytes: a walk that took b for
// a length form would decode a zero length and find the time right after.
TEST(ExtractFrameTime, InvalidLengthBeforeTheTimeEndsTheWalk) {
    for (uint8_t lengthByte : {0x80, 0x85, 0x86, 0x88, 0xFF}) {
        const auto block =
            UserDataBlock().Bytes({0x70, lengthByte}).Fill(lengthByte - 0x80u, 0x00).Time(0x61, 1, 2, 3, 4).Build();
        EXPECT_TRUE(Extract(block, kRecordTime).empty()) << "length byte " << int(lengthByte);
    }
}

TEST(ExtractFrameTime, LengthReachingPastTheEndEndsTheWalk) {
    // 13 bytes of value are announced, 12 follow; the largest four-byte
    // length must not wrap the cursor back into the block either.
    const auto shortValue = UserDataBlock().Bytes({0x70, 13}).Fill(12, 0x61).Build();
    EXPECT_TRUE(Extract(shortValue, kRecordTime).empty());
    const auto hugeValue = UserDataBlock().Bytes({0x70, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}).Time(0x61, 1, 2, 3, 4).Build();
    EXPECT_TRUE(Extract(hugeValue, kRecordTime).empty());
}

// Elements cut off by the block's end yield nothing; reading stops at the end.
TEST(ExtractFrameTime, ElementsCutOffByTheEndYieldNothing) {
    const auto whole = UserDataBlock().Time(0x61, 1, 2, 3, 4).Build();  // 4 + 14 bytes
    ExpectTime(Extract(whole, kRecordTime, whole.size()), 1, 2, 3, 4);
    for (size_t size = 5; size < whole.size(); ++size)
        EXPECT_TRUE(Extract(whole, kRecordTime, size).empty()) << "size " << size;

    // Tag as the last byte; length bytes of the long forms missing at the end.
    for (const auto& tail : std::vector<std::vector<uint8_t>>{
             {0x70}, {0x70, 0x81}, {0x70, 0x82, 0x01}, {0x70, 0x83, 0x00, 0x00}, {0x70, 0x84, 0, 0, 0}}) {
        UserDataBlock builder;
        for (uint8_t byte : tail) builder.Bytes({byte});
        EXPECT_TRUE(Extract(builder.Build(), kRecordTime).empty()) << "tail of " << tail.size() << " bytes";
    }
}

TEST(CameraFrameTime, KeepsTheLow16BitsOfTheZoneFields) {
    TMediaPacket packet{};
    packet.milliseconds = 7;
    packet.timeZoneOffset = 28800;
    packet.daylightSaving = -3600;
    FrameTime time = CameraFrameTime(packet, 1234);
    EXPECT_EQ(time.seconds, 1234u);
    EXPECT_EQ(time.milliseconds, 7u);
    EXPECT_EQ(time.word1, 28800u);
    EXPECT_EQ(time.word2, 61936u);  // 65536 - 3600

    packet.timeZoneOffset = -28800;
    packet.daylightSaving = 0x12345;
    time = CameraFrameTime(packet, 0);
    EXPECT_EQ(time.word1, 36736u);  // 65536 - 28800
    EXPECT_EQ(time.word2, 0x2345u);
}

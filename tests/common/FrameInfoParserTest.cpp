#include "common/FrameInfoParser.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "MediaHeaderBytes.h"
#include "isom/AVReader.h"

using namespace testbytes;
using ZENT::SDK::Utility::ParseFrameHeader;

namespace {

struct ParsedHeader {
    Bytes bytes;
    TMediaPacket packet;
    std::string error;  // empty when the parse succeeded
};

// Parses the header into a zero-filled record, as the packet assembly does.
std::unique_ptr<ParsedHeader> Parse(const Bytes& bytes, size_t headerLength = SIZE_MAX) {
    auto parsed = std::make_unique<ParsedHeader>();
    parsed->bytes = bytes;
    std::memset(&parsed->packet, 0, sizeof parsed->packet);
    parsed->packet.frameData = parsed->bytes.data();
    try {
        ParseFrameHeader(&parsed->packet, headerLength == SIZE_MAX ? bytes.size() : headerLength);
    } catch (const std::runtime_error& error) {
        parsed->error = error.what();
    }
    return parsed;
}

const Bytes kEmptyVideoExtension = {0, 0, 0, 0};

// ---------------------------------------------------------------- header words

TEST(FrameHeader, HeaderBuiltForPlainTrack) {
    // Flag bytes 00 20 13 04: UTC, zone 48; bits 2, 12 are not interpreted.
    auto parsed = Parse(MediaHeader("h264", 0x10, 0x00201304, 1600000000, 500, kEmptyVideoExtension, 1000));
    ASSERT_EQ(parsed->error, "");
    const TMediaPacket& p = parsed->packet;
    EXPECT_EQ(p.frameData, parsed->bytes.data());
    EXPECT_EQ(p.headerSize, 24u);
    EXPECT_EQ(p.payloadSize, 1000u);
    EXPECT_EQ(p.codecType, 8u);
    EXPECT_EQ(p.frameCount, 1u);
    EXPECT_EQ(p.frameType, 1);
    EXPECT_EQ(p.diAlert, 0u);
    EXPECT_EQ(p.eventFlags, 0u);
    EXPECT_EQ(p.hasFrameInfo, 1u);
    EXPECT_EQ(p.headerFlag20, 0u);
    EXPECT_EQ(p.seconds, 1600000000u);
    EXPECT_EQ(p.milliseconds, 500u);
    EXPECT_EQ(p.hasTimeZone, 1u);
    EXPECT_EQ(p.timeZoneOffset, 0);
    EXPECT_EQ(p.daylightSaving, 0);
    EXPECT_EQ(p.localSeconds, 1600000000);
    EXPECT_EQ(static_cast<const void*>(p.motionInfo), static_cast<const void*>(p.motionWindowEnabled));
    for (int w = 0; w < 3; ++w) EXPECT_EQ(p.motionWindowEnabled[w], 0u);
    EXPECT_EQ(p.headerExtSize, 0u);
    EXPECT_EQ(p.headerExtData, nullptr);
}

struct TimeCase {
    const char* name;
    uint32_t flags;
    uint32_t headerSeconds;
    uint32_t seconds;
    int32_t localSeconds;
    int32_t zoneOffset;
    int32_t daylightSaving;
};

class FrameHeaderTime : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FrameHeaderTime, ZoneDaylightSavingAndTimeBase) {
    const TimeCase& c = GetParam();
    auto parsed = Parse(MediaHeader("metx", 0, c.flags, c.headerSeconds, 999, {}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.seconds, c.seconds);
    EXPECT_EQ(parsed->packet.localSeconds, c.localSeconds);
    EXPECT_EQ(parsed->packet.timeZoneOffset, c.zoneOffset);
    EXPECT_EQ(parsed->packet.daylightSaving, c.daylightSaving);
    EXPECT_EQ(parsed->packet.milliseconds, 999u);
    EXPECT_EQ(parsed->packet.hasTimeZone, 1u);
}

// Zone offset (Z - 48) * 900; local stamps become UTC by offset - daylight.
INSTANTIATE_TEST_SUITE_P(
    Rules, FrameHeaderTime,
    ::testing::Values(
        // zone 16 = -28800 s, daylight -3600: seconds = local - 28800 + 3600
        TimeCase{"LocalZone16DaylightSaving", Zone(16) | kDaylightSaving, 1000000000, 999974800, 1000000000, -28800,
                 -3600},
        TimeCase{"LocalZone52", Zone(52), 1000000000, 1000003600, 1000000000, 3600, 0},
        TimeCase{"UtcZone52", kUtc | Zone(52), 1000000000, 1000000000, 999996400, 3600, 0},
        TimeCase{"LocalZone0DaylightSaving", Zone(0) | kDaylightSaving, 1000000000, 999960400, 1000000000, -43200,
                 -3600},
        TimeCase{"UtcDaylightSaving", kUtc | Zone(48) | kDaylightSaving, 1000000000, 1000000000, 999996400, 0, -3600},
        TimeCase{"UtcZone0", kUtc | Zone(0), 10, 10, 43210, -43200, 0},
        // zone 127 = +71100 s; the sums wrap in 32 bits instead of overflowing
        TimeCase{"LocalZone127PastSignedRange", Zone(127), 0x7FFFFFFF, 2147554747u, 2147483647, 71100, 0},
        TimeCase{"LocalZone127PastUnsignedRange", Zone(127), 0xFFFFFFF0, 71084, -16, 71100, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct FlagCase {
    const char* name;
    uint8_t typeByte;
    uint32_t flags;
    int32_t frameType;
    uint32_t diAlert;
    uint32_t eventFlags;
    uint32_t headerFlag20;
};

class FrameHeaderFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FrameHeaderFlags, TypeByteAndFlagWord) {
    const FlagCase& c = GetParam();
    auto parsed = Parse(MediaHeader("metx", c.typeByte, c.flags, 0, 0, {}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.frameType, c.frameType);
    EXPECT_EQ(parsed->packet.diAlert, c.diAlert);
    EXPECT_EQ(parsed->packet.eventFlags, c.eventFlags);
    EXPECT_EQ(parsed->packet.headerFlag20, c.headerFlag20);
    EXPECT_EQ(parsed->packet.hasFrameInfo, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, FrameHeaderFlags,
    ::testing::Values(FlagCase{"TypeByteNibbles", 0x25, kUtcZone0, 2, 5, 0, 0},
                      FlagCase{"BidirectionalNoInputs", 0x20, kUtcZone0, 2, 0, 0, 0},
                      FlagCase{"InputBitsIgnoredWithoutBit17", 0x25, kUtcZone0 | (0xAu << 13), 2, 5, 0, 0},
                      FlagCase{"InputBitsWithBit17", 0x25, kUtcZone0 | (0xAu << 13) | kDigitalInputValid, 2, 0xF, 0, 0},
                      FlagCase{"Bit16WithBit17", 0x01, kUtcZone0 | (1u << 16) | kDigitalInputValid, 0, 9, 0, 0},
                      FlagCase{"Bit17Alone", 0x03, kUtcZone0 | kDigitalInputValid, 0, 3, 0, 0},
                      FlagCase{"EventBit18", 0, kUtcZone0 | (1u << 18), 0, 0, 4, 0},
                      FlagCase{"EventBit19", 0, kUtcZone0 | (1u << 19), 0, 0, 8, 0},
                      FlagCase{"EventBit22", 0, kUtcZone0 | (1u << 22), 0, 0, 1, 0},
                      FlagCase{"EventBit23", 0, kUtcZone0 | (1u << 23), 0, 0, 2, 0},
                      FlagCase{"AllEventBits", 0, kUtcZone0 | (0xFu << 18) | (3u << 22), 0, 0, 0xF, 1},
                      FlagCase{"Flag20", 0, kUtcZone0 | kFlag20, 0, 0, 0, 1},
                      FlagCase{"HighBitsNotInterpreted", 0x10, kUtcZone0 | 0xFF000000u, 1, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameHeader, SingleArgumentFormReadsTheWholeHeader) {
    Bytes bytes = MediaHeader("h264", 0x10, kUtcZone0 | kTaggedItems, 7, 8, {0x00, 0x00, 0x00, 0xE3}, 5);
    TMediaPacket packet;
    std::memset(&packet, 0, sizeof packet);
    packet.frameData = bytes.data();
    ParseFrameHeader(&packet);
    EXPECT_EQ(packet.headerSize, 24u);
    EXPECT_EQ(packet.payloadSize, 5u);
    EXPECT_EQ(packet.tag227Flag, 1u);
}

TEST(FrameHeader, HeaderShorterThanItsFixedPartIsRefused) {
    auto parsed = Parse(MediaHeader("metx", 0, kUtcZone0, 0, 0, {}), 19);
    EXPECT_NE(parsed->error, "");
    EXPECT_EQ(parsed->packet.hasFrameInfo, 0u);
}

TEST(FrameHeader, ExtensionLongerThanTheHeaderIsRefused) {
    Bytes bytes = MediaHeader("h264", 0, kUtcZone0, 0, 0, kEmptyVideoExtension);
    bytes[19] = 255;  // claims 1020 extension bytes in a 24-byte header
    auto parsed = Parse(bytes);
    EXPECT_NE(parsed->error, "");
    EXPECT_EQ(parsed->packet.headerSize, 0u);
    bytes[19] = 2;
    EXPECT_NE(Parse(bytes)->error, "");
}

TEST(FrameHeader, LengthWordShorterThanTheHeaderIsRefused) {
    Bytes bytes = MediaHeader("h264", 0, kUtcZone0, 0, 0, kEmptyVideoExtension);
    bytes[3] = 19;  // header of 24 would leave -1 payload bytes
    EXPECT_NE(Parse(bytes)->error, "");
    bytes[3] = 20;
    auto parsed = Parse(bytes);
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.payloadSize, 0u);
}

// ---------------------------------------------------------------- codec codes

struct CodecCase {
    const char* code;
    Bytes extension;
    uint32_t codecType;
    uint32_t frameCount;
    uint32_t sampleRate;
    uint8_t channels;
    uint32_t uniformFrameSize;
};

class FrameHeaderCodec : public ::testing::TestWithParam<CodecCase> {};

TEST_P(FrameHeaderCodec, CodeSelectsTypeAndDefaults) {
    const CodecCase& c = GetParam();
    char code[5] = {};
    std::memcpy(code, c.code, 4);
    auto parsed = Parse(MediaHeader(code, 0, kUtcZone0, 0, 0, c.extension));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.codecType, c.codecType);
    EXPECT_EQ(parsed->packet.frameCount, c.frameCount);
    EXPECT_EQ(parsed->packet.sampleRate, c.sampleRate);
    EXPECT_EQ(parsed->packet.channels, c.channels);
    EXPECT_EQ(parsed->packet.uniformFrameSize, c.uniformFrameSize);
    EXPECT_EQ(parsed->packet.hasFrameInfo, 1u);
}

// Audio extension 80 01 00 0B: uniform sizes, one frame of 11 bytes, no rate.
const Bytes kOneAudioFrame = {0x80, 0x01, 0x00, 0x0B};

INSTANTIATE_TEST_SUITE_P(Table, FrameHeaderCodec,
                         ::testing::Values(CodecCase{"jpeg", kEmptyVideoExtension, 0x1, 1, 0, 0, 0},
                                           CodecCase{"h263", kEmptyVideoExtension, 0x2, 1, 0, 0, 0},
                                           CodecCase{"mp4v", kEmptyVideoExtension, 0x4, 1, 0, 0, 0},
                                           CodecCase{"h264", kEmptyVideoExtension, 0x8, 1, 0, 0, 0},
                                           CodecCase{"h265", kEmptyVideoExtension, 0x10, 1, 0, 0, 0},
                                           CodecCase{"DMYV", kEmptyVideoExtension, 0xFF, 1, 0, 0, 0},
                                           CodecCase{"7221", kOneAudioFrame, 0x100, 1, 16000, 1, 1},
                                           CodecCase{"729A", kOneAudioFrame, 0x200, 1, 8000, 1, 1},
                                           CodecCase{"aac ", kOneAudioFrame, 0x400, 1, 0, 0, 1},
                                           CodecCase{"GAMR", kOneAudioFrame, 0x800, 1, 8000, 1, 1},
                                           CodecCase{"SAMR", kOneAudioFrame, 0x1000, 1, 8000, 1, 1},
                                           CodecCase{"PCMU", kOneAudioFrame, 0x2000, 1, 8000, 1, 1},
                                           CodecCase{"G711", kOneAudioFrame, 0x2000, 1, 8000, 1, 1},
                                           CodecCase{"PCMA", kOneAudioFrame, 0x4000, 1, 8000, 1, 1},
                                           CodecCase{"G726", kOneAudioFrame, 0x8000, 1, 8000, 1, 1},
                                           CodecCase{"DMYA", kOneAudioFrame, 0xFF00, 1, 8000, 1, 1},
                                           // no extension is read for these, so an empty one is enough
                                           CodecCase{"metx", {}, 0x20000, 0, 0, 0, 0},
                                           CodecCase{"metj", {}, 0x40000, 0, 0, 0, 0},
                                           CodecCase{"H264", {}, 0, 0, 0, 0, 0}, CodecCase{"abcd", {}, 0, 0, 0, 0, 0}),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.code; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(FrameHeader, VideoCodeWithoutExtensionRunsOutOfStream) {
    auto parsed = Parse(MediaHeader("h264", 0x20, kUtcZone0, 0, 0, {}));
    EXPECT_EQ(parsed->error, "end of stream");
    EXPECT_EQ(parsed->packet.codecType, 8u);
    EXPECT_EQ(parsed->packet.frameType, 0);  // steps after the extension never ran
    EXPECT_EQ(parsed->packet.hasFrameInfo, 0u);
}

// ---------------------------------------------------------------- audio extension

TEST(AudioExtension, AacRateAndChannels) {
    auto parsed = Parse(MediaHeader("aac ", 0, kUtcZone0, 0, 0, {0x40, 0x01, 0x00, 0x64, 0x00, 0x3E, 0x80, 0x02}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.frameCount, 1u);
    EXPECT_EQ(parsed->packet.sampleRate, 16000u);
    EXPECT_EQ(parsed->packet.channels, 2u);
    EXPECT_EQ(parsed->packet.uniformFrameSize, 0u);
    EXPECT_EQ(parsed->packet.audio.audioFlag, 0u);
    EXPECT_EQ(parsed->packet.audio.audioOptionalValue, 0u);
}

TEST(AudioExtension, AmrRateIsFixedWhateverTheExtensionSays) {
    for (const char* code : {"SAMR", "GAMR"}) {
        char text[5] = {};
        std::memcpy(text, code, 4);
        auto parsed = Parse(MediaHeader(text, 0, kUtcZone0, 0, 0, {0xC0, 0x01, 0x00, 0x20, 0x00, 0x3E, 0x80, 0x02}));
        ASSERT_EQ(parsed->error, "") << code;
        EXPECT_EQ(parsed->packet.sampleRate, 8000u) << code;
        EXPECT_EQ(parsed->packet.channels, 1u) << code;
        EXPECT_EQ(parsed->packet.uniformFrameSize, 1u) << code;
        EXPECT_EQ(parsed->packet.frameCount, 1u) << code;
    }
}

TEST(AudioExtension, SizesOfFurtherFramesAreSkippedWhenNotUniform) {
    // three frames of 0x10, 0x20, 0x30 bytes, then 8000 Hz, 1 channel
    auto parsed = Parse(MediaHeader("aac ", 0, kUtcZone0, 0, 0,
                                    {0x40, 0x03, 0x00, 0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x1F, 0x40, 0x01}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.frameCount, 3u);
    EXPECT_EQ(parsed->packet.sampleRate, 8000u);
    EXPECT_EQ(parsed->packet.channels, 1u);
}

TEST(AudioExtension, UniformSizeIsListedOnce) {
    auto parsed = Parse(MediaHeader("aac ", 0, kUtcZone0, 0, 0, {0xC0, 0x03, 0x00, 0x10, 0x00, 0x3E, 0x80, 0x02}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.uniformFrameSize, 1u);
    EXPECT_EQ(parsed->packet.frameCount, 3u);
    EXPECT_EQ(parsed->packet.sampleRate, 16000u);
    EXPECT_EQ(parsed->packet.channels, 2u);
}

TEST(AudioExtension, OptionalValueAndFlagWithoutRate) {
    // B0: uniform, no rate, optional value, audio flag; 0x007D00 = 32000
    auto parsed = Parse(MediaHeader("G726", 0, kUtcZone0, 0, 0, {0xB0, 0x01, 0x00, 0xA0, 0x00, 0x7D, 0x00, 0x00}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.uniformFrameSize, 1u);
    EXPECT_EQ(parsed->packet.audio.audioFlag, 1u);
    EXPECT_EQ(parsed->packet.audio.audioOptionalValue, 32000u);
    EXPECT_EQ(parsed->packet.sampleRate, 8000u);  // the codec's default stays
    EXPECT_EQ(parsed->packet.channels, 1u);
}

TEST(AudioExtension, RateComesBeforeTheOptionalValue) {
    // 60: not uniform, rate, optional value; 24000 Hz, 1 channel, value 0x123456
    auto parsed = Parse(MediaHeader("aac ", 0, kUtcZone0, 0, 0,
                                    {0x60, 0x01, 0x00, 0x10, 0x00, 0x5D, 0xC0, 0x01, 0x12, 0x34, 0x56, 0x00}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.sampleRate, 24000u);
    EXPECT_EQ(parsed->packet.channels, 1u);
    EXPECT_EQ(parsed->packet.audio.audioOptionalValue, 0x123456u);
    EXPECT_EQ(parsed->packet.audio.audioFlag, 0u);
    EXPECT_EQ(parsed->packet.uniformFrameSize, 0u);
}

TEST(AudioExtension, SizesListCutOffEndsTheStream) {
    // three frames of listed sizes need 6 size bytes; there are 2
    auto parsed = Parse(MediaHeader("aac ", 0x20, kUtcZone0, 0, 0, {0x40, 0x03, 0x00, 0x10}));
    EXPECT_EQ(parsed->error, "end of stream");
    EXPECT_EQ(parsed->packet.frameCount, 3u);  // read before the failure, and kept
    EXPECT_EQ(parsed->packet.frameType, 0);
    EXPECT_EQ(parsed->packet.hasFrameInfo, 0u);
}

// ---------------------------------------------------------------- video extension

// Window 1: enabled, alert, level 127, rectangle 1023, 0, 1023, 0; windows 2
// and 3 disabled; extra flag 0; 56 bits in all.
const Bytes kFirstWindowOnly = {0xFF, 0xFF, 0xE0, 0x07, 0xFE, 0x00, 0x00};

TEST(VideoExtension, HandCodedFirstWindow) {
    auto parsed = Parse(MediaHeader("h264", 0, kUtcZone0, 0, 0, Concat({kFirstWindowOnly, {0x00}})));
    ASSERT_EQ(parsed->error, "");
    const TMediaPacket& p = parsed->packet;
    EXPECT_EQ(p.motionWindowEnabled[0], 1u);
    EXPECT_EQ(p.motionWindowAlert[0], 1u);
    EXPECT_EQ(p.motionLevel[0], 127u);
    EXPECT_EQ(p.motionWindowRect[0][0], 1023u);
    EXPECT_EQ(p.motionWindowRect[0][1], 0u);
    EXPECT_EQ(p.motionWindowRect[0][2], 1023u);
    EXPECT_EQ(p.motionWindowRect[0][3], 0u);
    EXPECT_EQ(p.motionWindowEnabled[1], 0u);
    EXPECT_EQ(p.motionWindowEnabled[2], 0u);
    EXPECT_EQ(p.motionExtraFlag, 0u);
}

TEST(VideoExtension, FirstAndThirdWindowsAndExtraFlag) {
    BitWriter bits;
    bits.Put(1, 1).Put(1, 1).Put(55, 7).Put(10, 10).Put(20, 10).Put(300, 10).Put(1023, 10);
    bits.Put(0, 1);
    bits.Put(1, 1).Put(0, 1).Put(100, 7).Put(0, 10).Put(512, 10).Put(1, 10).Put(2, 10);
    bits.Put(1, 1).Put(0, 4);
    Bytes extension = bits.bytes();
    ASSERT_EQ(extension.size(), 13u);
    extension.resize(16, 0);
    auto parsed = Parse(MediaHeader("jpeg", 0, kUtcZone0, 0, 0, extension));
    ASSERT_EQ(parsed->error, "");
    const TMediaPacket& p = parsed->packet;
    EXPECT_EQ(p.motionWindowEnabled[0], 1u);
    EXPECT_EQ(p.motionWindowAlert[0], 1u);
    EXPECT_EQ(p.motionLevel[0], 55u);
    EXPECT_EQ(p.motionWindowRect[0][0], 10u);
    EXPECT_EQ(p.motionWindowRect[0][1], 20u);
    EXPECT_EQ(p.motionWindowRect[0][2], 300u);
    EXPECT_EQ(p.motionWindowRect[0][3], 1023u);
    EXPECT_EQ(p.motionWindowEnabled[1], 0u);
    EXPECT_EQ(p.motionWindowAlert[1], 0u);
    EXPECT_EQ(p.motionWindowEnabled[2], 1u);
    EXPECT_EQ(p.motionWindowAlert[2], 0u);
    EXPECT_EQ(p.motionLevel[2], 100u);
    EXPECT_EQ(p.motionWindowRect[2][0], 0u);
    EXPECT_EQ(p.motionWindowRect[2][1], 512u);
    EXPECT_EQ(p.motionWindowRect[2][2], 1u);
    EXPECT_EQ(p.motionWindowRect[2][3], 2u);
    EXPECT_EQ(p.motionExtraFlag, 1u);
}

TEST(VideoExtension, WithoutBit3TheRestIsNotReadAsItems) {
    // three disabled windows, extra flag 1, reserved 0; the FF bytes would be
    // items (and end the stream) if they were read
    auto parsed = Parse(MediaHeader("h264", 0, kUtcZone0, 0, 0, {0x10, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.motionExtraFlag, 1u);
    for (int w = 0; w < 3; ++w) EXPECT_EQ(parsed->packet.motionWindowEnabled[w], 0u);
    EXPECT_EQ(parsed->packet.headerExtSize, 0u);
    EXPECT_EQ(parsed->packet.headerExtData, nullptr);
    EXPECT_EQ(parsed->packet.tag224Value, 0u);
}

TEST(VideoExtension, WindowBitsCutOffEndTheStream) {
    // window 1 enabled needs 49 bits; only 32 are there
    auto parsed = Parse(MediaHeader("h264", 0x10, kUtcZone0, 0, 0, {0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(parsed->error, "end of stream");
    EXPECT_EQ(parsed->packet.motionWindowEnabled[0], 1u);  // kept
    EXPECT_EQ(parsed->packet.frameType, 0);
    EXPECT_EQ(parsed->packet.hasTimeZone, 0u);
}

// ---------------------------------------------------------------- tagged items

constexpr uint32_t kItems = kUtcZone0 | kTaggedItems;

std::unique_ptr<ParsedHeader> ParseItems(const Bytes& items, uint32_t flags = kItems) {
    return Parse(MediaHeader("h264", 0, flags, 0, 0, VideoExtension(kNoWindows, items)));
}

TEST(TaggedItems, PaddingIsSkippedAndTheRestIsExposed) {
    auto parsed = Parse(MediaHeader("h264", 0, kItems, 0, 0, {0x00, 0x00, 0x00, 0xE3}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.headerExtSize, 1u);
    EXPECT_EQ(parsed->packet.headerExtData, parsed->bytes.data() + 23);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
}

TEST(TaggedItems, PaddingOnlyLeavesNothingUnread) {
    auto parsed = Parse(MediaHeader("h264", 0, kItems, 0, 0, {0x00, 0x00, 0x00, 0x00}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.headerExtSize, 0u);
    EXPECT_EQ(parsed->packet.headerExtData, parsed->bytes.data() + 24);
}

TEST(TaggedItems, ItemsAfterAWindowAreAppliedInOrder) {
    // 7 bytes of windows, 2 of padding, then 225, 227, 224
    auto parsed =
        Parse(MediaHeader("h264", 0, kItems, 0, 0, Concat({kFirstWindowOnly, {0x00, 0x00, 0xE1, 0xE3, 0xE0}})));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.headerExtSize, 3u);
    EXPECT_EQ(parsed->packet.headerExtData, parsed->bytes.data() + 29);
    EXPECT_EQ(parsed->packet.tag224Value, 0x10000u);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
    EXPECT_EQ(parsed->packet.motionLevel[0], 127u);
}

TEST(TaggedItems, Tag225) {
    auto parsed = ParseItems({0xE1});
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.tag224Value, 0x10001u);
    EXPECT_EQ(parsed->packet.tag227Flag, 0u);
}

TEST(TaggedItems, Tag16SixValues) {
    auto parsed = ParseItems({0x10, 0x0C, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0xAB, 0xCD});
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.hasTag16, 1u);
    const uint16_t expected[6] = {1, 2, 3, 4, 5, 0xABCD};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(parsed->packet.tag16Values[i], expected[i]) << i;
}

TEST(TaggedItems, Tag16IgnoresItsLength) {
    auto parsed =
        ParseItems({0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0xE3});
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.tag16Values[5], 6u);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
}

TEST(TaggedItems, Tag17OverridesWindowsOneToThree) {
    Bytes items = {0x11, 0x1F, 0x03,
                   // window 1: no alert, level 0x21, 10, 20, 500, 2000
                   0x01, 0x21, 0x00, 0x0A, 0x00, 0x14, 0x01, 0xF4, 0x07, 0xD0,
                   // window 5 does not exist: skipped
                   0x05, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                   // window 3: alert, level 0, 1, 2, 3, 4
                   0x03, 0x80, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04};
    auto parsed = Parse(MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kFirstWindowOnly, items)));
    ASSERT_EQ(parsed->error, "");
    const TMediaPacket& p = parsed->packet;
    EXPECT_EQ(p.headerExtSize, 33u);
    EXPECT_EQ(p.motionWindowEnabled[0], 1u);
    EXPECT_EQ(p.motionWindowAlert[0], 0u);  // the fixed part said 1
    EXPECT_EQ(p.motionLevel[0], 0x21u);
    EXPECT_EQ(p.motionWindowRect[0][0], 10u);
    EXPECT_EQ(p.motionWindowRect[0][1], 20u);
    EXPECT_EQ(p.motionWindowRect[0][2], 500u);
    EXPECT_EQ(p.motionWindowRect[0][3], 2000u);
    EXPECT_EQ(p.motionWindowEnabled[1], 0u);
    EXPECT_EQ(p.motionWindowAlert[1], 0u);
    EXPECT_EQ(p.motionLevel[1], 0u);
    EXPECT_EQ(p.motionWindowEnabled[2], 1u);
    EXPECT_EQ(p.motionWindowAlert[2], 1u);
    EXPECT_EQ(p.motionLevel[2], 0u);
    EXPECT_EQ(p.motionWindowRect[2][0], 1u);
    EXPECT_EQ(p.motionWindowRect[2][3], 4u);
}

struct ItemCase {
    const char* name;
    Bytes items;
    uint32_t eventFlags;
};

class Tag18Length : public ::testing::TestWithParam<ItemCase> {};

TEST_P(Tag18Length, ValueBytesLeastSignificantFirst) {
    // a 227 item after it shows the item took exactly its length
    auto parsed = ParseItems(Concat({GetParam().items, {0xE3}}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.eventFlags, GetParam().eventFlags);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Tag18Length,
    ::testing::Values(ItemCase{"Length2", {0x12, 0x02, 0xFF, 0x34}, 0x34},
                      ItemCase{"Length3", {0x12, 0x03, 0x00, 0x34, 0x12}, 0x1234},
                      ItemCase{"Length4", {0x12, 0x04, 0x00, 0x56, 0x34, 0x12}, 0x123456},
                      ItemCase{"Length5", {0x12, 0x05, 0x00, 0x78, 0x56, 0x34, 0x12}, 0x12345678},
                      ItemCase{"Length6RestSkipped", {0x12, 0x06, 0x00, 0x78, 0x56, 0x34, 0x12, 0x9A}, 0x12345678},
                      ItemCase{"LongLengthForm", {0x12, 0x81, 0x03, 0x00, 0x34, 0x12}, 0x1234},
                      // nothing but the skipped byte: the value is 0
                      ItemCase{"Length1", {0x12, 0x01, 0xFF}, 0},
                      ItemCase{"LastOneWins", {0x12, 0x02, 0x00, 0x01, 0x12, 0x02, 0x00, 0x40}, 0x40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TaggedItems, FlagWordEventBitsAddToTag18) {
    auto parsed = ParseItems({0x12, 0x03, 0x00, 0x34, 0x12}, kItems | (1u << 22) | (1u << 19));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.eventFlags, 0x123Du);  // 0x1234 | 1 | 8
}

TEST(TaggedItems, Tag24OneBit) {
    auto set = ParseItems({0x18, 0x01, 0x80});
    ASSERT_EQ(set->error, "");
    EXPECT_EQ(set->packet.tag24Value, 0x10001u);
    auto clear = ParseItems({0x18, 0x01, 0x7F});
    ASSERT_EQ(clear->error, "");
    EXPECT_EQ(clear->packet.tag24Value, 0x10000u);
    auto longer = ParseItems({0x18, 0x02, 0x80, 0xE1, 0xE3});  // the E1 belongs to the item
    ASSERT_EQ(longer->error, "");
    EXPECT_EQ(longer->packet.tag24Value, 0x10001u);
    EXPECT_EQ(longer->packet.tag224Value, 0u);
    EXPECT_EQ(longer->packet.tag227Flag, 1u);
}

TEST(TaggedItems, LongTagForms) {
    Bytes items = Concat({
        {0x81, 0x10, 0x0C, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6},  // tag 16 in one byte
        {0x82, 0x00, 0x18, 0x01, 0x80},                          // tag 24 in two bytes
        {0x80, 0x01, 0xE1},                                      // tag 0 (no bytes), skipped
        {0x81, 0x99, 0x02, 0xE1, 0xE1},                          // unknown tag 0x99, skipped
        {0x87, 0, 0, 0, 0, 0, 0, 0xE3, 0x00},                    // tag 227 in seven bytes
    });
    auto parsed = ParseItems(items);
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.hasTag16, 1u);
    EXPECT_EQ(parsed->packet.tag16Values[5], 6u);
    EXPECT_EQ(parsed->packet.tag24Value, 0x10001u);
    EXPECT_EQ(parsed->packet.tag224Value, 0u);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
}

TEST(TaggedItems, ShortFormsCarryTheirLength) {
    // C5: one value byte and no length byte, so the 12 is not a tag-18 item
    auto implied = ParseItems({0xC5, 0x12, 0xE3});
    ASSERT_EQ(implied->error, "");
    EXPECT_EQ(implied->packet.tag227Flag, 1u);
    EXPECT_EQ(implied->packet.eventFlags, 0u);
    // F7: no value and no length byte, so E3 is the next item, not a length
    auto empty = ParseItems({0xF7, 0xE3});
    ASSERT_EQ(empty->error, "");
    EXPECT_EQ(empty->packet.tag227Flag, 1u);
}

class LengthForm : public ::testing::TestWithParam<ItemCase> {};

TEST_P(LengthForm, UnknownItemSkippedByItsLength) {
    // the E1 filler would set tag224Value if it were read as an item
    auto parsed = ParseItems(Concat({GetParam().items, {0xE3}}));
    ASSERT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->packet.tag224Value, 0u);
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);
}

INSTANTIATE_TEST_SUITE_P(Forms, LengthForm,
                         ::testing::Values(ItemCase{"Short", {0x33, 0x02, 0xE1, 0xE1}, 0},
                                           ItemCase{"ShortZero", {0x33, 0x00}, 0},
                                           ItemCase{"LongOneByte", {0x33, 0x81, 0x03, 0xE1, 0xE1, 0xE1}, 0},
                                           ItemCase{"LongTwoBytes", {0x33, 0x82, 0x00, 0x03, 0xE1, 0xE1, 0xE1}, 0},
                                           ItemCase{"LongNoBytes", {0x33, 0x80}, 0},
                                           ItemCase{"LowBitsTwo", {0x33, 0xC2, 0xE1, 0xE1}, 0},
                                           ItemCase{"LowBitsThree", {0x33, 0xC7, 0xE1, 0xE1, 0xE1}, 0},
                                           ItemCase{"LowBitsZero", {0x33, 0xDC}, 0},
                                           ItemCase{"FollowingOneByte", {0x33, 0xE1, 0x02, 0xE1, 0xE1}, 0},
                                           ItemCase{"FollowingTwoBytes", {0x33, 0xE2, 0x00, 0x02, 0xE1, 0xE1}, 0},
                                           ItemCase{"FollowingThreeBytes", {0x33, 0xFF, 0x00, 0x00, 0x01, 0xE1}, 0},
                                           ItemCase{"FollowingNoBytes", {0x33, 0xE4}, 0},
                                           // the parser leaves tag 20 to the trigger collection
                                           ItemCase{"Tag20", {0x14, 0x03, 0x01, 0xE1, 0xE1}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TaggedItems, ItemLongerThanTheExtensionEndsTheStream) {
    auto parsed = ParseItems({0xE3, 0x33, 0x05, 0xE1, 0xE1});
    EXPECT_EQ(parsed->error, "end of stream");
    EXPECT_EQ(parsed->packet.tag227Flag, 1u);  // applied before the failure, and kept
    EXPECT_EQ(parsed->packet.hasFrameInfo, 0u);
}

TEST(TaggedItems, HugeLengthsEndTheStream) {
    auto eightBytes = ParseItems({0x33, 0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(eightBytes->error, "end of stream");
    Bytes sixtyThree = {0x33, 0xBF};
    sixtyThree.resize(2 + 63, 0xFF);
    EXPECT_EQ(ParseItems(sixtyThree)->error, "end of stream");
}

TEST(TaggedItems, ValuesCutOffEndTheStream) {
    EXPECT_EQ(ParseItems({0x10, 0x0C, 0x00, 0x01, 0x00, 0x02})->error, "end of stream");
    EXPECT_EQ(ParseItems({0x11, 0x0A, 0x01, 0x01, 0x80})->error, "end of stream");
    EXPECT_EQ(ParseItems({0x12, 0x05, 0x00, 0x01})->error, "end of stream");
    EXPECT_EQ(ParseItems({0x18})->error, "end of stream");  // no length byte
}

}  // namespace

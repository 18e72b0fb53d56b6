#include "app/FrameReport.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "UserDataBlock.h"

namespace {

// H.264 P-frame: "1234" header and "56789" payload (CRC-32 of "123456789" is
// CBF43926), alerts on windows 1 and 3, and a stream time in its user data.
struct SamplePacket {
    uint8_t frame[10] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0};
    std::vector<uint8_t> userData = UserDataBlock().Time(0x60, 1577836800, 7, 1, 0xFFFF).Build();
    TMediaPacket packet{};

    SamplePacket() {
        packet.frameData = frame;
        packet.headerSize = 4;
        packet.payloadSize = 5;
        packet.codecType = 0x8;
        packet.frameType = 1;
        packet.seconds = 50;
        packet.diAlert = 3;
        packet.motionWindowAlert[0] = 1;
        packet.motionWindowAlert[2] = 1;
        packet.motionLevel[0] = 45;
        packet.motionLevel[1] = 77;
        packet.motionLevel[2] = 100;
        packet.userData = userData.data();
        packet.userDataSize = uint32_t(userData.size());
    }
};

const char kSampleStreamTimeLine[] =
    "Stream:H264 Frame:P 1577836800.007 1 -1 CRC32:CBF43926 Size:5 DI alert: 3 "
    "motionWin1: 45% motionWin2: 0% motionWin3: 100%";
const char kSampleUntimedLine[] =
    "Stream:H264 Frame:P NO TIME INFO CRC32:CBF43926 Size:5 DI alert: 3 "
    "motionWin1: 45% motionWin2: 0% motionWin3: 100%";

}  // namespace

struct CodecNameCase {
    uint32_t codecType;
    const char* name;
};

class CodecNames : public ::testing::TestWithParam<CodecNameCase> {};

TEST_P(CodecNames, NameOfTheCodecType) {
    TMediaPacket packet{};
    packet.codecType = GetParam().codecType;
    EXPECT_STREQ(GetCodecAndFrameType(packet).codecName, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    AllValues, CodecNames,
    ::testing::Values(CodecNameCase{0x1, "JPEG"}, CodecNameCase{0x2, "H263"}, CodecNameCase{0x4, "MP4V"},
                      CodecNameCase{0x8, "H264"}, CodecNameCase{0x10, "HEVC"}, CodecNameCase{0x100, "G722"},
                      CodecNameCase{0x200, "G729"}, CodecNameCase{0x400, "AAC4"}, CodecNameCase{0x1000, "GAMR"},
                      CodecNameCase{0x2000, "ULAW"}, CodecNameCase{0x4000, "ALAW"}, CodecNameCase{0x8000, "G726"},
                      CodecNameCase{0x10000, "IVA1"}, CodecNameCase{0x20000, "METX"}, CodecNameCase{0x40000, "METJ"},
                      CodecNameCase{0xFF, "????"}, CodecNameCase{0x800, "????"}, CodecNameCase{0xFF00, "????"},
                      CodecNameCase{0, "????"}, CodecNameCase{0x3, "????"}, CodecNameCase{0x80000000, "????"}));

TEST(GetCodecAndFrameType, FrameLetters) {
    TMediaPacket packet{};
    const std::vector<std::pair<int32_t, char>> cases = {{0, 'I'},  {1, 'P'},       {2, 'B'},      {3, '?'},
                                                         {-1, '?'}, {INT_MAX, '?'}, {INT_MIN, '?'}};
    for (const auto& [frameType, letter] : cases) {
        packet.frameType = frameType;
        EXPECT_EQ(GetCodecAndFrameType(packet).frameLetter, letter) << "frame type " << frameType;
    }
}

TEST(PacketCrc32, CoversHeaderAndPayloadTogether) {
    SamplePacket sample;
    EXPECT_EQ(PacketCrc32(sample.packet), 0xCBF43926u);
    TMediaPacket empty{};  // no frame bytes at all
    EXPECT_EQ(PacketCrc32(empty), 0u);
}

TEST(RunningMinimum, TimesGoingBackAreReportedAndLowerTheMinimum) {
    RunningMinimum minimum;
    EXPECT_TRUE(minimum.Admit(100));
    EXPECT_TRUE(minimum.Admit(90));
    EXPECT_EQ(minimum.Minimum(), 90u);
    EXPECT_TRUE(minimum.Admit(95));
    EXPECT_EQ(minimum.Minimum(), 90u);
}

TEST(RunningMinimum, StopsOnlyMoreThan0x7FFFFFFFAboveTheMinimum) {
    RunningMinimum stops;
    EXPECT_TRUE(stops.Admit(0));
    EXPECT_FALSE(stops.Admit(0x80000000u));

    RunningMinimum goesOn;
    EXPECT_TRUE(goesOn.Admit(0));
    EXPECT_TRUE(goesOn.Admit(0x7FFFFFFFu));
    EXPECT_FALSE(goesOn.Admit(0xFFFFFFFFu));
    EXPECT_EQ(goesOn.Minimum(), 0u);
}

TEST(RunningMinimum, FirstPacketAtTheLargestTimeIsReported) {
    RunningMinimum minimum;
    EXPECT_TRUE(minimum.Admit(0xFFFFFFFFu));
    EXPECT_EQ(minimum.Minimum(), 0xFFFFFFFFu);
    EXPECT_TRUE(minimum.Admit(0xFFFFFFFFu));
}

TEST(MediaReaderLine, StreamTimeLine) {
    SamplePacket sample;
    MediaReaderFrameReport report(kStreamTime);
    EXPECT_EQ(report.BuildLine(sample.packet), kSampleStreamTimeLine);
}

TEST(MediaReaderLine, NoTimeInfoWhenTheTimeIsNotFound) {
    SamplePacket sample;  // holds a stream time only
    for (int32_t timeType : {int32_t(kRecordTime), 0, 4, -7}) {
        MediaReaderFrameReport report(timeType);
        EXPECT_EQ(report.BuildLine(sample.packet), kSampleUntimedLine) << "time type " << timeType;
    }
}

// Signed 16-bit words, unsigned 32-bit seconds, DI alert and sizes, an
// unnamed codec and frame type, and a motion level above 127.
TEST(MediaReaderLine, ValueTypesAtTheirLimits) {
    uint8_t frame[3] = {'a', 'b', 'c'};  // CRC-32 352441C2
    const auto userData = UserDataBlock().Time(0x61, 0xFFFFFFFFu, 999, 0x8000, 0x7FFF).Build();
    TMediaPacket packet{};
    packet.frameData = frame;
    packet.payloadSize = 3;
    packet.codecType = 0x800;
    packet.frameType = 7;
    packet.diAlert = 0xFFFFFFFFu;
    packet.motionWindowAlert[2] = 5;
    packet.motionLevel[2] = 200;
    packet.userData = const_cast<uint8_t*>(userData.data());
    packet.userDataSize = uint32_t(userData.size());
    MediaReaderFrameReport report(kRecordTime);
    EXPECT_EQ(report.BuildLine(packet),
              "Stream:???? Frame:? 4294967295.999 -32768 32767 CRC32:352441C2 Size:3 DI alert: 4294967295 "
              "motionWin1: 0% motionWin2: 0% motionWin3: 200%");
}

// Camera time comes from seconds (not localSeconds) and the zone fields cut
// to 16 bits, printed signed; milliseconds pad to three digits, not truncate.
TEST(MediaReaderLine, CameraTimeLine) {
    TMediaPacket packet{};
    packet.codecType = 0x400;
    packet.frameType = 0;
    packet.seconds = 1000;
    packet.localSeconds = 999999;
    packet.milliseconds = 1234;
    packet.timeZoneOffset = 28800;
    packet.daylightSaving = -3600;
    packet.motionLevel[0] = 90;  // no alert: shown as 0
    MediaReaderFrameReport report(kCameraTime);
    EXPECT_EQ(report.BuildLine(packet),
              "Stream:AAC4 Frame:I 1000.1234 28800 -3600 CRC32:00000000 Size:0 DI alert: 0 "
              "motionWin1: 0% motionWin2: 0% motionWin3: 0%");

    packet.timeZoneOffset = 36000;
    packet.daylightSaving = 0;
    packet.milliseconds = 7;
    EXPECT_EQ(report.BuildLine(packet),
              "Stream:AAC4 Frame:I 1000.007 -29536 0 CRC32:00000000 Size:0 DI alert: 0 "
              "motionWin1: 0% motionWin2: 0% motionWin3: 0%");
}

// The formats are reused from line to line: nothing of one line may leak into the next.
TEST(MediaReaderLine, ReusedFormatsAlternatingBetweenTheTwoLines) {
    SamplePacket timed;
    SamplePacket untimed;
    untimed.packet.userData = nullptr;
    MediaReaderFrameReport report(kStreamTime);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(report.BuildLine(timed.packet), kSampleStreamTimeLine);
        EXPECT_EQ(report.BuildLine(untimed.packet), kSampleUntimedLine);
    }
}

TEST(MediaReaderReport, PrintsAdmittedPacketsAndStopsSilently) {
    SamplePacket sample;
    MediaReaderFrameReport report(kStreamTime);
    std::ostringstream out;
    sample.packet.seconds = 0;
    EXPECT_TRUE(report.Report(sample.packet, out));
    sample.packet.seconds = 0x80000000u;
    EXPECT_FALSE(report.Report(sample.packet, out));
    EXPECT_EQ(out.str(), std::string(kSampleStreamTimeLine) + "\n");
}

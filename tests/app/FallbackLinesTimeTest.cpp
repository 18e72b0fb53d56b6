// The time in the fallback run's frame lines, for every time type: record
// and stream time from the user data, camera time from the local seconds
// and the zone fields, printed unsigned, and no time at all for type 4.
#include "FallbackLinesTest.h"

namespace {

using namespace fallbacklines;
using framelines::Flags;
using framelines::kStartCode;
using framelines::LengthPrefixed;
using framelines::Slice;
using writer::LengthForm;

constexpr uint32_t S = 1720000000;  // 2024-07-03 09:46:40 UTC

struct TimedFrame {
    char letter;
    Bytes mediaHeader;
    UserData userData;
    Bytes slice;
};

// Four frames of one H.264 chunk, each with other zone fields and user data.
std::vector<TimedFrame> TimedFrames() {
    return {
        // UTC, zone index 48 (offset 0). A vendor item with a two-byte
        // length, then stream time, then record time.
        {'I', Header("h264", 0, S, 0, Flags(48)),
         UserData().item(0x70, Bytes(144, 0x55), LengthForm::Long1).streamTime(12, 5, 7, 0xFFFF).recordTime(S, 0, 1, 2),
         Slice(true, 0x10)},
        // UTC, zone index 80 (+28800 s) with daylight saving (-3600 s); record
        // time only.
        {'P', Header("h264", 1, S + 1, 40, Flags(80, true, true)), UserData().recordTime(S + 1, 40),
         Slice(false, 0x20)},
        // Local time, zone index 16 (-28800 s): record time after stream time.
        {'B', Header("h264", 2, S + 2, 80, Flags(16, false)), UserData().streamTime(13, 80).recordTime(S + 2, 80),
         Slice(false, 0x30)},
        // Local time, zone index 88 (+36000 s) with daylight saving; no user
        // data at all.
        {'P', Header("h264", 1, S + 3, 120, Flags(88, false, true)), UserData(), Slice(false, 0x40)},
    };
}

struct TimeCase {
    int timeType;
    std::vector<std::optional<Time>> times;  // per frame
};
void PrintTo(const TimeCase& param, std::ostream* out) { *out << "time type " << param.timeType; }

std::vector<TimeCase> TimeCases() {
    return {
        {1, {Time{S, 0, 1, 2}, Time{S + 1, 40, 0, 0}, Time{S + 2, 80, 0, 0}, std::nullopt}},
        {2, {Time{12, 5, 7, 0xFFFF}, std::nullopt, Time{13, 80, 0, 0}, std::nullopt}},
        // Camera time: localSeconds = daylightSaving - zone offset + seconds,
        // where seconds of local-time headers are zone offset -
        // daylightSaving + the header's seconds. The words are the 16-bit
        // patterns: 28800, -3600 = 61936, -28800 = 36736, 36000.
        {3,
         {Time{S, 0, 0, 0}, Time{S + 1 - 3600 - 28800, 40, 28800, 61936}, Time{S + 2, 80, 36736, 0},
          Time{S + 3, 120, 36000, 61936}}},
        {4, {std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
    };
}

class FallbackLinesTime : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FallbackLinesTime, PrintsTheTimeOfTheType) {
    const std::vector<TimedFrame> frames = TimedFrames();
    Chunk chunk = Chunk::Video("H264", 176, 144);
    chunk.configuration(writer::H264ConfigurationArea(framelines::kSps, {framelines::kPps}));
    for (const TimedFrame& frame : frames)
        chunk.sample(LengthPrefixed({frame.slice}), Record(frame.mediaHeader, frame.userData));

    std::vector<Frame> expected;
    for (size_t i = 0; i < frames.size(); ++i) {
        Frame line;
        line.letter = frames[i].letter;
        line.time = GetParam().times[i];
        line.mediaHeader = frames[i].mediaHeader;
        // The length prefix becomes a start code; no parameter sets are put
        // in front of the key frame.
        line.payload = writer::Concat({kStartCode, frames[i].slice});
        expected.push_back(line);
    }

    std::string path;
    const std::string report = ReportOf(InProgressRecording().chunk(chunk).bytes(), GetParam().timeType, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(expected) + kNoNewDataLine);
}

INSTANTIATE_TEST_SUITE_P(TimeTypes, FallbackLinesTime, ::testing::ValuesIn(TimeCases()),
                         [](const ::testing::TestParamInfo<TimeCase>& info) {
                             return "Type" + std::to_string(info.param.timeType);
                         });

}  // namespace

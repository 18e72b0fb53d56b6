// Frame lines of recordings whose frame information comes from a companion
// track: which time each time type prints, how local times, zones and
// daylight saving come out, the user-data walk past long lengths, and the
// running-minimum stop.
#include "FrameLinesTest.h"

namespace {

using namespace framelines;
using writer::LengthForm;
using writer::Recording;
using writer::UserData;

constexpr uint32_t B = 1700000000;  // 2023-11-14 22:13:20 UTC

// What one frame of the file stores, and what each time type prints for it.
struct TimedFrame {
    bool sync;
    Bytes header;
    UserData userData;
    std::optional<Time> recordTime;
    std::optional<Time> streamTime;
    Time cameraTime;
};

Bytes Video(uint32_t flags, uint32_t seconds, uint16_t milliseconds, bool sync) {
    return MediaHeader("h264", sync ? 0 : 1, 0, flags, seconds, milliseconds, VideoExtension());
}

std::vector<TimedFrame> TimedFrames() {
    std::vector<TimedFrame> frames;
    // UTC, zone 48: the header time as it is; both time items present.
    frames.push_back({true, Video(Flags(48), B, 0, true), UserData().recordTime(B + 5, 0, 1, 2).streamTime(B + 100, 0),
                      Time{B + 5, 0, 1, 2}, Time{B + 100, 0, 0, 0}, Time{B, 0, 0, 0}});
    // Local time, zone 80 (+28800 s): seconds = 28800 + local. The stream
    // time follows an element of 144 bytes behind the length 81 90.
    frames.push_back({false, Video(Flags(80, false), B + 1, 40, false),
                      UserData().item(0x70, Bytes(144, 0xAA), LengthForm::Long1).streamTime(B + 200, 40, 0xFFFF, 7),
                      std::nullopt, Time{B + 200, 40, -1, 7}, Time{B + 1 + 28800, 40, 28800, 0}});
    // Local time with daylight saving: seconds = 28800 - (-3600) + local;
    // the record time follows 256 bytes behind 82 01 00.
    frames.push_back({false, Video(Flags(80, false, true), B + 2, 80, false),
                      UserData().item(0x71, Bytes(256, 0xBB), LengthForm::Long2).recordTime(B + 6, 80),
                      Time{B + 6, 80, 0, 0}, std::nullopt, Time{B + 2 + 28800 + 3600, 80, 28800, -3600}});
    // UTC stays as it is whatever the zone (16: -28800) and daylight saving;
    // 84 00 00 00 05, then stream time before record time.
    frames.push_back(
        {false, Video(Flags(16, true, true), B + 3, 120, false),
         UserData().item(0x72, Bytes(5, 0xCC), LengthForm::Long4).streamTime(B + 300, 120).recordTime(B + 7, 120),
         Time{B + 7, 120, 0, 0}, Time{B + 300, 120, 0, 0}, Time{B + 3, 120, -28800, -3600}});
    // Zone 88 is +36000 s, whose low 16 bits print as -29536; a short value
    // behind the long form 81 05.
    frames.push_back({true, Video(Flags(88, false), B + 4, 160, true),
                      UserData().item(0x73, Bytes(5, 0xDD), LengthForm::Long1).recordTime(B + 8, 160, 0x8000, 0x7FFF),
                      Time{B + 8, 160, -32768, 32767}, std::nullopt, Time{B + 4 + 36000, 160, -29536, 0}});
    // Zone 0 is -43200 s (low 16 bits 22336). The length byte 80 before the
    // record time is no length: the walk ends without a time.
    frames.push_back({false, Video(Flags(0, false), B + 5, 200, false),
                      UserData().raw({0x74, 0x80, 0x01}).recordTime(B + 9, 200), std::nullopt, std::nullopt,
                      Time{B + 5 - 43200, 200, 22336, 0}});
    // No user data at all; zone 127 is +71100 s (low 16 bits 5564).
    frames.push_back({false, Video(Flags(127, true, true), B + 6, 240, false), UserData(), std::nullopt, std::nullopt,
                      Time{B + 6, 240, 5564, -3600}});
    // Local 0x7FFFFFFF in zone 127: the sum 2147554747 is kept in 32 bits
    // (and stays within 0x7FFFFFFF of the smallest seconds so far, B + 5 - 43200).
    frames.push_back({false, Video(Flags(127, false), 0x7FFFFFFF, 280, false),
                      UserData().item(0x75, Bytes(3, 0xEE), LengthForm::Long3).streamTime(B + 400, 280), std::nullopt,
                      Time{B + 400, 280, 0, 0}, Time{2147554747u, 280, 5564, 0}});
    // An element whose length (255) runs past the block's end: no time.
    frames.push_back({true, Video(Flags(48), B + 8, 320, true), UserData().raw({0x76, 0x81, 0xFF, 1, 2, 3}),
                      std::nullopt, std::nullopt, Time{B + 8, 320, 0, 0}});
    return frames;
}

struct TimeTypeCase {
    int timeType;
    std::optional<Time> TimedFrame::*time;  // null: the camera time
};

class FrameLinesTimeTypes : public ::testing::TestWithParam<TimeTypeCase> {};

TEST_P(FrameLinesTimeTypes, PrintTheTimeOfTheirKind) {
    const std::vector<TimedFrame> timed = TimedFrames();
    std::vector<bool> sync;
    for (const TimedFrame& frame : timed) sync.push_back(frame.sync);
    SliceTrack video = SliceVideo(sync);

    std::vector<Bytes> records;
    std::vector<Frame> expected;
    for (size_t i = 0; i < timed.size(); ++i) {
        records.push_back(Record(timed[i].header, timed[i].userData));
        Frame frame;
        frame.letter = timed[i].sync ? 'I' : 'P';
        frame.mediaHeader = timed[i].header;
        frame.payload = video.payloads[i];
        const int timeType = GetParam().timeType;
        if (timeType == 3)
            frame.time = timed[i].cameraTime;
        else if (GetParam().time != nullptr)
            frame.time = timed[i].*GetParam().time;
        expected.push_back(frame);
    }
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);

    EXPECT_EQ(FrameReportOf(recording, GetParam().timeType),
              Lines(expected) + Summary("video only", {{0x8, uint32_t(timed.size()), 0}}));
}

INSTANTIATE_TEST_SUITE_P(RecordStreamCameraAndNone, FrameLinesTimeTypes,
                         ::testing::Values(TimeTypeCase{1, &TimedFrame::recordTime},
                                           TimeTypeCase{2, &TimedFrame::streamTime}, TimeTypeCase{3, nullptr},
                                           TimeTypeCase{7, nullptr}));

// The running minimum looks at the packet's seconds whatever time is
// printed: a frame more than 0x7FFFFFFF above the smallest seconds so far
// ends the report, and the summary still follows.
struct StopCase {
    std::vector<uint32_t> headerSeconds;
    size_t reported;
};

class FrameLinesRunningMinimum : public ::testing::TestWithParam<std::tuple<StopCase, int>> {};

TEST_P(FrameLinesRunningMinimum, EndsTheReportAtTheFirstFrameTooFarAhead) {
    const StopCase& stop = std::get<0>(GetParam());
    const int timeType = std::get<1>(GetParam());
    SliceTrack video = SliceVideo(std::vector<bool>(stop.headerSeconds.size(), true));
    std::vector<Bytes> records;
    std::vector<Frame> expected;
    for (size_t i = 0; i < stop.headerSeconds.size(); ++i) {
        const Bytes header = Video(Flags(48), stop.headerSeconds[i], uint16_t(10 * i), true);
        // Record times that never go back or leap, so only the header's seconds can stop the report.
        records.push_back(Record(header, UserData().recordTime(uint32_t(1000 + i), uint32_t(i))));
        if (i >= stop.reported) continue;
        Frame frame;
        frame.mediaHeader = header;
        frame.payload = video.payloads[i];
        frame.time = timeType == 3 ? Time{stop.headerSeconds[i], uint32_t(10 * i), 0, 0}
                                   : Time{uint32_t(1000 + i), uint32_t(i), 0, 0};
        expected.push_back(frame);
    }
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);

    EXPECT_EQ(FrameReportOf(recording, timeType),
              Lines(expected) + Summary("video only", {{0x8, uint32_t(stop.headerSeconds.size()), 0}}));
}

INSTANTIATE_TEST_SUITE_P(
    GoingBackIsReportedLeapingAheadStops, FrameLinesRunningMinimum,
    ::testing::Combine(::testing::Values(
                           // 90 lowers the minimum; 90 + 0x7FFFFFFF is still reported, 90 + 0x80000000 is not.
                           StopCase{{100, 90, 95, 90u + 0x7FFFFFFFu, 90u + 0x80000000u, 100}, 4},
                           // 0xFFFFFFFF first leaves the minimum there; 5 lowers it.
                           StopCase{{0xFFFFFFFFu, 5, 0x80000004u, 0x80000005u, 6}, 3}),
                       ::testing::Values(1, 3)));

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/CheckSection.h"
#include "analysis/Checks.h"

namespace {

using namespace ZENT::SDK::Analysis;

constexpr int64_t kEpochMs = 1700000000000;
constexpr double kEpochSeconds = 1700000000.0;
constexpr double kNoTime = -1;

// A 30 fps camera clock in whole milliseconds: steps of 33, 33 and 34.
int64_t CameraMs(uint64_t frame) { return kEpochMs + static_cast<int64_t>(frame * 1000 / 30); }

TrackRecord Track(uint32_t number, bool video, uint64_t samples) {
    TrackRecord track;
    track.track = number;
    track.video = video;
    track.codec = video ? "H264" : "G711";
    track.sampleCount = samples;
    return track;
}

void Renumber(std::vector<FrameRecord>& frames) {
    for (size_t position = 0; position < frames.size(); ++position) frames[position].index = position;
}

void SetKeys(std::vector<FrameRecord>& frames, const std::set<uint64_t>& keys) {
    for (FrameRecord& frame : frames) frame.key = keys.count(frame.index) != 0;
}

// Video frames with stream times, record times 500 ms ahead, a key frame every gop frames (0: the first only).
std::vector<FrameRecord> Camera(uint32_t track, uint64_t count, uint64_t gop) {
    std::vector<FrameRecord> frames(count);
    for (uint64_t index = 0; index < count; ++index) {
        FrameRecord& frame = frames[index];
        frame.track = track;
        frame.index = index;
        frame.video = true;
        frame.key = gop == 0 ? index == 0 : index % gop == 0;
        frame.streamTime = CameraMs(index);
        frame.recordTime = CameraMs(index) + 500;
    }
    return frames;
}

// Frames with container decode times, one per duration (cycled).
std::vector<FrameRecord> Ticks(uint32_t track, uint64_t count, const std::vector<int64_t>& durations,
                               uint32_t timescale, bool video) {
    std::vector<FrameRecord> frames(count);
    int64_t ticks = 0;
    for (uint64_t index = 0; index < count; ++index) {
        FrameRecord& frame = frames[index];
        frame.track = track;
        frame.index = index;
        frame.video = video;
        frame.key = !video || index % 15 == 0;
        frame.decodeTime = ContainerTime{ticks, timescale};
        ticks += durations[index % durations.size()];
    }
    return frames;
}

struct Expected {
    std::string check;
    uint32_t track;
    uint64_t index;
    double time;  // kNoTime: none
};

struct CheckRow {
    std::string name;
    std::vector<TrackRecord> tracks;
    std::vector<FrameRecord> frames;
    std::vector<Expected> findings;
};

void PrintTo(const CheckRow& row, std::ostream* out) { *out << row.name; }

std::vector<TrackCheck> RunChecks(const CheckRow& row) {
    Checker checker;
    for (const TrackRecord& track : row.tracks) checker.AddTrack(track);
    for (const FrameRecord& frame : row.frames) checker.AddFrame(frame);
    return checker.Finish();
}

std::vector<CheckRow> Rows() {
    std::vector<CheckRow> rows;
    rows.push_back({"CleanCamera", {Track(1, true, 300)}, Camera(1, 300, 30), {}});
    rows.push_back({"CleanNtscTicks", {Track(1, true, 90)}, Ticks(1, 90, {1001}, 30000, true), {}});
    {
        // One sample per byte at 8000 Hz; the 1-tick step falls within one millisecond of the stream time.
        auto frames = Ticks(1, 70, {160, 160, 120, 160, 200, 80, 1}, 8000, false);
        for (FrameRecord& frame : frames) frame.streamTime = kEpochMs + frame.decodeTime->value / 8;
        rows.push_back({"G711VariableDurations", {Track(1, false, 70)}, frames, {}});
    }
    {
        auto frames = Camera(1, 101, 0);
        frames.erase(frames.begin() + 10);
        Renumber(frames);
        rows.push_back({"DroppedFrame", {Track(1, true, 100)}, frames, {{"gap", 1, 10, kEpochSeconds + 0.366}}});
    }
    {
        auto frames = Ticks(1, 40, {1001}, 30000, true);
        for (uint64_t index = 20; index < 40; ++index) frames[index].decodeTime->value += 150000;
        rows.push_back({"FiveSecondJump", {Track(1, true, 40)}, frames, {{"jump", 1, 20, 170020.0 / 30000}}});
    }
    {
        auto frames = Camera(1, 10, 0);
        for (uint64_t index = 5; index < 10; ++index) {
            *frames[index].streamTime += 2592000000;
            *frames[index].recordTime += 2592000000;
        }
        rows.push_back({"ThirtyDayJump", {Track(1, true, 10)}, frames, {{"jump", 1, 5, 1702592000.166}}});
    }
    {
        auto frames = Camera(1, 100, 0);
        for (uint64_t index = 50; index < 100; ++index) {
            *frames[index].streamTime -= 233;
            *frames[index].recordTime -= 233;
        }
        rows.push_back({"BackwardStep", {Track(1, true, 100)}, frames, {{"backward", 1, 50, kEpochSeconds + 1.433}}});
    }
    {
        auto frames = Ticks(1, 60, {1001}, 30000, true);
        for (uint64_t index = 30; index < 60; ++index) frames[index].decodeTime->value -= 1001;
        rows.push_back({"Duplicate", {Track(1, true, 60)}, frames, {{"duplicate", 1, 30, 29029.0 / 30000}}});
    }
    {
        // GOPs of 30, 30, 15, 30, 30 and an incomplete one of 15 at the end.
        auto frames = Camera(1, 150, 0);
        SetKeys(frames, {0, 30, 60, 75, 105, 135});
        rows.push_back({"GopChange", {Track(1, true, 150)}, frames, {{"gop", 1, 60, kEpochSeconds + 2.0}}});
    }
    {
        auto frames = Camera(1, 90, 0);
        SetKeys(frames, {5, 35, 65});
        rows.push_back({"FirstNotKey", {Track(1, true, 90)}, frames, {{"first-not-key", 1, 0, kEpochSeconds}}});
    }
    rows.push_back({"CountShortfall", {Track(1, true, 110)}, Camera(1, 100, 30), {{"count", 1, 100, kNoTime}}});
    {
        // Record minus stream: 500, then 1700 (+1200), back to 500, 2000 (+1500), 2400 (+1900), 3100 (+2600).
        auto frames = Camera(1, 350, 30);
        const std::vector<std::pair<uint64_t, int64_t>> offsets = {
            {100, 1700}, {150, 500}, {200, 2000}, {250, 2400}, {300, 3100}};
        for (const auto& [from, offset] : offsets) {
            for (uint64_t index = from; index < 350; ++index) frames[index].recordTime = CameraMs(index) + offset;
        }
        rows.push_back({"ClockDrift",
                        {Track(1, true, 350)},
                        frames,
                        {{"clock", 1, 100, kEpochSeconds + 3.333},
                         {"clock", 1, 200, kEpochSeconds + 6.666},
                         {"clock", 1, 300, kEpochSeconds + 10.0}}});
    }
    {
        // A camera track and an AAC track of 1024 samples at 48 kHz, interleaved; audio frame 40 is missing.
        auto video = Camera(1, 60, 30);
        auto audio = Ticks(2, 60, {1024}, 48000, false);
        audio.erase(audio.begin() + 40);
        Renumber(audio);
        std::vector<FrameRecord> frames;
        for (size_t position = 0; position < 60; ++position) {
            frames.push_back(video[position]);
            if (position < audio.size()) frames.push_back(audio[position]);
        }
        rows.push_back({"InterleavedTracks",
                        {Track(1, true, 60), Track(2, false, 60)},
                        frames,
                        {{"gap", 2, 40, 41984.0 / 48000}, {"count", 2, 59, kNoTime}}});
    }
    return rows;
}

class CheckRowTest : public testing::TestWithParam<CheckRow> {};

TEST_P(CheckRowTest, Findings) {
    const std::vector<Finding> findings = AllFindings(RunChecks(GetParam()));
    const std::vector<Expected>& expected = GetParam().findings;
    ASSERT_EQ(findings.size(), expected.size());
    for (size_t position = 0; position < expected.size(); ++position) {
        SCOPED_TRACE(position);
        EXPECT_EQ(findings[position].check, expected[position].check);
        EXPECT_EQ(findings[position].track, expected[position].track);
        EXPECT_EQ(findings[position].index, expected[position].index);
        if (expected[position].time == kNoTime) {
            EXPECT_FALSE(findings[position].timeSeconds);
        } else {
            ASSERT_TRUE(findings[position].timeSeconds);
            EXPECT_NEAR(*findings[position].timeSeconds, expected[position].time, 1e-6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckRowTest, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<CheckRow>& info) { return info.param.name; });

TEST(CheckFiguresTest, CameraTrack) {
    const auto tracks = RunChecks({"", {Track(1, true, 90)}, Camera(1, 90, 30), {}});
    ASSERT_EQ(tracks.size(), 1u);
    const TrackCheck& track = tracks[0];
    EXPECT_EQ(track.framesRead, 90u);
    EXPECT_EQ(track.basis, TimeBasis::kStreamTime);
    // 89 steps, 60 of 33 ms and 29 of 34 ms: their mean is the span over the steps.
    ASSERT_TRUE(track.nominalIntervalSeconds);
    EXPECT_NEAR(*track.nominalIntervalSeconds, 2.966 / 89, 1e-12);
    EXPECT_NEAR(*track.frameRate, 89 / 2.966, 1e-9);
    ASSERT_TRUE(track.streamTime && track.recordTime);
    EXPECT_EQ(track.streamTime->first, kEpochMs);
    EXPECT_EQ(track.streamTime->last, kEpochMs + 2966);
    EXPECT_EQ(track.recordTime->last, kEpochMs + 3466);
    EXPECT_FALSE(track.decodeTime);
    EXPECT_EQ(track.keyFrames, 3u);
    ASSERT_TRUE(track.gop);
    EXPECT_EQ(track.gop->min, 30u);
    EXPECT_EQ(track.gop->max, 30u);
}

TEST(CheckFiguresTest, TickTrackAndGopRange) {
    const auto ticks = RunChecks({"", {Track(1, true, 90)}, Ticks(1, 90, {1001}, 30000, true), {}});
    EXPECT_EQ(ticks[0].basis, TimeBasis::kDecodeTime);
    EXPECT_EQ(ticks[0].timescale, 30000u);
    EXPECT_DOUBLE_EQ(*ticks[0].nominalIntervalSeconds, 1001.0 / 30000);
    EXPECT_EQ(ticks[0].decodeTime->last.value, 89 * 1001);

    auto frames = Camera(1, 150, 0);
    SetKeys(frames, {0, 30, 60, 75, 105, 135});
    const auto gops = RunChecks({"", {Track(1, true, 150)}, frames, {}});
    ASSERT_TRUE(gops[0].gop);
    EXPECT_EQ(gops[0].gop->min, 15u);
    EXPECT_EQ(gops[0].gop->usual, 30u);
    EXPECT_EQ(gops[0].gop->max, 30u);
    EXPECT_EQ(gops[0].keyFrames, 6u);
}

TEST(CheckSectionTest, FindingLines) {
    // 98 steps after the drop: 65 of 33 ms and 33 of 34 ms, a mean of 3267/98 ms.
    auto frames = Camera(1, 101, 0);
    frames.erase(frames.begin() + 10);
    Renumber(frames);
    std::ostringstream out;
    WriteCheckSection(out, RunChecks({"", {Track(1, true, 101)}, frames, {}}));
    const std::string text = out.str();
    EXPECT_NE(text.find("\nfinding: gap track 1 frame 10 time 1700000000.366 s: step 0.066 s, interval 0.033337 s, "
                        "1 missing frame\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nfinding: count track 1 frame 100: frames read 100, samples in the index 101\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\ncheck: 2 findings in 1 track\n"), std::string::npos) << text;
}

}  // namespace

// A fault in every frame: 2499 duplicate steps among 2500 frames of one
// time. The first 1000 are listed; the rest are counted, and the total
// holds them all.
TEST(CheckFiguresTest, ListsAThousandFindingsOfACheckAndCountsTheRest) {
    Checker checker;
    for (uint64_t index = 0; index < 2500; ++index) {
        FrameRecord frame;
        frame.track = 1;
        frame.index = index;
        frame.codec = "AAC4";
        frame.key = true;
        frame.decodeTime = ContainerTime{7, 1000};
        checker.AddFrame(frame);
    }
    const std::vector<TrackCheck> tracks = checker.Finish();
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_EQ(tracks[0].findings.size(), kListedPerCheck);
    EXPECT_EQ(tracks[0].findings.back().check, "duplicate");
    EXPECT_EQ(tracks[0].findings.back().index, kListedPerCheck);
    EXPECT_EQ(tracks[0].unlistedFindings, 2499 - kListedPerCheck);
    EXPECT_EQ(FindingTotal(tracks), 2499u);
}

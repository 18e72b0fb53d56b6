#include "analysis/Comparison.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "analysis/CompareSection.h"
#include "analysis/JsonLines.h"

namespace {

using namespace ZENT::SDK::Analysis;

constexpr int64_t kNo = -1;
constexpr int64_t kVideoStepUs = 40000;  // 25 fps

void Renumber(CompareTrack& track) {
    for (size_t place = 0; place < track.frames.size(); ++place) track.frames[place].index = place;
}

// A 25 fps video track: frame n at n * 40 ms, a distinct payload per frame
// (CRC seed + n * 2654435761, size 1000 + n % 13), a key frame every 30.
CompareTrack Video(uint32_t number, uint64_t count, uint32_t seed = 0x1000) {
    CompareTrack track{number, "H264", true, std::vector<CompareFrame>(count)};
    for (uint64_t n = 0; n < count; ++n) {
        CompareFrame& frame = track.frames[n];
        frame.time = static_cast<int64_t>(n) * kVideoStepUs;
        frame.timed = true;
        frame.payloadCrc32 = static_cast<uint32_t>(seed + n * 2654435761u);
        frame.size = static_cast<uint32_t>(1000 + n % 13);
        frame.key = n % 30 == 0;
        frame.frameType = frame.key ? 'I' : 'P';
    }
    Renumber(track);
    return track;
}

// AAC at 48 kHz, 1024 samples a frame (21333.3 us, whole microseconds), every frame the same payload.
CompareTrack Silence(uint32_t number, uint64_t count) {
    CompareTrack track{number, "AAC4", false, std::vector<CompareFrame>(count)};
    for (uint64_t n = 0; n < count; ++n) {
        CompareFrame& frame = track.frames[n];
        frame.time = static_cast<int64_t>(n * 64000 / 3);
        frame.timed = true;
        frame.payloadCrc32 = 0xAAAAAAAA;
        frame.size = 6;
        frame.key = true;
    }
    Renumber(track);
    return track;
}

CompareTrack Without(CompareTrack track, const std::vector<size_t>& dropped) {
    for (auto place = dropped.rbegin(); place != dropped.rend(); ++place) {
        track.frames.erase(track.frames.begin() + static_cast<std::ptrdiff_t>(*place));
    }
    Renumber(track);
    return track;
}

// An extra frame at place at, halfway in time between its neighbours.
CompareTrack WithExtra(CompareTrack track, size_t at, bool key) {
    CompareFrame extra = track.frames[at - 1];
    extra.time += kVideoStepUs / 2;
    extra.payloadCrc32 = 0x12345678;
    extra.size = 1;  // A's sizes are 1000 and up: no frame of A has this payload
    extra.key = key;
    track.frames.insert(track.frames.begin() + static_cast<std::ptrdiff_t>(at), extra);
    Renumber(track);
    return track;
}

struct Expected {
    std::string kind;
    int64_t indexA;    // kNo: none
    int64_t indexB;    // kNo: none
    std::string part;  // a part of the message, or empty
    uint32_t trackA = 1;
    uint32_t trackB = 1;
};

struct CompareRow {
    std::string name;
    std::vector<CompareTrack> a;
    std::vector<CompareTrack> b;
    std::vector<Expected> differences;
    uint64_t paired;  // frames paired in the first track pair
};

void PrintTo(const CompareRow& row, std::ostream* out) { *out << row.name; }

const CompareFrame* FrameOf(const std::vector<CompareTrack>& tracks, uint32_t track, int64_t index) {
    for (const CompareTrack& candidate : tracks) {
        if (candidate.track == track) return &candidate.frames.at(static_cast<size_t>(index));
    }
    return nullptr;
}

void ExpectSide(const std::vector<CompareTrack>& tracks, uint32_t track, int64_t index,
                const std::optional<uint64_t>& found, const std::optional<double>& time) {
    if (index == kNo) {
        EXPECT_FALSE(found);
        EXPECT_FALSE(time);
        return;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, static_cast<uint64_t>(index));
    // The time is the frame's own, as the input gave it, in seconds; none for a frame without one.
    const CompareFrame* frame = FrameOf(tracks, track, index);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(time.has_value(), frame->timed);
    if (time) {
        EXPECT_DOUBLE_EQ(*time, static_cast<double>(frame->time) / 1e6);
    }
}

std::vector<CompareRow> Rows() {
    std::vector<CompareRow> rows;
    rows.push_back({"Identical", {Video(1, 300)}, {Video(1, 300)}, {}, 300});
    rows.push_back({"DroppedFrame", {Video(1, 300)}, {Without(Video(1, 300), {100})}, {{"only-a", 100, kNo, ""}}, 299});
    rows.push_back(
        {"InsertedFrame", {Video(1, 300)}, {WithExtra(Video(1, 300), 100, false)}, {{"only-b", kNo, 100, ""}}, 300});
    // An extra key frame ends B's GOP at 30 after 15 frames.
    rows.push_back({"InsertedKeyFrame",
                    {Video(1, 300)},
                    {WithExtra(Video(1, 300), 45, true)},
                    {{"gop", 30, 30, "GOP of 30 frames in A, 15 frames in B"}, {"only-b", kNo, 45, ""}},
                    300});
    {
        // Frames 150 to 299 of B 40 ms late: 150 frames, the same payloads.
        CompareTrack b = Video(1, 300);
        for (size_t n = 150; n < 300; ++n) b.frames[n].time += 40000;
        rows.push_back({"ShiftFromFrame150",
                        {Video(1, 300)},
                        {b},
                        {{"shifted", 150, 150, "150 frames from here shifted by 40.000 ms"}},
                        300});
    }
    {
        // B lost its first frame; its times count from its own first frame, A's frame 1.
        CompareTrack b = Without(Video(1, 300), {0});
        for (CompareFrame& frame : b.frames) frame.time -= kVideoStepUs;
        rows.push_back({"FirstFrameDropped", {Video(1, 300)}, {b}, {{"only-a", 0, kNo, ""}}, 299});
    }
    {
        // Without times the payloads alone find the gap.
        CompareTrack a = Video(1, 300);
        for (CompareFrame& frame : a.frames) frame.timed = false;
        rows.push_back({"DroppedFrameNoTimes", {a}, {Without(a, {42})}, {{"only-a", 42, kNo, ""}}, 299});
    }
    {
        CompareTrack b = Video(1, 300);
        b.frames[77].payloadCrc32 ^= 0xFFFF;
        rows.push_back({"ChangedPayload", {Video(1, 300)}, {b}, {{"payload", 77, 77, ""}}, 300});
    }
    {
        // The key frame at 60 moves to 63: A's GOP at 30 has 30 frames, B's 33 (to 63);
        // A's GOP at 60 has no key frame in B to compare with.
        CompareTrack b = Video(1, 300);
        b.frames[60].key = false;
        b.frames[63].key = true;
        rows.push_back({"MovedKeyFrame",
                        {Video(1, 300)},
                        {b},
                        {{"gop", 30, 30, "GOP of 30 frames in A, 33 frames in B"},
                         {"key", 60, 60, "key frame in A, not in B"},
                         {"key", 63, 63, "key frame in B, not in A"}},
                        300});
    }
    {
        // Without the key frame at 60, B's GOP at 30 runs to B's next key frame, 90 - 1.
        rows.push_back({"DroppedKeyFrame",
                        {Video(1, 300)},
                        {Without(Video(1, 300), {60})},
                        {{"gop", 30, 30, "GOP of 30 frames in A, 59 frames in B"}, {"only-a", 60, kNo, ""}},
                        299});
    }
    {
        CompareTrack b = Video(1, 300);
        b.frames[10].diAlert = 2;
        b.frames[20].motion = {5, 0, 0};
        rows.push_back(
            {"AlertAndMotion",
             {Video(1, 300)},
             {b},
             {{"alert", 10, 10, "DI alert 0 in A, 2 in B"}, {"motion", 20, 20, "motion 0,0,0 in A, 5,0,0 in B"}},
             300});
    }
    {
        // Every payload of B differs (sizes 5000 up, A's are below 1013); frame 50 is missing.
        CompareTrack b = Without(Video(1, 300), {50});
        for (CompareFrame& frame : b.frames) frame.size += 5000;
        rows.push_back({"ReEncoded",
                        {Video(1, 300)},
                        {b},
                        {{"re-encoded", kNo, kNo, "0 of 299 frames pair by payload; frames paired by time"},
                         {"only-a", 50, kNo, ""}},
                        299});
    }
    // Every frame alike: only the time tells that A's frame 500 is missing (B's 500 has A's 501's time).
    rows.push_back(
        {"RepeatedPayload", {Silence(1, 1000)}, {Without(Silence(1, 1000), {500})}, {{"only-a", 500, kNo, ""}}, 999});
    {
        // H264 pairs with B's track 2 (the first H264 there); A's AAC4 and B's H265 have no partner.
        CompareTrack hevc = Video(1, 10);
        hevc.codec = "H265";
        rows.push_back({"UnpairedTracks",
                        {Video(1, 300), Silence(2, 100)},
                        {hevc, Video(2, 300)},
                        {{"unpaired-track", kNo, kNo, "AAC4", 2, 0}, {"unpaired-track", kNo, kNo, "H265", 0, 1}},
                        300});
    }
    rows.push_back({"LongTrackWithDrops",
                    {Video(1, 200000)},
                    {Without(Video(1, 200000), {1000, 100000, 199999})},
                    {{"only-a", 1000, kNo, ""}, {"only-a", 100000, kNo, ""}, {"only-a", 199999, kNo, ""}},
                    199997});
    return rows;
}

class CompareRowTest : public testing::TestWithParam<CompareRow> {};

TEST_P(CompareRowTest, Differences) {
    const CompareRow& row = GetParam();
    const ComparisonResult result = Compare(row.a, row.b);
    const std::vector<Expected>& expected = row.differences;
    EXPECT_EQ(result.differs, !expected.empty());
    ASSERT_FALSE(result.tracks.empty());
    EXPECT_EQ(result.tracks[0].paired, row.paired);
    ASSERT_EQ(result.differences.size(), expected.size());
    for (size_t place = 0; place < expected.size(); ++place) {
        SCOPED_TRACE(place);
        const Difference& difference = result.differences[place];
        EXPECT_EQ(difference.kind, expected[place].kind);
        EXPECT_EQ(difference.trackA, expected[place].trackA);
        EXPECT_EQ(difference.trackB, expected[place].trackB);
        ExpectSide(row.a, difference.trackA, expected[place].indexA, difference.indexA, difference.timeA);
        ExpectSide(row.b, difference.trackB, expected[place].indexB, difference.indexB, difference.timeB);
        EXPECT_NE(difference.message.find(expected[place].part), std::string::npos) << difference.message;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CompareRowTest, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<CompareRow>& info) { return info.param.name; });

// Two differences of a pair of tracks 1 and 2 and one of an unpaired track 2 of A, built by hand.
ComparisonResult HandMadeResult() {
    ComparisonResult result;
    result.differences.push_back({"shifted", 1, 2, 150, 150, 6.0, 6.04, "150 frames from here shifted by 40.000 ms"});
    result.differences.push_back({"only-b", 1, 2, std::nullopt, 7, std::nullopt, std::nullopt, "no counterpart"});
    result.differences.push_back(
        {"unpaired-track", 2, 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "AAC4 \"alone\""});
    TrackComparison track;
    track.trackA = 1;
    track.trackB = 2;
    track.codec = "H264";
    track.byTime = true;
    track.framesA = 300;
    track.framesB = 301;
    track.paired = 300;
    track.onlyB = 1;
    track.shifted = 150;
    result.tracks.push_back(track);
    result.differs = true;
    return result;
}

TEST(CompareWriters, JsonLines) {
    std::ostringstream out;
    JsonLinesWriter writer(out);
    for (const Difference& difference : HandMadeResult().differences) writer.WriteDifference(difference);
    // Seconds in their shortest form (6.0 is "6"); an absent side is null; the
    // unpaired track is A's, so "track" is 2 and "trackB" null.
    EXPECT_EQ(out.str(),
              R"({"type":"difference","kind":"shifted","track":1,"trackB":2,"indexA":150,"indexB":150,)"
              R"("timeA":6,"timeB":6.04,"message":"150 frames from here shifted by 40.000 ms"})"
              "\n"
              R"({"type":"difference","kind":"only-b","track":1,"trackB":2,"indexA":null,"indexB":7,)"
              R"("timeA":null,"timeB":null,"message":"no counterpart"})"
              "\n"
              R"({"type":"difference","kind":"unpaired-track","track":2,"trackB":null,"indexA":null,"indexB":null,)"
              R"("timeA":null,"timeB":null,"message":"AAC4 \"alone\""})"
              "\n");
}

TEST(CompareWriters, Section) {
    std::ostringstream out;
    WriteCompareSection(out, HandMadeResult());
    // The pair's differences and its counts, then the unpaired track, then three differences in one pair.
    EXPECT_EQ(out.str(),
              "Compare:\n"
              "difference: shifted track 1/2 frame 150/150 time 6.000000/6.040000 s: 150 frames from here shifted "
              "by 40.000 ms\n"
              "difference: only-b track 1/2 frame -/7 time -/- s: no counterpart\n"
              "compare track 1/2 H264: frames 300/301, paired 300, only in A 0, only in B 1, shifted 150, payload 0, "
              "key 0, alert 0, motion 0, gop 0, re-encoded\n"
              "difference: unpaired-track track 2/- frame -/- time -/- s: AAC4 \"alone\"\n"
              "compare: 3 differences in 1 track pair\n");
}

}  // namespace

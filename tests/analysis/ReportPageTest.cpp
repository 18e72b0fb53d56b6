#include "analysis/ReportPage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace ZENT::SDK::Analysis;

namespace {

const double kNaN = std::nan("");

std::vector<uint32_t> Reduced(const std::vector<double>& times, const std::vector<double>& values, size_t maxPoints,
                              const std::vector<uint32_t>& keep) {
    return ReduceForDrawing(
        static_cast<uint32_t>(times.size()), [&](uint32_t at) { return times[at]; },
        [&](uint32_t at) { return values[at]; }, maxPoints, keep);
}

struct ReduceRow {
    const char* name;
    std::vector<double> times;
    std::vector<double> values;
    size_t maxPoints;
    std::vector<uint32_t> keep;
    std::vector<uint32_t> expected;
};

TEST(ReportReduction, KeepsTheExtremesOfEachBucket) {
    const ReduceRow rows[] = {
        // Two buckets over times 0..7, each 3.5 s wide: 0..3 and 4..7. The first
        // holds 5 1 9 3 (least at 1, greatest at 2), the second 4 8 2 6 (greatest
        // at 5, least at 6).
        {"two buckets", {0, 1, 2, 3, 4, 5, 6, 7}, {5, 1, 9, 3, 4, 8, 2, 6}, 4, {}, {1, 2, 5, 6}},
        // The same, and position 0 kept for a finding though no extreme.
        {"kept point", {0, 1, 2, 3, 4, 5, 6, 7}, {5, 1, 9, 3, 4, 8, 2, 6}, 4, {0}, {0, 1, 2, 5, 6}},
        // Position 2 has no value: the first bucket's greatest is then 5 at position 0.
        {"no value", {0, 1, 2, 3, 4, 5, 6, 7}, {5, 1, kNaN, 3, 4, 8, 2, 6}, 4, {2}, {0, 1, 5, 6}},
        // Equal values: the first of them stands for least and greatest.
        {"equals", {0, 1, 2, 3}, {3, 3, 3, 3}, 2, {}, {0}},
        // One bucket over times that go back: least 1 at time 3, greatest 4 at
        // time 1; returned in the order of time.
        {"order of time", {3, 0, 2, 1}, {1, 2, 3, 4}, 2, {}, {3, 0}},
        // Every value missing: nothing to draw, not even the kept point.
        {"nothing", {0, 1}, {kNaN, kNaN}, 4, {1}, {}},
    };
    for (const ReduceRow& row : rows) {
        EXPECT_EQ(Reduced(row.times, row.values, row.maxPoints, row.keep), row.expected) << row.name;
    }
}

// A long noisy series with a gap and a step back in time: at most maxPoints
// and the kept ones, in the order of time, and of every bucket (its bounds
// worked out here from the series' first and last time) the least and the
// greatest value present.
TEST(ReportReduction, BoundsTheCountOfALongSeries) {
    constexpr size_t kCount = 100000;
    constexpr size_t kMaxPoints = 1500;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(0, 1000);
    std::vector<double> times(kCount);
    std::vector<double> values(kCount);
    for (size_t at = 0; at < kCount; ++at) {
        times[at] = static_cast<double>(at) * 0.04 + (at > 60000 ? 500 : 0) - (at > 80000 ? 30 : 0);
        values[at] = noise(random);
    }
    const std::vector<uint32_t> keep = {3, 12345, 99999};
    const std::vector<uint32_t> points = Reduced(times, values, kMaxPoints, keep);
    EXPECT_LE(points.size(), kMaxPoints + keep.size());
    for (const uint32_t position : keep) EXPECT_NE(std::find(points.begin(), points.end(), position), points.end());
    for (size_t at = 1; at < points.size(); ++at) EXPECT_LE(times[points[at - 1]], times[points[at]]);

    const double first = *std::min_element(times.begin(), times.end());
    const double last = *std::max_element(times.begin(), times.end());
    const size_t buckets = kMaxPoints / 2;
    const auto bucketOf = [&](double time) {
        return std::min(buckets - 1, static_cast<size_t>((time - first) / (last - first) * buckets));
    };
    std::vector<double> least(buckets, std::numeric_limits<double>::infinity());
    std::vector<double> greatest(buckets, -std::numeric_limits<double>::infinity());
    for (size_t at = 0; at < kCount; ++at) {
        least[bucketOf(times[at])] = std::min(least[bucketOf(times[at])], values[at]);
        greatest[bucketOf(times[at])] = std::max(greatest[bucketOf(times[at])], values[at]);
    }
    std::vector<double> drawnLeast(buckets, std::numeric_limits<double>::infinity());
    std::vector<double> drawnGreatest(buckets, -std::numeric_limits<double>::infinity());
    for (const uint32_t position : points) {
        const size_t bucket = bucketOf(times[position]);
        drawnLeast[bucket] = std::min(drawnLeast[bucket], values[position]);
        drawnGreatest[bucket] = std::max(drawnGreatest[bucket], values[position]);
    }
    EXPECT_EQ(drawnLeast, least);
    EXPECT_EQ(drawnGreatest, greatest);
}

TEST(ReportEscaping, EveryByteOfTextIsSafe) {
    const std::pair<std::string, std::string> rows[] = {
        {"a<b&c>d", "a&lt;b&amp;c&gt;d"},
        {"\"x'", "&quot;x&#39;"},
        {"caf\xC3\xA9 \xF0\x9F\x8E\xA5", "caf\xC3\xA9 \xF0\x9F\x8E\xA5"},  // well-formed UTF-8 stays
        {"\xE9t\xE9", "&#xE9;t&#xE9;"},                                    // stray bytes: the Latin-1 character
        {"\xC3", "&#xC3;"},                                                // a sequence cut short
        {"\xED\xA0\x80", "&#xED;&#xA0;&#x80;"},                            // a surrogate is no character
        {std::string("\0\t\n\x1F\x7F", 5), "&#x2400;&#x2409;&#x240A;&#x241F;&#x2421;"},  // control pictures
    };
    for (const auto& [text, expected] : rows) {
        std::string out;
        AppendHtmlEscaped(out, text);
        EXPECT_EQ(out, expected) << text;
    }
}

FrameRecord Frame(uint32_t track, std::optional<int64_t> decodeTicks, std::optional<int64_t> streamMs) {
    FrameRecord frame;
    frame.track = track;
    if (decodeTicks) frame.decodeTime = ContainerTime{*decodeTicks, 90000};
    frame.streamTime = streamMs;
    return frame;
}

TEST(ReportSeries, KeepsTimesIntervalsAndOffsets) {
    constexpr int64_t kEpochMs = 1700000000000;
    ReportSeries series;
    FrameRecord first = Frame(1, 9000, kEpochMs);  // 0.1 s of decode time: the axis' 0
    first.recordTime = kEpochMs + 500;
    first.cameraTime = kEpochMs - 20;
    first.key = true;
    first.size = 1000;
    first.motion = {1, 2, 3};
    series.AddFrame(first);
    series.AddFrame(Frame(2, 4500, std::nullopt));  // 0.05 s: before the first frame
    FrameRecord alert = Frame(1, 12600, std::nullopt);
    alert.diAlert = 7;
    series.AddFrame(alert);                                  // 0.14 s
    series.AddFrame(Frame(1, std::nullopt, kEpochMs + 10));  // the stream time starts where the axis is
    series.AddFrame(Frame(1, std::nullopt, std::nullopt));   // no time: the previous one again
    FrameRecord last = Frame(1, std::nullopt, kEpochMs + 50);
    last.recordTime = kEpochMs + 50 + 3000000000LL;  // 3e9 ms: beyond int32
    series.AddFrame(last);

    ASSERT_EQ(series.tracks().size(), 2u);
    const ReportTrack& video = series.tracks()[0];
    ASSERT_EQ(video.points.size(), 5u);
    // Stream time kEpochMs + 10 came when the axis was at 0.04 s, so kEpochMs + 50 is 0.08 s.
    const float times[] = {0, 0.04f, 0.04f, 0.04f, 0.08f};
    const float none = std::numeric_limits<float>::quiet_NaN();
    const float intervals[] = {none, 0.04f, 0, none, 0.04f};
    for (size_t at = 0; at < video.points.size(); ++at) {
        EXPECT_NEAR(video.points[at].time, times[at], 1e-6) << at;
        if (std::isnan(intervals[at])) {
            EXPECT_TRUE(std::isnan(video.points[at].interval)) << at;
        } else {
            EXPECT_NEAR(video.points[at].interval, intervals[at], 1e-6) << at;
        }
    }
    const ReportPoint& head = video.points[0];
    EXPECT_EQ(head.flags,
              ReportPoint::kKey | ReportPoint::kRecordOffset | ReportPoint::kCameraOffset | ReportPoint::kTimed);
    EXPECT_EQ(head.recordOffsetMs, 500);
    EXPECT_EQ(head.cameraOffsetMs, -20);
    EXPECT_EQ(head.size, 1000u);
    EXPECT_EQ(head.motion, (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(video.points[1].flags, ReportPoint::kAlert | ReportPoint::kTimed);
    EXPECT_EQ(video.points[3].flags, 0);
    EXPECT_EQ(video.points[4].recordOffsetMs, std::numeric_limits<int32_t>::max());
    EXPECT_NEAR(series.tracks()[1].points[0].time, -0.05, 1e-6);
    EXPECT_NEAR(series.firstTime(), -0.05, 1e-6);
    EXPECT_NEAR(series.lastTime(), 0.08, 1e-6);  // seconds since 1970 in a double: within 1e-6
    EXPECT_EQ(series.frames(), 6u);
}

std::string Page(const ReportInput& input) {
    std::ostringstream out;
    WriteReportPage(out, input);
    return out.str();
}

size_t Occurrences(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

TEST(ReportPage, WithoutFramesSaysSo) {
    ReportInput input;
    input.title = "<empty>.mp4";
    const std::string page = Page(input);
    EXPECT_NE(page.find("<title>&lt;empty&gt;.mp4</title>"), std::string::npos);
    EXPECT_NE(page.find("nothing to draw"), std::string::npos);
    EXPECT_EQ(Occurrences(page, "<svg"), 0u);
    EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
}

// 200,000 frames of one track, sizes going up and down: every line of the
// page is reduced to at most 1500 points and one for the finding.
TEST(ReportPage, MarksFindingsAndBoundsTheLines) {
    ReportInput input;
    for (int64_t index = 0; index < 200000; ++index) {
        FrameRecord frame = Frame(1, index * 3600, 1700000000000 + index * 40);
        frame.size = static_cast<uint32_t>(1000 + index % 977);
        frame.recordTime = frame.streamTime;
        input.a.AddFrame(frame);
    }
    TrackCheck check;
    check.track = 1;
    check.findings.push_back(Finding{"gap", 1, 123457, std::nullopt, "a <b> & \"c\""});
    check.findings.push_back(Finding{"count", 9, 0, std::nullopt, "no such track"});
    input.checks.push_back(check);
    const std::string page = Page(input);

    EXPECT_EQ(Occurrences(page, "<svg class=\"chart\""), 4u);
    EXPECT_EQ(Occurrences(page, "id=\"finding-0\""), 1u);
    EXPECT_EQ(Occurrences(page, "href=\"#finding-0\""), 1u);
    EXPECT_EQ(Occurrences(page, "id=\"finding-1\""), 0u);  // track 9 has no frames: listed, not drawn
    EXPECT_EQ(Occurrences(page, "href=\"#finding-1\""), 0u);
    EXPECT_EQ(Occurrences(page, "a &lt;b&gt; &amp; &quot;c&quot;"), 2u);  // in the mark's title and the table
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    // 1 interval, 1 size, 1 record offset (no camera time), 3 motion lines.
    EXPECT_EQ(Occurrences(page, "<polyline"), 6u);
    for (size_t at = page.find("points=\""); at != std::string::npos; at = page.find("points=\"", at + 1)) {
        const std::string points = page.substr(at + 8, page.find('"', at + 8) - at - 8);
        EXPECT_LE(Occurrences(points, ","), kReportPointsPerLine + 1);
    }
}

}  // namespace

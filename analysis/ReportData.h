// What the report page draws of a recording, kept compactly while the frames
// go by: per track and per frame one ReportPoint of 24 bytes, never the
// record. And the reduction of a series to the points a chart draws.
#ifndef STAMPWALK_ANALYSIS_REPORTDATA_H
#define STAMPWALK_ANALYSIS_REPORTDATA_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/FrameRecord.h"

namespace ZENT::SDK::Analysis {

struct ReportPoint {
    enum Flag : uint8_t {
        kKey = 1,           // the stored key flag
        kAlert = 2,         // a DI alert other than 0
        kRecordOffset = 4,  // recordOffsetMs holds a value
        kCameraOffset = 8,  // cameraOffsetMs holds a value
        kTimed = 16,        // the frame has a time; else time repeats the recording's previous one
    };

    // Seconds from the recording's first frame, on the frame's best time: the
    // container's decode time, else the stream, record or camera time.
    float time = 0;
    // Seconds since the track's previous frame; NaN for the first frame of a
    // track and for a frame without a time.
    float interval = std::numeric_limits<float>::quiet_NaN();
    uint32_t size = 0;
    int32_t recordOffsetMs = 0;  // record minus stream time, clamped to the int32 range
    int32_t cameraOffsetMs = 0;  // camera minus stream time, clamped likewise
    std::array<uint8_t, 3> motion{};
    uint8_t flags = 0;

    bool Has(Flag flag) const { return (flags & flag) != 0; }
};

struct ReportTrack {
    uint32_t track = 0;
    bool video = false;
    std::string codec;
    std::vector<ReportPoint> points;  // frame by frame: points[i] is the track's frame of index i
};

class ReportSeries {
public:
    void AddFrame(const FrameRecord& frame);

    // The tracks in the order their first frames came.
    const std::vector<ReportTrack>& tracks() const { return tracks_; }
    const ReportTrack* Find(uint32_t track) const;
    uint64_t frames() const { return frames_; }
    // The earliest and the latest time of a frame; both 0 without frames.
    double firstTime() const { return frames_ == 0 ? 0 : first_; }
    double lastTime() const { return frames_ == 0 ? 0 : last_; }
    // The time of a track's frame on the report's axis, where the track has that frame.
    std::optional<double> TimeOf(uint32_t track, uint64_t index) const;

private:
    struct TrackClock {
        bool timed = false;
        double last = 0;  // the time of the track's previous timed frame
    };
    // The kinds of time, in the order a frame's best time is chosen.
    enum Kind : uint8_t { kDecode, kStream, kRecord, kCamera, kKinds };

    std::vector<ReportTrack> tracks_;
    std::vector<TrackClock> clocks_;
    std::unordered_map<uint32_t, size_t> places_;
    // Per kind of time, the value (in seconds) that the axis puts at 0. A kind
    // first seen after the recording's first frame starts at the time of the
    // frame before it, so that a recording switching kinds keeps one axis.
    std::array<std::optional<double>, kKinds> origins_;
    double previous_ = 0;  // the time of the recording's previous frame
    double first_ = 0;
    double last_ = 0;
    uint64_t frames_ = 0;
};

// The points of a series a chart draws: the series is cut into maxPoints / 2
// buckets of equal time from its first to its last time, and of each bucket
// the point of the least and the point of the greatest value are kept (the
// first of equals), so that every extreme survives. The points of `keep` are
// kept besides (findings and marks); a point whose value is NaN is none.
// Returns the positions in the order of time, then position; at most maxPoints
// (from 2 up) plus the kept ones.
//   timeOf(position) and valueOf(position) give doubles, for positions below count.
template <class TimeOf, class ValueOf>
std::vector<uint32_t> ReduceForDrawing(uint32_t count, TimeOf&& timeOf, ValueOf&& valueOf, size_t maxPoints,
                                       const std::vector<uint32_t>& keep = {}) {
    constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (uint32_t position = 0; position < count; ++position) {
        if (std::isnan(valueOf(position))) continue;
        const double time = timeOf(position);
        low = std::min(low, time);
        high = std::max(high, time);
    }
    std::vector<uint32_t> chosen;
    if (low <= high) {
        const size_t buckets = std::max<size_t>(1, maxPoints / 2);
        const double scale = high > low ? static_cast<double>(buckets) / (high - low) : 0;
        std::vector<std::pair<uint32_t, uint32_t>> extremes(buckets, {kNone, kNone});  // least, greatest
        std::vector<std::pair<double, double>> values(buckets);
        for (uint32_t position = 0; position < count; ++position) {
            const double value = valueOf(position);
            if (std::isnan(value)) continue;
            const auto bucket = std::min(buckets - 1, static_cast<size_t>((timeOf(position) - low) * scale));
            auto& [least, greatest] = extremes[bucket];
            auto& [leastValue, greatestValue] = values[bucket];
            if (least == kNone) {
                least = greatest = position;
                leastValue = greatestValue = value;
            } else if (value < leastValue) {
                least = position;
                leastValue = value;
            } else if (value > greatestValue) {
                greatest = position;
                greatestValue = value;
            }
        }
        chosen.reserve(2 * buckets + keep.size());
        for (const auto& [least, greatest] : extremes) {
            if (least == kNone) continue;
            chosen.push_back(least);
            if (greatest != least) chosen.push_back(greatest);
        }
    }
    for (const uint32_t position : keep) {
        if (position < count && !std::isnan(valueOf(position))) chosen.push_back(position);
    }
    std::vector<std::pair<double, uint32_t>> ordered;
    ordered.reserve(chosen.size());
    for (const uint32_t position : chosen) ordered.emplace_back(timeOf(position), position);
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    chosen.clear();
    for (const auto& entry : ordered) chosen.push_back(entry.second);
    return chosen;
}

}  // namespace ZENT::SDK::Analysis

#endif

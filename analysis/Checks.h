// The checks of a recording's frames: per track, the figures of its times and
// key frames and the located findings of the rules below. Frames of all tracks
// come interleaved, in the order they were handed out; per frame the checker
// keeps a few bytes (the steps of its times and a key bit), not the record.
//
// Rules (the Finding's check string):
//   count          frames read differ from the samples in the index
//   gap            a step longer than gapTolerance nominal intervals
//   backward       a step below zero
//   duplicate      a step of zero
//   jump           a step longer than jumpSeconds either way (instead of gap or backward)
//   first-not-key  the first frame of a video track is not a key frame
//   key-mismatch   the stored key flag disagrees with the slice headers (IDR or IRAP unit)
//   integrity      the integrity test found a mismatch or no value
//   gop            a complete GOP whose length differs from the usual one
//   clock          record time minus stream time moved from the first frame's offset, or
//                  the camera's time zone or daylight saving changed
// The interval rules run on one basis time per track: the container's decode
// time when every frame has one (exact ticks), else the stream time, else the
// record time (milliseconds), each only when every frame has it.
#ifndef STAMPWALK_ANALYSIS_CHECKS_H
#define STAMPWALK_ANALYSIS_CHECKS_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/Finding.h"
#include "analysis/FrameRecord.h"
#include "analysis/TimeColumn.h"

namespace ZENT::SDK::Analysis {

struct CheckOptions {
    double gapTolerance = 1.5;        // a step above this many nominal intervals is a gap
    double jumpSeconds = 1.0;         // a step above this size, forward or back, is a jump
    int64_t clockToleranceMs = 1000;  // how far record minus stream may move from the first frame's offset
};

enum class TimeBasis : uint8_t { kNone, kDecodeTime, kStreamTime, kRecordTime };

// The first and the last value of one kind of time on a track.
template <class Time>
struct TimeRange {
    Time first{};
    Time last{};
};

struct GopLengths {
    uint64_t min = 0;
    uint64_t usual = 0;
    uint64_t max = 0;
};

// The findings of one check listed per track; the rest are counted.
constexpr uint64_t kListedPerCheck = 1000;

struct FindingCounts {
    std::map<std::string, uint64_t> counts;
    uint64_t unlisted = 0;
    // True while the check has had at most kListedPerCheck findings.
    bool Admit(const char* check);
};

struct TrackCheck {
    uint32_t track = 0;
    std::string codec;
    bool video = false;
    uint64_t framesRead = 0;
    std::optional<uint64_t> sampleCount;  // none for a track that was never added
    std::optional<TimeRange<ContainerTime>> decodeTime;
    std::optional<TimeRange<int64_t>> recordTime;  // milliseconds
    std::optional<TimeRange<int64_t>> streamTime;
    std::optional<TimeRange<int64_t>> cameraTime;
    TimeBasis basis = TimeBasis::kNone;
    uint32_t timescale = 0;                        // of the basis when it is the decode time
    std::optional<double> nominalIntervalSeconds;  // the usual positive step of the basis
    std::optional<double> frameRate;
    uint64_t keyFrames = 0;
    std::optional<GopLengths> gop;  // video with at least one complete GOP
    // Frames by the type their slice headers give: I, P, B.
    std::array<uint64_t, 3> codedTypes{};
    // Frames the integrity test ran on, by outcome: match, mismatch, no value.
    std::array<uint64_t, 3> integrity{};
    std::vector<Finding> findings;  // in frame order
    uint64_t unlistedFindings = 0;  // beyond kListedPerCheck of one check
};

class Checker {
public:
    explicit Checker(CheckOptions options = {});

    void AddTrack(const TrackRecord& track);
    void AddFrame(const FrameRecord& frame);
    // The tracks in the order they were first seen, each with its findings.
    std::vector<TrackCheck> Finish() const;

private:
    struct ClockState {
        std::optional<int64_t> firstOffset;
        std::optional<int64_t> reportedDrift;                 // while away from the first offset
        std::optional<std::pair<int32_t, int32_t>> timeZone;  // of the last frame that named one
    };

    struct TrackState {
        TrackCheck figures;  // the online part: counts and time ranges
        TimeColumn decodeTimes;
        uint32_t timescale = 0;
        TimeColumn streamTimes;
        TimeColumn recordTimes;
        std::vector<bool> keys;  // video only
        ClockState clock;
        std::vector<Finding> frameFindings;  // found frame by frame, in frame order
        FindingCounts counts;                // of frameFindings
    };

    TrackState& StateOf(uint32_t track, bool video);
    void CheckClock(TrackState& state, const FrameRecord& frame) const;
    static void CheckCoding(TrackState& state, const FrameRecord& frame);
    TrackCheck Judge(const TrackState& state) const;

    CheckOptions options_;
    std::vector<TrackState> tracks_;
    // Track number to its place in tracks_: a recording in progress may hold
    // a track per chunk, so no frame searches the list.
    std::unordered_map<uint32_t, size_t> places_;
};

// All listed findings of all tracks, track by track.
std::vector<Finding> AllFindings(const std::vector<TrackCheck>& tracks);

// Every finding of all tracks, listed or not.
uint64_t FindingTotal(const std::vector<TrackCheck>& tracks);

// Seconds as the findings and the section print them: to the millisecond on a
// millisecond basis, to the microsecond otherwise.
std::string FormatSeconds(double seconds, TimeBasis basis);

}  // namespace ZENT::SDK::Analysis

#endif

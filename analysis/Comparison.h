// The frame-aligned comparison of two recordings: tracks paired by order and
// codec, frames of each pair aligned by payload, and what differs listed.
//
// Alignment of a track pair (A against B):
//   1. Frames are keyed by (payload CRC, size). Keys that occur exactly once
//      on each side are candidates; the longest run of them in the same order
//      on both sides becomes the anchors.
//   2. Between two anchors, equal keys are paired forward from the left one
//      and backward from the right one. Where the next frame on one side has
//      the same key too (a static scene, audio silence), the one nearer in
//      time wins and the other frame is left out.
//   3. What remains between is paired by time (nearest within half the usual
//      step of A), then by position; the rest has no counterpart.
//   4. When fewer than a tenth of the frames of the shorter track pair by
//      payload, the track was re-encoded: frames are paired by time alone.
// Times are compared after the offset of the first anchor: a track that lost
// its first frame is one frame short, not shifted throughout.
//
// Kinds of difference (Difference::kind):
//   unpaired-track  a track with no track of the same codec on the other side
//   only-a, only-b  a frame with no counterpart
//   shifted         same payload, time moved by more than the tolerance; one per
//                   run of frames with the same shift, at its first frame
//   payload         a different payload at the same place; one per run of
//                   such frames, at its first frame
//   key, alert, motion
//                   the stored key flag, DI alert or motion levels differ
//   gop             a GOP of A and the GOP of B that starts at its partner end
//                   at frames that are not partners
//   re-encoded      one per track pair whose frames were paired by time
#ifndef STAMPWALK_ANALYSIS_COMPARISON_H
#define STAMPWALK_ANALYSIS_COMPARISON_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ZENT::SDK::Analysis {

// What the comparison keeps of a frame.
struct CompareFrame {
    uint64_t index = 0;  // 0-based in its track
    int64_t time = 0;    // microseconds after the track's first frame, when timed
    uint32_t payloadCrc32 = 0;
    uint32_t size = 0;
    uint32_t diAlert = 0;
    std::array<uint8_t, 3> motion{};
    bool key = false;
    char frameType = '?';
    bool timed = false;
};
static_assert(sizeof(CompareFrame) <= 40, "a long recording keeps one per frame");

struct CompareTrack {
    uint32_t track = 0;  // the track number of the summary (1-based)
    std::string codec;
    bool video = false;
    std::vector<CompareFrame> frames;
};

struct CompareOptions {
    int64_t timeToleranceUs = 1000;  // a larger move of a frame's time is a shift
};

struct Difference {
    std::string kind;
    uint32_t trackA = 0, trackB = 0;  // 0: none on that side
    std::optional<uint64_t> indexA, indexB;
    std::optional<double> timeA, timeB;  // seconds after the track's first frame
    std::string message;
};

// The figures of one track pair. Frames are counted, except gop (GOPs of A).
struct TrackComparison {
    uint32_t trackA = 0, trackB = 0;
    std::string codec;
    bool byTime = false;  // re-encoded: paired by time (by position where frames have no time)
    uint64_t framesA = 0, framesB = 0;
    uint64_t paired = 0, onlyA = 0, onlyB = 0;
    uint64_t shifted = 0, payload = 0, key = 0, alert = 0, motion = 0, gop = 0;
    uint64_t unlisted = 0;  // differences beyond the first thousand of a kind, counted only
};

struct ComparisonResult {
    std::vector<Difference> differences;  // track pair by track pair in frame order, unpaired tracks last
    std::vector<TrackComparison> tracks;
    bool differs = false;  // any difference at all
};

ComparisonResult Compare(const std::vector<CompareTrack>& a, const std::vector<CompareTrack>& b,
                         const CompareOptions& options = {});

}  // namespace ZENT::SDK::Analysis

#endif

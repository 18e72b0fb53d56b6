// The times of one kind for one track, kept as steps from frame to frame, each
// as a variable-length number (seven bits a byte, the sign folded into the
// lowest bit): a step of a few dozen milliseconds takes one byte, one of a few
// thousand ticks two. The bytes sit in blocks that never move, so the column
// grows without the copies of a doubling array. The column holds only while
// every frame has a time; the first frame without one ends it for good.
#ifndef STAMPWALK_ANALYSIS_TIMECOLUMN_H
#define STAMPWALK_ANALYSIS_TIMECOLUMN_H

#include <cstdint>
#include <deque>
#include <optional>

namespace ZENT::SDK::Analysis {

class TimeColumn {
public:
    void Add(std::optional<int64_t> time);

    // Every frame added so far had a time (and at least one was added).
    bool Complete() const { return complete_ && frames_ > 0; }
    uint64_t Frames() const { return frames_; }
    int64_t First() const { return first_; }

    // Calls visit(index, time, step) for frames 1 and on, in order; step is the
    // time minus the previous frame's.
    template <class Visit>
    void ForEachStep(Visit&& visit) const {
        int64_t time = first_;
        auto byte = bytes_.begin();
        for (uint64_t index = 1; index < frames_; ++index) {
            uint64_t folded = 0;
            for (unsigned shift = 0;; shift += 7) {
                const uint8_t part = *byte++;
                folded |= static_cast<uint64_t>(part & 0x7F) << shift;
                if ((part & 0x80) == 0) break;
            }
            const auto step = static_cast<int64_t>((folded >> 1) ^ (~(folded & 1) + 1));
            time = static_cast<int64_t>(static_cast<uint64_t>(time) + static_cast<uint64_t>(step));
            visit(index, time, step);
        }
    }

private:
    bool complete_ = true;
    uint64_t frames_ = 0;
    int64_t first_ = 0;
    int64_t last_ = 0;
    std::deque<uint8_t> bytes_;
};

}  // namespace ZENT::SDK::Analysis

#endif

// The times of one kind for one track, kept as steps from frame to frame: four
// bytes a frame, the rare step beyond 32 bits kept aside. The column holds only
// while every frame has a time; the first frame without one ends it for good.
#ifndef STAMPWALK_ANALYSIS_TIMECOLUMN_H
#define STAMPWALK_ANALYSIS_TIMECOLUMN_H

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

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
        size_t aside = 0;
        for (size_t position = 0; position < steps_.size(); ++position) {
            const uint64_t index = position + 1;
            int64_t step = steps_[position];
            if (steps_[position] == kAside) step = wide_[aside++].second;
            time = static_cast<int64_t>(static_cast<uint64_t>(time) + static_cast<uint64_t>(step));
            visit(index, time, step);
        }
    }

private:
    static constexpr int32_t kAside = INT32_MIN;

    bool complete_ = true;
    uint64_t frames_ = 0;
    int64_t first_ = 0;
    int64_t last_ = 0;
    std::vector<int32_t> steps_;
    std::vector<std::pair<uint64_t, int64_t>> wide_;  // (frame index, step)
};

}  // namespace ZENT::SDK::Analysis

#endif

#include "analysis/TimeColumn.h"

namespace ZENT::SDK::Analysis {

void TimeColumn::Add(std::optional<int64_t> time) {
    if (!complete_) return;
    if (!time) {
        complete_ = false;
        steps_ = {};
        wide_ = {};
        return;
    }
    if (frames_ == 0) {
        first_ = *time;
    } else {
        // Steps are taken in unsigned arithmetic so that times at the ends of the range cannot overflow.
        const auto step = static_cast<int64_t>(static_cast<uint64_t>(*time) - static_cast<uint64_t>(last_));
        if (step > INT32_MAX || step <= kAside) {
            wide_.emplace_back(frames_, step);
            steps_.push_back(kAside);
        } else {
            steps_.push_back(static_cast<int32_t>(step));
        }
    }
    last_ = *time;
    ++frames_;
}

}  // namespace ZENT::SDK::Analysis

#include "analysis/TimeColumn.h"

namespace ZENT::SDK::Analysis {

void TimeColumn::Add(std::optional<int64_t> time) {
    if (!complete_) return;
    if (!time) {
        complete_ = false;
        bytes_ = {};
        return;
    }
    if (frames_ == 0) {
        first_ = *time;
    } else {
        // Steps are taken in unsigned arithmetic so that times at the ends of the range cannot overflow.
        const uint64_t step = static_cast<uint64_t>(*time) - static_cast<uint64_t>(last_);
        // The sign goes to the lowest bit: 0, -1, 1, -2, ... become 0, 1, 2, 3, ...
        uint64_t folded = (step << 1) ^ (0 - (step >> 63));
        while (folded >= 0x80) {
            bytes_.push_back(static_cast<uint8_t>(folded | 0x80));
            folded >>= 7;
        }
        bytes_.push_back(static_cast<uint8_t>(folded));
    }
    last_ = *time;
    ++frames_;
}

}  // namespace ZENT::SDK::Analysis

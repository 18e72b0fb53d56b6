#include "format/NalUnits.h"

namespace ZENT::SDK::Format {

bool PrefixedUnitWalk::Next(PrefixedUnit& unit) {
    if (size_ - position_ < prefixSize_) return false;
    uint64_t claimed = 0;
    for (unsigned k = 0; k < prefixSize_; ++k) claimed = (claimed << 8) | bytes_[position_ + k];
    unit.prefixOffset = position_;
    unit.offset = position_ + prefixSize_;
    const uint64_t left = size_ - unit.offset;
    unit.cut = claimed > left;
    unit.length = unit.cut ? left : claimed;
    position_ = unit.offset + unit.length;
    return true;
}

}  // namespace ZENT::SDK::Format

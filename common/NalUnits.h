// The four bytes that stand before every NAL unit of a start-code (Annex B)
// stream, which both readers write in place of length prefixes.
#ifndef STAMPWALK_COMMON_NALUNITS_H
#define STAMPWALK_COMMON_NALUNITS_H

#include <cstdint>

namespace ZENT::SDK::Utility {

inline constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

}  // namespace ZENT::SDK::Utility

#endif

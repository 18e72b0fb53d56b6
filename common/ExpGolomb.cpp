#include "common/ExpGolomb.h"

#include <stdexcept>

namespace ZENT::SDK::Utility {

uint32_t ReadExpGolomb(BitReader& bits) {
    unsigned leadingZeros = 0;
    while (bits.Read(1) == 0) {
        if (++leadingZeros == 32) throw std::runtime_error("exp-golomb code too long");
    }
    if (leadingZeros == 0) return 0;
    return uint32_t((uint64_t(1) << leadingZeros) - 1 + bits.Read(leadingZeros));
}

}  // namespace ZENT::SDK::Utility

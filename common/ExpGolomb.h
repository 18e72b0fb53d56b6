// Exp-Golomb codes of H.264 and HEVC headers, read through a BitReader.
#ifndef STAMPWALK_COMMON_EXPGOLOMB_H
#define STAMPWALK_COMMON_EXPGOLOMB_H

#include <cstdint>

#include "common/BitReader.h"

namespace ZENT::SDK::Utility {

// ue(v): leading zero bits, a one, then as many bits again. A code of 32 or
// more leading zeros (no header field needs one) throws std::runtime_error
// "exp-golomb code too long", as the end of the bits throws "end of stream".
uint32_t ReadExpGolomb(BitReader& bits);

}  // namespace ZENT::SDK::Utility

#endif

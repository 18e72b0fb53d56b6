#include "common/Crc32.h"

#include <isa-l/crc.h>

namespace ZENT::SDK::Utility {

uint32_t Crc32(const void* data, size_t length) { return Crc32Update(0, data, length); }

// crc32_gzip_refl complements on entry and on exit, so the finished CRC of
// one call is the starting value of the next.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
    if (length == 0) return crc;
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), length);
}

}  // namespace ZENT::SDK::Utility

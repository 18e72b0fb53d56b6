// The standard reflected CRC-32 (zlib, PNG, gzip): polynomial 0x04C11DB7,
// initial value and final complement 0xFFFFFFFF. "123456789" gives 0xCBF43926.
#ifndef STAMPWALK_COMMON_CRC32_H
#define STAMPWALK_COMMON_CRC32_H

#include <cstddef>
#include <cstdint>

namespace ZENT::SDK::Utility {

uint32_t Crc32(const void* data, size_t length);

// Continues a CRC over more bytes: Crc32Update(Crc32(a), b) == Crc32(a + b).
// Crc32Update(0, ...) is Crc32. data may be null when length is 0.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

}  // namespace ZENT::SDK::Utility

#endif

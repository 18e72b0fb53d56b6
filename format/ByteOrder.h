// Big-endian and little-endian loads of the byte fields the formats carry,
// and big-endian stores for the records the readers build.
#ifndef STAMPWALK_FORMAT_BYTEORDER_H
#define STAMPWALK_FORMAT_BYTEORDER_H

#include <cstdint>

namespace ZENT::SDK::Format {

inline uint16_t LoadU16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t LoadU24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint32_t LoadU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t LoadU64(const uint8_t* p) { return (uint64_t(LoadU32(p)) << 32) | LoadU32(p + 4); }
inline uint32_t LoadU32Little(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadU64Little(const uint8_t* p) {
    return uint64_t(LoadU32Little(p)) | (uint64_t(LoadU32Little(p + 4)) << 32);
}
inline void StoreU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void StoreU24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 16);
    StoreU16(p + 1, v);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    StoreU24(p + 1, v);
}

}  // namespace ZENT::SDK::Format

#endif

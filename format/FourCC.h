// Four-character codes as 32-bit values.
#ifndef STAMPWALK_FORMAT_FOURCC_H
#define STAMPWALK_FORMAT_FOURCC_H

#include <cstdint>

namespace ZENT::SDK::Format {

// Four-character code as a big-endian 32-bit value: "moov" is 0x6D6F6F76.
constexpr uint32_t FourCC(const char (&text)[5]) {
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

// The same characters with the first one in the least significant byte, as
// the reader's interface hands them out: "JPEG" is 0x4745504A.
constexpr uint32_t FourCCLittle(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | (uint32_t(uint8_t(text[1])) << 8) | (uint32_t(uint8_t(text[2])) << 16) |
           (uint32_t(uint8_t(text[3])) << 24);
}

}  // namespace ZENT::SDK::Format

#endif

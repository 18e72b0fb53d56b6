// Hand-assembled media headers and frame-information records for the tests.
#ifndef STAMPWALK_TESTS_COMMON_MEDIAHEADERBYTES_H
#define STAMPWALK_TESTS_COMMON_MEDIAHEADERBYTES_H

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace testbytes {

using Bytes = std::vector<uint8_t>;

// Flag word pieces.
constexpr uint32_t kTaggedItems = 1u << 3;
constexpr uint32_t kDaylightSaving = 1u << 11;
constexpr uint32_t kDigitalInputValid = 1u << 17;
constexpr uint32_t kFlag20 = 1u << 20;
constexpr uint32_t kUtc = 1u << 21;
constexpr uint32_t Zone(uint32_t index) { return index << 4; }
constexpr uint32_t kUtcZone0 = kUtc | Zone(48);  // UTC timestamps, offset 0

inline void PutBigEndian(Bytes& out, uint64_t value, int byteCount) {
    for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Length word (header length - 4 + payloadLength), code, type byte, flag word,
// seconds, milliseconds, E and the extension, which must fill whole words.
inline Bytes MediaHeader(const char (&code)[5], uint8_t typeByte, uint32_t flags, uint32_t seconds,
                         uint16_t milliseconds, const Bytes& extension, uint32_t payloadLength = 0) {
    if (extension.size() % 4 != 0 || extension.size() > 4 * 255)
        throw std::logic_error("extension must be whole 4-byte words");
    Bytes out;
    out.reserve(20 + extension.size());
    PutBigEndian(out, 20 + extension.size() - 4 + payloadLength, 4);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(code[i]));
    out.push_back(typeByte);
    PutBigEndian(out, flags, 4);
    PutBigEndian(out, seconds, 4);
    PutBigEndian(out, milliseconds, 2);
    out.push_back(uint8_t(extension.size() / 4));
    for (uint8_t byte : extension) out.push_back(byte);
    return out;
}

// A video extension: the given fixed part, then zero padding so that the
// items end exactly on a word boundary (a trailing zero would read as an item).
inline Bytes VideoExtension(const Bytes& fixedPart, const Bytes& items) {
    size_t used = fixedPart.size() + items.size();
    Bytes padding((4 - used % 4) % 4, 0);
    return Concat({fixedPart, padding, items});
}

// The fixed part of three disabled windows, extra flag 0.
inline const Bytes kNoWindows = {0x00};

// 8 unused bytes, H, X, the header and the user data.
inline Bytes FrameRecord(const Bytes& header, const Bytes& userData) {
    Bytes out(8, 0xA5);
    PutBigEndian(out, header.size(), 4);
    PutBigEndian(out, userData.size(), 4);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), userData.begin(), userData.end());
    return out;
}

// Most-significant-bit-first bit packing, for the fields that do not fall on
// byte boundaries.
class BitWriter {
public:
    BitWriter& Put(uint32_t value, int bits) {
        for (int bit = bits - 1; bit >= 0; --bit) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> bit) & 1) bytes_.back() |= uint8_t(0x80 >> (used_ % 8));
            ++used_;
        }
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    size_t used_ = 0;
};

}  // namespace testbytes

#endif

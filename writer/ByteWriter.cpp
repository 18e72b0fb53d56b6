#include "writer/ByteWriter.h"

#include <stdexcept>

namespace writer {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void NeedBytes(const Bytes& data, size_t offset, size_t count) {
    if (offset > data.size() || data.size() - offset < count) throw std::out_of_range("read past the end of the bytes");
}

uint64_t ReadBig(const Bytes& data, size_t offset, size_t width) {
    NeedBytes(data, offset, width);
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value = (value << 8) | data[offset + i];
    return value;
}

uint64_t ReadLittle(const Bytes& data, size_t offset, size_t width) {
    NeedBytes(data, offset, width);
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = (value << 8) | data[offset + i];
    return value;
}

}  // namespace

Bytes Hex(std::string_view text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '\r') continue;
        int digit = HexDigit(c);
        if (digit < 0) throw std::invalid_argument("not a hex digit in: " + std::string(text));
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of hex digits in: " + std::string(text));
    return out;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

uint16_t ReadU16(const Bytes& data, size_t offset) { return uint16_t(ReadBig(data, offset, 2)); }
uint32_t ReadU24(const Bytes& data, size_t offset) { return uint32_t(ReadBig(data, offset, 3)); }
uint32_t ReadU32(const Bytes& data, size_t offset) { return uint32_t(ReadBig(data, offset, 4)); }
uint64_t ReadU64(const Bytes& data, size_t offset) { return ReadBig(data, offset, 8); }
uint32_t ReadU32LE(const Bytes& data, size_t offset) { return uint32_t(ReadLittle(data, offset, 4)); }
uint64_t ReadU64LE(const Bytes& data, size_t offset) { return ReadLittle(data, offset, 8); }

std::string ReadFourCC(const Bytes& data, size_t offset) {
    NeedBytes(data, offset, 4);
    return std::string(data.begin() + offset, data.begin() + offset + 4);
}

BitWriter& BitWriter::bits(uint64_t value, unsigned count) {
    if (count > 64) throw std::invalid_argument("at most 64 bits at a time");
    for (unsigned i = count; i-- > 0;) {
        if (bitCount_ % 8 == 0) buffer_.push_back(0);
        if ((value >> i) & 1) buffer_.back() |= uint8_t(0x80 >> (bitCount_ % 8));
        ++bitCount_;
    }
    return *this;
}

BitWriter& BitWriter::ue(uint32_t value) {
    uint64_t coded = uint64_t(value) + 1;
    unsigned width = 0;
    while ((coded >> width) > 1) ++width;
    bits(0, width);
    return bits(coded, width + 1);
}

BitWriter& BitWriter::se(int32_t value) {
    // 1, -1, 2, -2 ... map to 1, 2, 3, 4 ...
    uint32_t mapped = value > 0 ? uint32_t(2 * int64_t(value) - 1) : uint32_t(-2 * int64_t(value));
    return ue(mapped);
}

BitWriter& BitWriter::alignZero() {
    while (bitCount_ % 8 != 0) bits(0, 1);
    return *this;
}

BitWriter& BitWriter::trailingBits() {
    bits(1, 1);
    return alignZero();
}

}  // namespace writer

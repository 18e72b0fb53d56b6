#include "common/BitReader.h"

#include <stdexcept>

namespace ZENT::SDK::Utility {

namespace {

[[noreturn]] void ThrowEndOfStream() { throw std::runtime_error("end of stream"); }

}  // namespace

BitReader::BitReader(const uint8_t* begin, const uint8_t* end)
    : begin_(begin), totalBits_(end > begin ? uint64_t(end - begin) * 8 : 0) {}

uint32_t BitReader::Peek(unsigned bits) const {
    if (bits < 1 || bits > 32) throw std::invalid_argument("bit field width outside 1..32");
    if (bits > BitsUnread()) ThrowEndOfStream();
    // At most five bytes hold a 32-bit field that starts inside a byte.
    uint64_t position = bitPosition_;
    const uint8_t* byte = begin_ + (position >> 3);
    unsigned offset = unsigned(position & 7);
    unsigned needed = (offset + bits + 7) / 8;
    uint64_t window = 0;
    for (unsigned i = 0; i < needed; ++i) window = (window << 8) | byte[i];
    window >>= needed * 8 - offset - bits;
    return uint32_t(window & ((uint64_t(1) << bits) - 1));
}

uint32_t BitReader::Read(unsigned bits) {
    uint32_t value = Peek(bits);
    bitPosition_ += bits;
    return value;
}

void BitReader::SkipBytes(uint64_t count) {
    if (count > BitsUnread() / 8) ThrowEndOfStream();
    bitPosition_ += count * 8;
}

size_t BitReader::BytesUnread() const { return size_t((totalBits_ >> 3) - (bitPosition_ >> 3)); }

}  // namespace ZENT::SDK::Utility

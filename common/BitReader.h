// Most-significant-bit-first reading of a bounded byte range.
#ifndef STAMPWALK_COMMON_BITREADER_H
#define STAMPWALK_COMMON_BITREADER_H

#include <cstddef>
#include <cstdint>

namespace ZENT::SDK::Utility {

// Reads bit fields from [begin, end), most significant bit of each byte first.
// A read that needs a byte beyond the end throws std::runtime_error
// "end of stream" and leaves the position where it was.
class BitReader {
public:
    BitReader(const uint8_t* begin, const uint8_t* end);

    // An unsigned field of 1 to 32 bits.
    uint32_t Read(unsigned bits);

    // The same field without moving on.
    uint32_t Peek(unsigned bits) const;

    // Moves on by whole bytes (8 bits each), from wherever the position is.
    void SkipBytes(uint64_t count);

    // Bytes not yet read through; a partly read byte counts as unread.
    size_t BytesUnread() const;

    uint64_t BitsUnread() const { return totalBits_ - bitPosition_; }
    bool IsByteAligned() const { return (bitPosition_ & 7) == 0; }

    // The first byte that is not read through (the partly read one, if any).
    const uint8_t* Current() const { return begin_ + (bitPosition_ >> 3); }

private:
    const uint8_t* begin_;
    uint64_t totalBits_;
    uint64_t bitPosition_ = 0;
};

}  // namespace ZENT::SDK::Utility

#endif

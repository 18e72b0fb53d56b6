// The unsigned Exp-Golomb code, ue(v): n zero bits, a one, then n bits, for
// 2^n - 1 plus those bits. The index records of a recording in progress and
// the headers of H.264 and HEVC both spell numbers this way.
#ifndef STAMPWALK_FORMAT_EXPGOLOMB_H
#define STAMPWALK_FORMAT_EXPGOLOMB_H

#include <cstdint>
#include <optional>

namespace ZENT::SDK::Format {

// The longest run of leading zeros a 32-bit value can need.
constexpr unsigned kMaxExpGolombLeadingZeros = 31;

// Reads one code from bits, a source with Bit() (the next bit, 0 or 1) and
// Bits(n) (the next n bits, n from 1 to 31, most significant first). A code
// with more leading zeros than any 32-bit value needs gives nothing; the
// source's own errors (its end) pass through.
template <class BitSource>
std::optional<uint32_t> ReadExpGolomb(BitSource& bits) {
    unsigned leadingZeros = 0;
    while (bits.Bit() == 0)
        if (++leadingZeros > kMaxExpGolombLeadingZeros) return std::nullopt;
    if (leadingZeros == 0) return 0;
    return uint32_t((uint64_t(1) << leadingZeros) - 1 + bits.Bits(leadingZeros));
}

}  // namespace ZENT::SDK::Format

#endif

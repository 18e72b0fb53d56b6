// Pseudo-random media bytes for the benchmark recordings: a fixed generator,
// so that every run writes the same bytes, and NAL units that hold no start
// code inside them.
#ifndef STAMPWALK_BENCH_RANDOMMEDIA_H
#define STAMPWALK_BENCH_RANDOMMEDIA_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bench {

// splitmix64: small, fast and the same on every platform.
class Prng {
public:
    explicit Prng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    uint32_t between(uint32_t low, uint32_t high) { return low + uint32_t(next() % (uint64_t(high) - low + 1)); }

private:
    uint64_t state_;
};

inline void FillRandom(uint8_t* out, size_t size, Prng& rng) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word = rng.next();
        std::memcpy(out + i, &word, 8);
    }
    if (i < size) {
        uint64_t word = rng.next();
        std::memcpy(out + i, &word, size - i);
    }
}

// Inside a NAL unit emulation prevention rules out 00 00 0x with x <= 3.
inline void BreakStartCodes(uint8_t* unit, size_t size) {
    for (size_t k = 2; k < size; ++k)
        if (unit[k] <= 3 && unit[k - 1] == 0 && unit[k - 2] == 0) unit[k] |= 4;
}

// A 4-byte big-endian NAL length prefix.
inline void PutLength(uint8_t* out, uint32_t length) {
    out[0] = uint8_t(length >> 24);
    out[1] = uint8_t(length >> 16);
    out[2] = uint8_t(length >> 8);
    out[3] = uint8_t(length);
}

}  // namespace bench

#endif

#include "common/Crc32.h"

#include <gtest/gtest.h>

#include <boost/crc.hpp>

#include <cstdint>
#include <random>
#include <vector>

using ZENT::SDK::Utility::Crc32;
using ZENT::SDK::Utility::Crc32Update;

namespace {

uint32_t ReferenceCrc32(const uint8_t* data, size_t length) {
    boost::crc_32_type crc;
    crc.process_bytes(data, length);
    return crc.checksum();
}

std::vector<uint8_t> RandomBytes(size_t length, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(length);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(generator());
    return bytes;
}

}  // namespace

TEST(Crc32, KnownValues) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0x00000000u);
    const uint8_t empty[1] = {0xAB};
    EXPECT_EQ(Crc32(empty, 0), 0x00000000u);
    // One zero byte: a value any CRC-32 table lists.
    const uint8_t zero = 0;
    EXPECT_EQ(Crc32(&zero, 1), 0xD202EF8Du);
}

// Vector code paths differ by length and alignment: cover short tails,
// every offset within a 64-byte line, and a few large blocks.
TEST(Crc32, MatchesBoostOnRandomBuffersOfManyLengthsAndOffsets) {
    const std::vector<uint8_t> buffer = RandomBytes(300 + 64, 1);
    for (size_t offset = 0; offset < 64; offset += 7) {
        for (size_t length = 0; length <= 300; ++length) {
            ASSERT_EQ(Crc32(buffer.data() + offset, length), ReferenceCrc32(buffer.data() + offset, length))
                << "offset " << offset << " length " << length;
        }
    }
    for (size_t length : {4095u, 4096u, 65537u, 1000003u}) {
        const std::vector<uint8_t> large = RandomBytes(length + 3, static_cast<uint32_t>(length));
        for (size_t offset : {0u, 3u})
            EXPECT_EQ(Crc32(large.data() + offset, length), ReferenceCrc32(large.data() + offset, length))
                << "offset " << offset << " length " << length;
    }
}

TEST(Crc32, UpdateContinuesOverSplitBuffers) {
    const std::vector<uint8_t> buffer = RandomBytes(5000, 2);
    const uint32_t whole = ReferenceCrc32(buffer.data(), buffer.size());
    for (size_t split : {0u, 1u, 9u, 64u, 333u, 4999u, 5000u}) {
        const uint32_t first = Crc32(buffer.data(), split);
        EXPECT_EQ(Crc32Update(first, buffer.data() + split, buffer.size() - split), whole) << "split " << split;
    }
    EXPECT_EQ(Crc32Update(Crc32("12345", 5), "6789", 4), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0xCBF43926u, nullptr, 0), 0xCBF43926u);
}

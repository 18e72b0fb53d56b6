// The two ways a sample separates its NAL units: start codes (00 00 00 01
// before each unit) and big-endian length prefixes. Both readers hand out the
// start-code form of samples stored with prefixes.
#ifndef STAMPWALK_FORMAT_NALUNITS_H
#define STAMPWALK_FORMAT_NALUNITS_H

#include <cstdint>
#include <cstring>

namespace ZENT::SDK::Format {

inline constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

// The unit type in a NAL unit's first header byte.
constexpr unsigned AvcUnitType(uint8_t header) { return header & 0x1Fu; }
constexpr unsigned HevcUnitType(uint8_t header) { return (header >> 1) & 0x3Fu; }

// The H.264 unit types the readers tell apart.
namespace AvcUnit {
constexpr unsigned kSlice = 1;
constexpr unsigned kPartitionA = 2;
constexpr unsigned kIdrSlice = 5;
constexpr unsigned kSei = 6;
constexpr unsigned kSequenceSet = 7;
constexpr unsigned kPictureSet = 8;
constexpr unsigned kPrefix = 14;
}  // namespace AvcUnit

// The HEVC unit types the readers tell apart; 16 to 23 are random-access
// (IRAP) pictures, of which 16 to 21 are slices.
namespace HevcUnit {
constexpr unsigned kLastNonIrapSlice = 9;
constexpr unsigned kFirstIrap = 16;
constexpr unsigned kIdrWithLeading = 19;
constexpr unsigned kIdrWithoutLeading = 20;
constexpr unsigned kLastIrapSlice = 21;
constexpr unsigned kLastIrap = 23;
constexpr unsigned kVideoSet = 32;
constexpr unsigned kSequenceSet = 33;
constexpr unsigned kPictureSet = 34;
constexpr unsigned kPrefixSei = 39;
}  // namespace HevcUnit

// One unit behind its length prefix.
struct PrefixedUnit {
    uint64_t prefixOffset = 0;  // where its prefix stands
    uint64_t offset = 0;        // its first byte, right after the prefix
    uint64_t length = 0;        // what the prefix claims, cut to the bytes after it
    bool cut = false;           // the prefix claimed more than the bytes after it
};

// Steps over units stored behind prefixes of prefixSize bytes (1, 2 or 4). A
// unit that claims more than is left takes what is left, so that unit ends
// the walk. The walk also ends where fewer bytes than a prefix are left: that
// tail, from Position() to the end, is no unit, and each caller decides what
// it is.
class PrefixedUnitWalk {
public:
    PrefixedUnitWalk(const uint8_t* bytes, uint64_t size, unsigned prefixSize)
        : bytes_(bytes), size_(size), prefixSize_(prefixSize) {}

    // The next unit; false at the tail.
    bool Next(PrefixedUnit& unit);

    // After the last unit: where the tail starts.
    uint64_t Position() const { return position_; }

private:
    const uint8_t* bytes_;
    uint64_t size_;
    unsigned prefixSize_;
    uint64_t position_ = 0;
};

// Writes a start code over each 4-byte prefix where it stands (the two are
// the same size, so the sample keeps its length) and hands each unit to
// onUnit(uint8_t* unit, uint64_t length). Returns where the tail of fewer than
// four bytes starts, which stays as it is.
template <class OnUnit>
uint64_t StartCodesInPlace(uint8_t* bytes, uint64_t size, OnUnit&& onUnit) {
    PrefixedUnitWalk walk(bytes, size, sizeof(kStartCode));
    for (PrefixedUnit unit; walk.Next(unit);) {
        std::memcpy(bytes + unit.prefixOffset, kStartCode, sizeof(kStartCode));
        onUnit(bytes + unit.offset, unit.length);
    }
    return walk.Position();
}

inline uint64_t StartCodesInPlace(uint8_t* bytes, uint64_t size) {
    return StartCodesInPlace(bytes, size, [](uint8_t*, uint64_t) {});
}

}  // namespace ZENT::SDK::Format

#endif

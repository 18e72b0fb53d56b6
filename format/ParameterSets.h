// The parameter sets of a decoder configuration in start-code form. Both
// codecs store them as units behind two-byte big-endian lengths: H.264 as
// sequence parameter sets, a one-byte count and picture parameter sets; HEVC
// as a one-byte count of arrays, each a NAL unit type byte, a two-byte unit
// count and its units.
#ifndef STAMPWALK_FORMAT_PARAMETERSETS_H
#define STAMPWALK_FORMAT_PARAMETERSETS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZENT::SDK::Format {

// How far a conversion got; the units before the point where it stopped are
// kept either way.
enum class ParameterSetEnd {
    Complete,
    Truncated,  // a count, an array header, a length or a unit runs past the bytes
    OverLimit,  // the next unit in start-code form would pass the limit
};

struct ConvertedParameterSets {
    std::vector<uint8_t> bytes;     // each unit behind 00 00 00 01
    size_t parameterSetLength = 0;  // the leading bytes that hold the VPS, SPS and PPS (HEVC)
    ParameterSetEnd end = ParameterSetEnd::Complete;
};

// Where the units start.
enum class ConfigurationForm {
    // The avcC or hvcC record of a finished recording: a header first, which
    // for H.264 counts the sequence parameter sets in its last byte's low 5 bits.
    Record,
    // The configuration area of a recording in progress: the units from the
    // first byte on, with a single sequence parameter set for H.264.
    Bare,
};

// Which units of an HEVC configuration are kept.
enum class HevcUnitChoice {
    All,  // in stored order, every one counted in parameterSetLength
    // Those of the VPS, SPS and PPS arrays in stored order, then those of the
    // prefix SEI arrays; the others are passed over.
    ParameterSetsThenPrefixSei,
};

// The limit is the most bytes the converted units may take.
inline constexpr uint64_t kNoLimit = UINT64_MAX;

// A Bare conversion that keeps every unit within a limit of n bytes reads at
// most n + kBytesBeyondLimit bytes: each unit gives two bytes more than it
// takes, and besides the units there are the counts and array headers (at
// most 1 + 255 * 3) and the length of the unit that would pass the limit.
inline constexpr uint64_t kBytesBeyondLimit = 1 + 255 * 3 + 2;

ConvertedParameterSets ConvertAvcParameterSets(const uint8_t* bytes, size_t size, ConfigurationForm form,
                                               uint64_t limit);
ConvertedParameterSets ConvertHevcParameterSets(const uint8_t* bytes, size_t size, ConfigurationForm form,
                                                HevcUnitChoice choice, uint64_t limit);

}  // namespace ZENT::SDK::Format

#endif

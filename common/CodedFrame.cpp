#include "common/CodedFrame.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/BitReader.h"
#include "common/Crc32.h"
#include "common/ExpGolomb.h"
#include "format/NalUnits.h"
#include "isom/AVReader.h"

namespace ZENT::SDK::Utility {

namespace {

// Slice types in the order they widen a picture: a picture with one B slice
// is a B picture, with a P slice and no B one a P picture. No encoder mixes P
// and B slices in one picture, so the first of either decides.
enum Width : int { kNoSlice = 0, kIntra = 1, kPredicted = 2, kBipredicted = 3 };
constexpr char kWidthLetter[] = {0, 'I', 'P', 'B'};

// H.264 slice_type modulo 5: P, B, I, SP, SI.
constexpr Width kAvcSliceWidth[5] = {kPredicted, kBipredicted, kIntra, kPredicted, kIntra};
// HEVC slice_type: B, P, I.
constexpr Width kHevcSliceWidth[3] = {kBipredicted, kPredicted, kIntra};

using Format::AvcUnit::kIdrSlice;
using Format::AvcUnit::kPartitionA;
using Format::AvcUnit::kSlice;
using Format::HevcUnit::kFirstIrap;
using Format::HevcUnit::kLastIrap;
using Format::HevcUnit::kLastIrapSlice;
using Format::HevcUnit::kLastNonIrapSlice;

// The header fields read sit in the first bytes of a unit: a slice header's
// type comes within a few dozen bits, a sequence set's coding block sizes
// after at most a profile of eight sub-layers.
constexpr size_t kSliceHeaderBytes = 64;
constexpr size_t kParameterSetBytes = 512;

// The start of the first unit at or after from: the byte after 00 00 01, or
// end when there is none.
const uint8_t* NextUnit(const uint8_t* from, const uint8_t* end, const uint8_t*& codeStart) {
    if (end - from < 3) return codeStart = end;
    for (const uint8_t* one = from + 2; one < end; ++one) {
        one = static_cast<const uint8_t*>(std::memchr(one, 1, size_t(end - one)));
        if (one == nullptr) break;
        if (one[-1] == 0 && one[-2] == 0) {
            codeStart = one - 2;
            return one + 1;
        }
    }
    return codeStart = end;
}

// Copies the first bytes of a unit without its emulation prevention bytes
// (the 03 of each 00 00 03); returns how many it wrote.
size_t Unescape(const uint8_t* unit, size_t size, uint8_t* out, size_t capacity) {
    size_t written = 0;
    unsigned zeros = 0;
    for (size_t i = 0; i < size && written < capacity; ++i) {
        uint8_t byte = unit[i];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        out[written++] = byte;
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return written;
}

Width AvcSliceWidth(const uint8_t* unit, size_t size) {
    uint8_t header[kSliceHeaderBytes];
    size_t length = Unescape(unit, size, header, sizeof(header));
    BitReader bits(header, header + length);
    ReadExpGolomb(bits);  // first_mb_in_slice
    uint32_t sliceType = ReadExpGolomb(bits);
    return sliceType <= 9 ? kAvcSliceWidth[sliceType % 5] : kNoSlice;
}

void ReadProfileTierLevel(BitReader& bits, unsigned subLayers) {
    bits.SkipBytes(12);  // the general profile, tier and level
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (unsigned i = 0; i < subLayers; ++i) {
        profilePresent[i] = bits.Read(1) != 0;
        levelPresent[i] = bits.Read(1) != 0;
    }
    if (subLayers > 0) bits.Read(2 * (8 - subLayers));
    for (unsigned i = 0; i < subLayers; ++i) {
        if (profilePresent[i]) {
            bits.Read(32);
            bits.Read(32);
            bits.Read(24);
        }
        if (levelPresent[i]) bits.Read(8);
    }
}

unsigned CeilLog2(uint64_t value) {
    unsigned log = 0;
    while ((uint64_t(1) << log) < value) ++log;
    return log;
}

// The unit types of coded slices: H.264 slice, partition A and IDR slice;
// HEVC slice segments of every non-IRAP and IRAP picture.
bool IsAvcSlice(unsigned type) { return type == kSlice || type == kPartitionA || type == kIdrSlice; }
bool IsHevcSlice(unsigned type) { return type <= kLastNonIrapSlice || (type >= kFirstIrap && type <= kLastIrapSlice); }

}  // namespace

CodedFrameParser::CodedFrameParser(uint32_t codecType) : codecType_(codecType) {}

void CodedFrameParser::Configure(const uint8_t* units, size_t size) { Parse(units, size); }

bool CodedFrameParser::IsSlice(const uint8_t* unit, const uint8_t* end) const {
    if (unit >= end) return false;
    return codecType_ == kCodecHevc ? IsHevcSlice(Format::HevcUnitType(unit[0]))
                                    : IsAvcSlice(Format::AvcUnitType(unit[0]));
}

CodedFrame CodedFrameParser::Parse(const uint8_t* payload, size_t size) {
    CodedFrame frame;
    if (payload == nullptr || (codecType_ != kCodecH264 && codecType_ != kCodecHevc)) return frame;
    int widest = kNoSlice;
    const uint8_t* end = payload + size;
    const uint8_t* codeStart = end;
    for (const uint8_t* unit = NextUnit(payload, end, codeStart); unit < end;) {
        // A slice's header lies in its first bytes: its end is looked for only there.
        const bool slice = IsSlice(unit, end);
        const uint8_t* searchEnd = slice ? unit + std::min<size_t>(size_t(end - unit), kSliceHeaderBytes + 3) : end;
        const uint8_t* next = NextUnit(unit, searchEnd, codeStart);
        ReadUnit(unit, size_t(codeStart - unit), frame, widest);
        // The first P or B slice decides, and so does an IDR or IRAP slice,
        // whose picture holds only I slices; the rest of the picture's bytes
        // are not searched. Only a picture of I slices so far (an intra
        // refresh may put them before the P slices) is read on.
        if (slice && (widest >= kPredicted || (widest != kNoSlice && frame.randomAccess))) break;
        if (next >= searchEnd && searchEnd < end) next = NextUnit(searchEnd - 2, end, codeStart);
        unit = next;
    }
    frame.codedType = kWidthLetter[widest];
    return frame;
}

void CodedFrameParser::ReadUnit(const uint8_t* unit, size_t size, CodedFrame& frame, int& widest) {
    try {
        if (codecType_ == kCodecHevc) {
            ReadHevcUnit(unit, size, frame, widest);
            return;
        }
        if (size < 1 || (unit[0] & 0x80) != 0) return;
        unsigned type = Format::AvcUnitType(unit[0]);
        if (type == kIdrSlice) frame.randomAccess = true;
        if (IsAvcSlice(type)) {
            int width = AvcSliceWidth(unit + 1, size - 1);
            if (width > widest) widest = width;
        }
    } catch (const std::runtime_error&) {
        // A header cut short or out of range: the unit gives nothing.
    }
}

void CodedFrameParser::ReadHevcUnit(const uint8_t* unit, size_t size, CodedFrame& frame, int& widest) {
    if (size < 2 || (unit[0] & 0x80) != 0) return;
    unsigned type = Format::HevcUnitType(unit[0]);
    unsigned layer = ((unit[0] & 1u) << 5) | (unit[1] >> 3);
    // Units of other layers name parameter sets of their own.
    if (layer != 0 || (unit[1] & 7) == 0) return;
    bool irap = type >= kFirstIrap && type <= kLastIrap;
    if (irap) frame.randomAccess = true;

    if (type == Format::HevcUnit::kSequenceSet || type == Format::HevcUnit::kPictureSet) {
        uint8_t body[kParameterSetBytes];
        size_t length = Unescape(unit + 2, size - 2, body, sizeof(body));
        BitReader bits(body, body + length);
        if (type == Format::HevcUnit::kPictureSet) {
            uint32_t id = ReadExpGolomb(bits);
            HevcPictureSet set;
            uint32_t sequenceSetId = ReadExpGolomb(bits);
            if (id >= pictureSets_.size() || sequenceSetId >= sequenceSets_.size()) return;
            set.sequenceSetId = uint8_t(sequenceSetId);
            set.dependentSliceSegments = bits.Read(1) != 0;
            bits.Read(1);  // output_flag_present_flag
            set.extraSliceHeaderBits = uint8_t(bits.Read(3));
            set.present = true;
            pictureSets_[id] = set;
            return;
        }
        bits.Read(4);  // sps_video_parameter_set_id
        unsigned subLayers = bits.Read(3);
        if (subLayers > 6) return;
        bits.Read(1);  // sps_temporal_id_nesting_flag
        ReadProfileTierLevel(bits, subLayers);
        uint32_t id = ReadExpGolomb(bits);
        if (id >= sequenceSets_.size()) return;
        uint32_t chromaFormat = ReadExpGolomb(bits);
        if (chromaFormat > 3) return;
        if (chromaFormat == 3) bits.Read(1);  // separate_colour_plane_flag
        uint64_t width = ReadExpGolomb(bits);
        uint64_t height = ReadExpGolomb(bits);
        if (bits.Read(1) != 0) {
            for (int edge = 0; edge < 4; ++edge) ReadExpGolomb(bits);  // conformance window
        }
        ReadExpGolomb(bits);  // bit_depth_luma_minus8
        ReadExpGolomb(bits);  // bit_depth_chroma_minus8
        ReadExpGolomb(bits);  // log2_max_pic_order_cnt_lsb_minus4
        bool orderingForEachSubLayer = bits.Read(1) != 0;
        for (unsigned i = orderingForEachSubLayer ? 0 : subLayers; i <= subLayers; ++i) {
            for (int field = 0; field < 3; ++field) ReadExpGolomb(bits);
        }
        uint64_t minBlockLog2 = uint64_t(ReadExpGolomb(bits)) + 3;
        uint64_t blockLog2 = minBlockLog2 + ReadExpGolomb(bits);
        if (width == 0 || height == 0 || blockLog2 < 4 || blockLog2 > 6) return;
        uint64_t block = uint64_t(1) << blockLog2;
        uint64_t blocks = ((width + block - 1) / block) * ((height + block - 1) / block);
        unsigned addressBits = CeilLog2(blocks);
        if (addressBits > 32) return;
        sequenceSets_[id] = HevcSequenceSet{true, uint8_t(addressBits)};
        return;
    }

    if (!IsHevcSlice(type)) return;
    uint8_t header[kSliceHeaderBytes];
    size_t length = Unescape(unit + 2, size - 2, header, sizeof(header));
    BitReader bits(header, header + length);
    bool firstInPicture = bits.Read(1) != 0;
    if (irap) bits.Read(1);  // no_output_of_prior_pics_flag
    uint32_t pictureSetId = ReadExpGolomb(bits);
    if (pictureSetId >= pictureSets_.size() || !pictureSets_[pictureSetId].present) return;
    const HevcPictureSet& pictureSet = pictureSets_[pictureSetId];
    if (!firstInPicture) {
        if (pictureSet.dependentSliceSegments && bits.Read(1) != 0) return;  // its type is its leader's
        const HevcSequenceSet& sequenceSet = sequenceSets_[pictureSet.sequenceSetId];
        if (!sequenceSet.present) return;
        if (sequenceSet.sliceAddressBits > 0) bits.Read(sequenceSet.sliceAddressBits);
    }
    if (pictureSet.extraSliceHeaderBits > 0) bits.Read(pictureSet.extraSliceHeaderBits);
    uint32_t sliceType = ReadExpGolomb(bits);
    if (sliceType > 2) return;
    if (kHevcSliceWidth[sliceType] > widest) widest = kHevcSliceWidth[sliceType];
}

PayloadCrc PayloadCrcWithoutParameterSets(const uint8_t* payload, size_t size, uint32_t codecType) {
    const bool hevc = codecType == kCodecHevc;
    if (payload == nullptr || (codecType != kCodecH264 && !hevc)) return {Crc32(payload, size), size};
    const uint8_t* end = payload + size;
    const uint8_t* codeStart = end;
    const uint8_t* unit = NextUnit(payload, end, codeStart);
    // Whatever comes before the first start code counts as it is.
    PayloadCrc result{Crc32(payload, size_t(codeStart - payload)), size_t(codeStart - payload)};
    const auto add = [&result](const uint8_t* from, const uint8_t* to) {
        result.crc = Crc32Update(result.crc, from, size_t(to - from));
        result.bytes += size_t(to - from);
    };
    while (unit < end) {
        const uint8_t* unitCode = codeStart;
        const unsigned type = hevc ? Format::HevcUnitType(unit[0]) : Format::AvcUnitType(unit[0]);
        const bool parameterSet = hevc
                                      ? type == Format::HevcUnit::kVideoSet || type == Format::HevcUnit::kSequenceSet ||
                                            type == Format::HevcUnit::kPictureSet
                                      : type == Format::AvcUnit::kSequenceSet || type == Format::AvcUnit::kPictureSet;
        if (hevc ? IsHevcSlice(type) : IsAvcSlice(type)) {
            add(unitCode, end);
            return result;
        }
        const uint8_t* next = NextUnit(unit, end, codeStart);
        if (!parameterSet) add(unitCode, codeStart);
        unit = next;
    }
    return result;
}

}  // namespace ZENT::SDK::Utility

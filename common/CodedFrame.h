// What a video frame is by its own bitstream, without decoding it: the coded
// type its slice headers give and whether it holds a picture a decoder can
// start from. Read from H.264 and HEVC payloads in start-code form.
#ifndef STAMPWALK_COMMON_CODEDFRAME_H
#define STAMPWALK_COMMON_CODEDFRAME_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace ZENT::SDK::Utility {

struct CodedFrame {
    // 'I', 'P' or 'B', the widest type of the picture's slices (SI counts as
    // I, SP as P), read up to the first P or B slice; 0 when no slice header
    // could be read.
    char codedType = 0;
    // An IDR slice (H.264) or an IRAP slice (HEVC) is present.
    bool randomAccess = false;
};

// Reads the frames of one track in order. HEVC slice headers need the
// track's picture and sequence parameter sets: they are taken from the
// decoder configuration given to Configure and from every frame that carries
// them, and kept from frame to frame. H.264 slice headers need none.
//
// Neither call throws, reads outside the bytes it is given or allocates;
// both take time linear in the size, and a frame's reading ends at its first
// P, B, IDR or IRAP slice header. Bytes that do not make a slice header
// give no type, and parameter sets that cannot be read are not kept.
class CodedFrameParser {
public:
    // codecType is kCodecH264 or kCodecHevc of isom/AVReader.h; any other
    // codec gives empty frames.
    explicit CodedFrameParser(uint32_t codecType);

    // Units of the decoder configuration, each behind a start code.
    void Configure(const uint8_t* units, size_t size);

    // One frame's payload: its units, each behind a start code.
    CodedFrame Parse(const uint8_t* payload, size_t size);

    // What an HEVC slice header needs of a picture parameter set and of the
    // sequence parameter set it names.
    struct HevcPictureSet {
        bool present = false;
        uint8_t sequenceSetId = 0;
        bool dependentSliceSegments = false;
        uint8_t extraSliceHeaderBits = 0;
    };
    struct HevcSequenceSet {
        bool present = false;
        uint8_t sliceAddressBits = 0;  // Ceil(Log2(PicSizeInCtbsY))
    };

private:
    bool IsSlice(const uint8_t* unit, const uint8_t* end) const;
    void ReadUnit(const uint8_t* unit, size_t size, CodedFrame& frame, int& widest);
    void ReadHevcUnit(const uint8_t* unit, size_t size, CodedFrame& frame, int& widest);

    uint32_t codecType_;
    std::array<HevcPictureSet, 64> pictureSets_{};
    std::array<HevcSequenceSet, 16> sequenceSets_{};
};

// The CRC-32 of an H.264 or HEVC payload in start-code form without the
// parameter-set units before its first slice (H.264 SPS and PPS; HEVC VPS,
// SPS and PPS), each with its start code: the same value whether a reader put
// the track's sets before a key frame or the frame came without them. Other
// codecs: the CRC of the whole payload. Reads only the units before the first
// slice one by one; the rest in one go.
struct PayloadCrc {
    uint32_t crc = 0;
    size_t bytes = 0;  // how many bytes it covers
};
PayloadCrc PayloadCrcWithoutParameterSets(const uint8_t* payload, size_t size, uint32_t codecType);

}  // namespace ZENT::SDK::Utility

#endif

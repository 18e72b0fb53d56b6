// Sample entries (the children of "stsd") with their codec configuration
// and protection boxes.
#ifndef STAMPWALK_WRITER_SAMPLEENTRIES_H
#define STAMPWALK_WRITER_SAMPLEENTRIES_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "writer/BoxBuilder.h"

namespace writer {

// MIME type and content encoding of the camera's metadata tracks.
inline constexpr std::string_view kMetjMimeType = "text/vnd.norvate.metj";
inline constexpr std::string_view kDeflateEncoding = "application/vnd.norvate.deflate";

// ---- generic entries -----------------------------------------------------

// 6 reserved bytes, data_reference_index, the visual fields (72 dpi, one
// frame per sample, depth 24), no children yet.
Box VisualSampleEntry(std::string_view type, uint16_t width, uint16_t height, uint16_t dataReferenceIndex = 1);

struct AudioFields {
    uint16_t channelCount = 1;
    uint16_t sampleSize = 16;
    uint32_t sampleRate = 8000;  // Hz, written as 16.16
    uint16_t dataReferenceIndex = 1;
};
Box AudioSampleEntry(std::string_view type, const AudioFields& fields);

// A box whose payload is given whole ("729a", "d722", "m4ds", ...).
Box RawBox(std::string_view type, const Bytes& payload);

Box Btrt(uint32_t bufferSizeDB, uint32_t maxBitrate, uint32_t avgBitrate);

// ---- AVC -----------------------------------------------------------------

// An avcC payload: version 1, profile, compatibility and level from the
// first SPS (bytes 1 to 3; 0 when there is none), 0xFC | (lengthSize - 1),
// 0xE0 | SPS count, the SPS, the PPS count, the PPS.
Bytes AvcCPayload(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, unsigned lengthSize = 4);
Box AvcC(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, unsigned lengthSize = 4);
Box Avc1(uint16_t width, uint16_t height, const std::vector<Bytes>& sps, const std::vector<Bytes>& pps,
         unsigned lengthSize = 4, const std::vector<Box>& moreChildren = {});

// Parameter sets that real decoders accept: Baseline profile, level 3.0,
// width and height multiples of 16, one reference frame, no VUI. With the
// NAL header byte (0x67, 0x68).
Bytes MinimalAvcSps(uint16_t width, uint16_t height);
Bytes MinimalAvcPps();

// ---- HEVC ----------------------------------------------------------------

struct HevcNalArray {
    uint8_t nalUnitType = 0;  // 32 VPS, 33 SPS, 34 PPS, 39 prefix SEI
    std::vector<Bytes> units;
    bool complete = true;
};
// 22 header bytes (byte 21 carries lengthSize - 1), the array count, the
// arrays.
Bytes HvcCPayload(const std::vector<HevcNalArray>& arrays, unsigned lengthSize = 4);
Box HvcC(const std::vector<HevcNalArray>& arrays, unsigned lengthSize = 4);
// type is "hvc1" or "hev1".
Box Hvc1(uint16_t width, uint16_t height, const std::vector<HevcNalArray>& arrays, unsigned lengthSize = 4,
         std::string_view type = "hvc1");

// ---- MPEG-4 elementary stream descriptor ---------------------------------

struct EsdsFields {
    uint8_t objectTypeIndication = 0x40;  // 0x40 AAC, 0x20 MPEG-4 visual, 0x6C JPEG
    uint8_t streamType = 5;               // 4 visual, 5 audio; written as (type << 2) | 1
    Bytes decoderSpecificInfo;            // no DecoderSpecificInfo descriptor when empty
    uint16_t esId = 1;
    uint32_t bufferSizeDB = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
    // Bytes per descriptor length: 1 (lengths below 128), or 2 to 4 with
    // 0x80 continuation bytes; ffmpeg 5.1 writes 4 (80 80 80 xx).
    unsigned lengthSize = 1;
    bool slConfig = true;  // SLConfigDescriptor (tag 6, predefined 2)
};
// A descriptor length in lengthSize bytes, 7 bits each, most significant first.
Bytes DescriptorLength(uint32_t length, unsigned lengthSize);
Box Esds(const EsdsFields& fields);

// AudioSpecificConfig of 2 bytes: object type (2 = AAC LC), sampling
// frequency index of sampleRate (std::invalid_argument for a rate without
// one), channel configuration, frameLengthFlag for 960-sample frames.
Bytes AacAudioSpecificConfig(uint8_t objectType, uint32_t sampleRate, uint8_t channels, bool frame960 = false);

Box Mp4v(uint16_t width, uint16_t height, uint8_t objectTypeIndication = 0x20, const Bytes& decoderSpecificInfo = {},
         unsigned descriptorLengthSize = 1);
Box Mp4a(const AudioFields& fields, const Bytes& audioSpecificConfig, unsigned descriptorLengthSize = 1);

// ---- other audio ---------------------------------------------------------

struct DamrFields {
    std::string_view vendor = "FFMP";
    uint8_t decoderVersion = 0;
    uint16_t modeSet = 0x81FF;
    uint8_t modeChangePeriod = 0;
    uint8_t framesPerSample = 1;
};
Box Damr(const DamrFields& fields = {});
Box Samr(const AudioFields& fields = {}, const DamrFields& damr = {});

// G.711, G.726, G.722 and G.729 entries; children such as RawBox("729a", ...)
// or RawBox("d722", ...) are appended after the audio fields.
Box Ulaw(const AudioFields& fields = {}, const std::vector<Box>& children = {});
Box Alaw(const AudioFields& fields = {}, const std::vector<Box>& children = {});
Box G726(const AudioFields& fields = {1, 4, 8000}, const std::vector<Box>& children = {});
Box G722(const AudioFields& fields = {1, 16, 16000}, const std::vector<Box>& children = {});
Box G729(const AudioFields& fields = {}, const std::vector<Box>& children = {});

// ---- H.263 ---------------------------------------------------------------

// s263 with a d263 child (vendor, version 0, level 10, profile 0).
Box S263(uint16_t width, uint16_t height);

// ---- timed metadata ------------------------------------------------------

// 6 reserved bytes, data_reference_index, content_encoding and mime_format
// (each zero-terminated), then the further boxes.
Box Mett(std::string_view contentEncoding, std::string_view mimeFormat, const std::vector<Box>& moreBoxes = {});
// The plain camera metadata entry: empty encoding, kMetjMimeType.
Box MettPlain();
// The compressed camera metadata entry, with a "txtC" holding the
// deflate-compressed dictionary when one is given.
Box MettDeflate(const Bytes& compressedDictionary = {});
// Full box "txtC" (version 0, flags 0) with the given payload.
Box Txtc(const Bytes& payload);
Box Metx(std::string_view contentEncoding, std::string_view nameSpace, std::string_view schemaLocation = "");

// ---- protection ----------------------------------------------------------

struct TencFields {
    uint8_t version = 0;
    uint8_t defaultIsProtected = 1;
    uint8_t defaultPerSampleIvSize = 8;
    Bytes defaultKeyId = Bytes(16, 0);  // 16 bytes
    Bytes constantIv;                   // written only when the IV size is 0
};
Box Frma(std::string_view dataFormat);
Box Schm(std::string_view schemeType = "cenc", uint32_t schemeVersion = 0x00010000);
Box Tenc(const TencFields& fields);
Box Sinf(std::string_view originalFormat, const TencFields& tenc, std::string_view schemeType = "cenc");
// The entry renamed to protectedType ("encv" or "enca") with a sinf whose
// frma names the entry's original type appended.
Box Protect(Box entry, std::string_view protectedType, const TencFields& tenc, std::string_view schemeType = "cenc");

}  // namespace writer

#endif

// One table of codec facts, one row per codec: its code, printed name and
// kind, the keys that lead to it (sample-entry types, the tag of a recording
// in progress, frame-information header codes) and what the readers do with
// its samples and configuration.
#ifndef STAMPWALK_COMMON_CODECTABLES_H
#define STAMPWALK_COMMON_CODECTABLES_H

#include <cstdint>

#include "format/FourCC.h"
#include "isom/AVReader.h"

namespace ZENT::SDK::Utility {

// The table's keys are spelled as four-character codes.
using Format::FourCC;
using Format::FourCCLittle;

enum class CodecKind : uint8_t { kVideo, kAudio, kMetadata, kOther };

// The configuration a track hands out as its decoder configuration, and for
// codecs of NAL units the syntax of their parameter sets and units.
enum class DecoderConfig : uint8_t {
    kGeneric,  // "esds" decoder-specific information, "729a"/"729b"/"d722", a metadata entry's rest
    kAvc,      // "avcC"; in a recording in progress, the configuration area of the chunk
    kHevc,     // "hvcC"; likewise
    kAmr,      // "damr"
};

struct CodecEntry {
    uint32_t codecType;
    const char* name;  // printed by the frame report; nullptr prints "????"
    CodecKind kind;
    // Sample-entry types that map to it by their type alone; 0 fills. "mp4v"
    // maps by objectType, "mett" by the form of its metadata.
    uint32_t sampleEntries[2];
    uint8_t objectType;             // objectTypeIndication of an "mp4v" entry; 0 when none
    uint32_t trackFourCC;           // GetTrackFourCC (first character least significant); 0 when none
    uint32_t recordingTag;          // codec tag of a recording in progress, same byte order; 0 when none
    uint32_t headerCode;            // frame-information header code, written and recognised; 0 when none
    uint32_t recognisedHeaderCode;  // a further code the parser recognises but no one writes; 0 when none
    DecoderConfig decoderConfig;
    bool nalUnits;    // samples are length-prefixed NAL units, handed out with start codes
    bool longHeader;  // a built frame-information header has an 8-byte extension, not 4
    // What a parsed header of the codec sets without saying it: the sample
    // rate and channel count (0 when not), before the audio extension, or
    // after it when rateOverridesHeader.
    uint32_t sampleRate;
    uint8_t channels;
    bool rateOverridesHeader;
};

// Every codec type the system knows, in bit order.
inline constexpr CodecEntry kCodecTable[] = {
    // clang-format off
    // code            name     kind                  sample entries                    OTI   GetTrackFourCC        recording tag         header code     recognised      configuration            NAL    long   rate   ch after
    {kCodecJpeg,       "JPEG",  CodecKind::kVideo,    {},                               0x6C, FourCCLittle("JPEG"), FourCCLittle("JPEG"), FourCC("jpeg"), 0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecH263,       "H263",  CodecKind::kVideo,    {FourCC("s263")},                 0,    FourCCLittle("H263"), FourCCLittle("H263"), FourCC("h263"), 0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecMp4v,       "MP4V",  CodecKind::kVideo,    {},                               0x20, FourCCLittle("MP4V"), FourCCLittle("MP4V"), FourCC("mp4v"), 0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecH264,       "H264",  CodecKind::kVideo,    {FourCC("avc1")},                 0,    FourCCLittle("H264"), FourCCLittle("H264"), FourCC("h264"), 0,              DecoderConfig::kAvc,     true,  false, 0,     0, false},
    {kCodecHevc,       "HEVC",  CodecKind::kVideo,    {FourCC("hvc1"), FourCC("hev1")}, 0,    FourCCLittle("HEVC"), FourCCLittle("HEVC"), FourCC("h265"), 0,              DecoderConfig::kHevc,    true,  false, 0,     0, false},
    {kCodecDummyVideo, nullptr, CodecKind::kVideo,    {},                               0,    0,                    0,                    0,              FourCC("DMYV"), DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecG7221,      "G722",  CodecKind::kAudio,    {FourCC("g722")},                 0,    FourCCLittle("G722"), FourCCLittle("G722"), FourCC("7221"), 0,              DecoderConfig::kGeneric, false, false, 16000, 1, false},
    {kCodecG729,       "G729",  CodecKind::kAudio,    {FourCC("g729")},                 0,    FourCCLittle("G729"), FourCCLittle("G729"), FourCC("729A"), 0,              DecoderConfig::kGeneric, false, false, 8000,  1, false},
    {kCodecAac,        "AAC4",  CodecKind::kAudio,    {FourCC("mp4a")},                 0,    FourCCLittle("AAC4"), FourCCLittle("AAC4"), FourCC("aac "), 0,              DecoderConfig::kGeneric, false, true,  0,     0, false},
    {kCodecGamr,       nullptr, CodecKind::kAudio,    {},                               0,    0,                    0,                    0,              FourCC("GAMR"), DecoderConfig::kGeneric, false, false, 8000,  1, true},
    // Named "GAMR" although its header code is "SAMR".
    {kCodecSamr,       "GAMR",  CodecKind::kAudio,    {FourCC("samr")},                 0,    FourCCLittle("GAMR"), FourCCLittle("GAMR"), FourCC("SAMR"), 0,              DecoderConfig::kAmr,     false, true,  8000,  1, true},
    // A recording in progress tags both G.711 laws "G711".
    {kCodecUlaw,       "ULAW",  CodecKind::kAudio,    {FourCC("ulaw")},                 0,    FourCCLittle("ULAW"), 0,                    FourCC("PCMU"), FourCC("G711"), DecoderConfig::kGeneric, false, true,  8000,  1, false},
    {kCodecAlaw,       "ALAW",  CodecKind::kAudio,    {FourCC("alaw")},                 0,    FourCCLittle("ALAW"), 0,                    FourCC("PCMA"), 0,              DecoderConfig::kGeneric, false, true,  8000,  1, false},
    {kCodecG726,       "G726",  CodecKind::kAudio,    {FourCC("g726")},                 0,    FourCCLittle("G726"), FourCCLittle("G726"), FourCC("G726"), 0,              DecoderConfig::kGeneric, false, true,  8000,  1, false},
    {kCodecDummyAudio, nullptr, CodecKind::kAudio,    {},                               0,    0,                    0,                    0,              FourCC("DMYA"), DecoderConfig::kGeneric, false, false, 8000,  1, false},
    {kCodecIva1,       "IVA1",  CodecKind::kOther,    {},                               0,    0,                    0,                    0,              0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecMetx,       "METX",  CodecKind::kMetadata, {FourCC("metx")},                 0,    FourCCLittle("METX"), 0,                    FourCC("metx"), 0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    {kCodecMetj,       "METJ",  CodecKind::kMetadata, {},                               0,    FourCCLittle("METJ"), FourCCLittle("METJ"), FourCC("metj"), 0,              DecoderConfig::kGeneric, false, false, 0,     0, false},
    // clang-format on
};

// The first row that matches; nullptr when none does.
template <typename Matches>
constexpr const CodecEntry* FindCodecWhere(Matches matches) {
    for (const CodecEntry& entry : kCodecTable)
        if (matches(entry)) return &entry;
    return nullptr;
}

// The lookups give nullptr for a key no row has; 0 is never a key.

constexpr const CodecEntry* FindCodec(uint32_t codecType) {
    return FindCodecWhere([codecType](const CodecEntry& e) { return e.codecType == codecType; });
}

// By a sample-entry type that maps by its type alone ("avc1", "hev1", ...).
constexpr const CodecEntry* FindCodecBySampleEntry(uint32_t type) {
    return type == 0 ? nullptr : FindCodecWhere([type](const CodecEntry& e) {
        return e.sampleEntries[0] == type || e.sampleEntries[1] == type;
    });
}

// By the objectTypeIndication of an "mp4v" entry's stream descriptor.
constexpr const CodecEntry* FindCodecByObjectType(uint8_t objectType) {
    return objectType == 0 ? nullptr
                           : FindCodecWhere([objectType](const CodecEntry& e) { return e.objectType == objectType; });
}

// By the codec tag of a recording in progress.
constexpr const CodecEntry* FindCodecByTag(uint32_t tag) {
    return tag == 0 ? nullptr : FindCodecWhere([tag](const CodecEntry& e) { return e.recordingTag == tag; });
}

// By the codec field of a frame-information header.
constexpr const CodecEntry* FindCodecByHeaderCode(uint32_t code) {
    return code == 0 ? nullptr : FindCodecWhere([code](const CodecEntry& e) {
        return e.headerCode == code || e.recognisedHeaderCode == code;
    });
}

// "????" for any value without a name.
constexpr const char* CodecName(uint32_t codecType) {
    const CodecEntry* entry = FindCodec(codecType);
    return entry && entry->name ? entry->name : "????";
}

}  // namespace ZENT::SDK::Utility

#endif

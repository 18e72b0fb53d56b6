// One table of codec facts: codec type, printed name, sample-entry type,
// frame-header codec code and the four characters the reader reports.
#ifndef STAMPWALK_COMMON_CODECTABLES_H
#define STAMPWALK_COMMON_CODECTABLES_H

#include <cstdint>

#include "format/FourCC.h"

namespace ZENT::SDK::Utility {

using Format::FourCC;
using Format::FourCCLittle;

struct CodecEntry {
    uint32_t codecType;
    const char* name;        // printed by the frame report; nullptr prints "????"
    uint32_t sampleEntry;    // sample-entry type mapping to it directly; 0 when none or conditional
    uint32_t headerCode;     // codec code written into a built frame-information header; 0 when none
    uint32_t trackFourCC;    // GetTrackFourCC (first character least significant); 0 when none
};

// Every codec type the system knows, in bit order.
extern const CodecEntry kCodecTable[];
extern const unsigned kCodecTableSize;

const CodecEntry* FindCodec(uint32_t codecType);

// "????" for any value without a name.
const char* CodecName(uint32_t codecType);

// GetTrackFourCC for a codec type; 0 when it has none.
uint32_t CodecTrackFourCC(uint32_t codecType);

// Header code of a built frame-information record; 0 when none.
uint32_t CodecHeaderCode(uint32_t codecType);

// Codec type of a sample-entry type that maps by its type alone ("avc1",
// "samr", ...); 0 for "mp4v" and "mett", which need their configuration, and
// for unknown types.
uint32_t CodecTypeFromSampleEntry(uint32_t entryType);

// Video codecs are the types below 0x100 (0x1 to 0x10 and 0xFF).
constexpr bool IsVideoCodec(uint32_t codecType) { return codecType != 0 && codecType < 0x100; }

}  // namespace ZENT::SDK::Utility

#endif

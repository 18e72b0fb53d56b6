// The frame-information record the reader builds for a track that has no
// companion track: codec code, frame type, a UTC time from the track's
// creation time and the sample's place on the timeline, and the audio
// frame information.
#ifndef STAMPWALK_ISOM_FRAMEINFOSYNTHESIS_H
#define STAMPWALK_ISOM_FRAMEINFOSYNTHESIS_H

#include <cstddef>
#include <cstdint>

#include "common/CodecTables.h"
#include "isom/MovieRecord.h"
#include "isom/SampleIndex.h"

namespace ZENT::SDK::Pelagor2 {

// Room a built record needs: 16 bytes before the media header, and a header
// of at most 28 bytes.
constexpr size_t kSynthesizedRecordCapacity = 44;

// Fills record (at least kSynthesizedRecordCapacity bytes) for sample j of a
// track of the given codec, whose payload (after inflation) has the given
// length and first byte. Returns the record's length (16 + H).
size_t SynthesizeFrameInfo(const Utility::CodecEntry& codec, const TrackRecord& track, const TrackTimeline& timeline,
                           uint32_t j, uint8_t firstPayloadByte, uint32_t length, uint8_t* record);

// Milliseconds of a timeline position, rounded to the nearest; negative and
// NaN positions give 0, positions past 2^64 ms saturate.
uint64_t TimelineMilliseconds(double startOffset, double sampleTime);

}  // namespace ZENT::SDK::Pelagor2

#endif

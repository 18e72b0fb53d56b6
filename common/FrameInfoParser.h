// The camera's per-frame media header: decoding it into the packet record,
// and collecting the motion-trigger records it may carry.
#ifndef STAMPWALK_COMMON_FRAMEINFOPARSER_H
#define STAMPWALK_COMMON_FRAMEINFOPARSER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/FrameInfoRecord.h"
#include "isom/AVReader.h"

namespace ZENT::SDK::Utility {

// Smallest media header: length, codec code, type byte, flags, time, E.
using Format::kMediaHeaderFixedSize;

// The header's own length, 20 + 4 * E, after checking that headerLength
// bytes hold at least the fixed part and the whole extension area; throws
// std::runtime_error otherwise.
uint32_t CheckedMediaHeaderSize(const uint8_t* header, size_t headerLength);

// Fills the header fields of a zero-filled packet record from the media
// header at packet->frameData, of which headerLength bytes may be read.
// Throws std::runtime_error when the header does not fit headerLength or its
// length word is shorter than the header, and "end of stream" when a field
// or item runs past the extension area; fields set before that stay set.
void ParseFrameHeader(TMediaPacket* packet, size_t headerLength);

// The same for a header known to be whole (20 + 4 * E bytes readable).
void ParseFrameHeader(TMediaPacket* packet);

// The motion-trigger records of a video header with tagged items, in order;
// empty for any other header. The list belongs to the calling thread and is
// emptied and refilled by its next call. Throws like ParseFrameHeader.
const std::vector<TMotionTriggerInfoEx>& CollectMotionTriggers(const uint8_t* header, size_t headerLength);

}  // namespace ZENT::SDK::Utility

#endif

// The timestamp a frame line prints, and where it comes from: the packet's
// user-data block (record and stream time) or its own fields (camera time).
#ifndef STAMPWALK_APP_FRAMETIME_H
#define STAMPWALK_APP_FRAMETIME_H

#include <cstdint>
#include <vector>

#include "isom/AVReader.h"

enum : int32_t { kRecordTime = 1, kStreamTime = 2, kCameraTime = 3 };

struct FrameTime {
    uint32_t seconds;
    uint32_t milliseconds;
    uint16_t word1;  // printed signed by the media-reader run, unsigned by the fallback run
    uint16_t word2;
};

// Appends the first record-time (type 1) or stream-time (type 2) element of
// the packet's user-data block. Appends nothing for other time types, for a
// packet without a block, for an invalid length and for an element cut off
// by the block's end; never reads outside userData .. userData + userDataSize.
void ExtractFrameTime(const TMediaPacket& packet, int32_t timeType, std::vector<FrameTime>& frameTimes);

// Camera time from the packet's own fields; only the low 16 bits of the two
// zone fields travel. The media-reader run passes seconds, the fallback run localSeconds.
FrameTime CameraFrameTime(const TMediaPacket& packet, uint32_t seconds);

// The time step of both runs: the array is emptied, then camera time (from
// cameraSeconds) or the user-data time of the type is appended, if any.
void CollectFrameTime(const TMediaPacket& packet, int32_t timeType, uint32_t cameraSeconds,
                      std::vector<FrameTime>& frameTimes);

#endif

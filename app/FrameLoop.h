// The frame loop of the media-reader run.
#ifndef STAMPWALK_APP_FRAMELOOP_H
#define STAMPWALK_APP_FRAMELOOP_H

#include <cstdint>
#include <ostream>

#include "isom/AVReader.h"

// Seeks to the start and reports packets until ReadPacket returns anything
// but 0, delivers no packet, or the running-minimum test ends the run. Every
// such end is silent, and a packet delivered with a non-zero status (a
// flagged packet) is not reported.
void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream& out);

#endif

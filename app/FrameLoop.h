// The frame loop of the media-reader run.
#ifndef STAMPWALK_APP_FRAMELOOP_H
#define STAMPWALK_APP_FRAMELOOP_H

#include <cstdint>
#include <functional>
#include <ostream>

#include "isom/AVReader.h"

// Seeks to the start and reports packets until ReadPacket returns anything
// but 0, delivers no packet, or the running-minimum test ends the run. Every
// such end is silent, and a packet delivered with a non-zero status (a
// flagged packet) is not reported.
void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream& out);

// Called for every reported packet with the status it was handed out with.
using PacketObserver = std::function<void(const TMediaPacket& packet, int32_t status)>;

// The loop of a checking run: lines go to out unless it is null, every
// reported packet to the observer, and with integrityStatuses the two
// statuses of the integrity test (no value, mismatch) report their packet
// and go on instead of ending the run.
void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream* out, const PacketObserver& observer,
                  bool integrityStatuses);

#endif

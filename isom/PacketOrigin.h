/*
 * Where the media reader's last packet came from: its track in the reader's
 * track list, its sample in that track, the stored key flag and the times the
 * container gives for it. A companion of AVReader for callers that check a
 * recording rather than play it.
 */
#ifndef STAMPWALK_ISOM_PACKETORIGIN_H
#define STAMPWALK_ISOM_PACKETORIGIN_H

#include <stdint.h>

#include "isom/AVReader.h"

#ifdef __cplusplus
struct TPacketOrigin {
    uint32_t track;  /* index in the reader's track list, as GetTrackCount counts */
    uint32_t sample; /* 0-based sample number within the track */
    uint32_t sync;   /* 1 when the sample table marks the sample as a sync sample */
    uint32_t timed;  /* 1 when the times below are set */
    uint32_t timescale;
    int64_t decodeTime;       /* in timescale ticks from the track's media time 0 */
    int64_t presentationTime; /* decode time plus the composition offset */
    int64_t duration;         /* up to the next sample's decode time */
};

/* The origin of the packet the last ReadPacket or ReadPacketBackward handed
 * out. 0 on success; kInvalidArgument for a null argument, a reader of
 * another kind, or before the first packet. */
int32_t AVReaderGetPacketOrigin(AVReader* reader, TPacketOrigin* origin);
#endif

#endif

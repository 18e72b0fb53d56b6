/*
 * The packet record's layout on LP64 targets, worked out from its fields:
 * each at the next multiple of its alignment (pointers 8, 32-bit values 4,
 * 16-bit values 2). The C test and a C++ test both check the record against
 * it, so the two languages see one record.
 */
#ifndef STAMPWALK_TESTS_VIEWWHILERECORDING_PACKETLAYOUT_H
#define STAMPWALK_TESTS_VIEWWHILERECORDING_PACKETLAYOUT_H

#include <stddef.h>

#include "isom/AVReader.h"

#if defined(__LP64__)

#ifdef __cplusplus
#define LAYOUT_ASSERT(condition, what) static_assert(condition, what)
#else
#define LAYOUT_ASSERT(condition, what) _Static_assert(condition, what)
#endif
#define FIELD_AT(record, field, offset) LAYOUT_ASSERT(offsetof(record, field) == (offset), #record "." #field)

LAYOUT_ASSERT(sizeof(TMediaPacketReleaseOps) == 16, "TMediaPacketReleaseOps");
FIELD_AT(TMediaPacketReleaseOps, release, 8);

LAYOUT_ASSERT(sizeof(TMotionTriggerInfoEx) == 32, "TMotionTriggerInfoEx");
FIELD_AT(TMotionTriggerInfoEx, valid, 4);
FIELD_AT(TMotionTriggerInfoEx, flag, 8);
FIELD_AT(TMotionTriggerInfoEx, value, 12);
FIELD_AT(TMotionTriggerInfoEx, values, 14);

LAYOUT_ASSERT(sizeof(TMediaPacket) == 232, "TMediaPacket");
FIELD_AT(TMediaPacket, frameData, 0);
FIELD_AT(TMediaPacket, headerSize, 8);
FIELD_AT(TMediaPacket, payloadSize, 12);
FIELD_AT(TMediaPacket, codecType, 16);
FIELD_AT(TMediaPacket, frameCount, 20);
FIELD_AT(TMediaPacket, frameType, 24);
FIELD_AT(TMediaPacket, seconds, 28);
FIELD_AT(TMediaPacket, milliseconds, 32);
FIELD_AT(TMediaPacket, uniformFrameSize, 36);
FIELD_AT(TMediaPacket, sampleRate, 40);
FIELD_AT(TMediaPacket, channels, 44);
FIELD_AT(TMediaPacket, diAlert, 48); /* after 3 bytes of padding */
FIELD_AT(TMediaPacket, eventFlags, 52);
FIELD_AT(TMediaPacket, motionWindowEnabled, 56);
FIELD_AT(TMediaPacket, motionWindowAlert, 68);
FIELD_AT(TMediaPacket, motionLevel, 80);
/* The union takes 24 bytes at 84: twelve 16-bit values, or a 32-bit value and a byte. */
FIELD_AT(TMediaPacket, motionWindowRect, 84);
FIELD_AT(TMediaPacket, audio.audioOptionalValue, 84);
FIELD_AT(TMediaPacket, audio.audioFlag, 88);
FIELD_AT(TMediaPacket, hasFrameInfo, 108);
FIELD_AT(TMediaPacket, headerFlag20, 112);
FIELD_AT(TMediaPacket, motionExtraFlag, 116);
FIELD_AT(TMediaPacket, userData, 120);
FIELD_AT(TMediaPacket, userDataSize, 128);
FIELD_AT(TMediaPacket, userDataOffset, 132);
FIELD_AT(TMediaPacket, releaseOps, 136);
FIELD_AT(TMediaPacket, width, 144);
FIELD_AT(TMediaPacket, height, 148);
FIELD_AT(TMediaPacket, hasTimeZone, 152);
FIELD_AT(TMediaPacket, daylightSaving, 156);
FIELD_AT(TMediaPacket, timeZoneOffset, 160);
FIELD_AT(TMediaPacket, localSeconds, 164);
FIELD_AT(TMediaPacket, tag224Value, 168);
FIELD_AT(TMediaPacket, hasTag16, 172);
FIELD_AT(TMediaPacket, tag16Values, 176);
FIELD_AT(TMediaPacket, tag24Value, 188);
FIELD_AT(TMediaPacket, motionInfo, 192);
FIELD_AT(TMediaPacket, headerExtData, 200);
FIELD_AT(TMediaPacket, headerExtSize, 208);
FIELD_AT(TMediaPacket, tag227Flag, 212);
FIELD_AT(TMediaPacket, triggerInfoCount, 216);
FIELD_AT(TMediaPacket, triggerInfo, 224); /* after 7 bytes of padding */

#undef FIELD_AT
#undef LAYOUT_ASSERT

#endif

#endif

/*
 * The media reader's public interface: the open functions, the abstract reader
 * AVReader, and the packet record TMediaPacket that both readers hand out.
 * Header only; C-style types, usable from C++ callers of either reader. A C
 * compiler sees the constants and the packet record, which the reader of
 * recordings in progress hands out through its C functions.
 */
#ifndef STAMPWALK_ISOM_AVREADER_H
#define STAMPWALK_ISOM_AVREADER_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/* The constants have fixed types in C++; in C they are ints. */
#ifdef __cplusplus
#define STAMPWALK_ENUM(type) enum : type
#else
#define STAMPWALK_ENUM(type) enum
#endif

/* clang-format off */
/* Status values of the reader operations (signed 32-bit). */
STAMPWALK_ENUM(int32_t) {
    kReaderOk = 0,
    kEndOfStream = 0x6001,
    kNoCheckValue = 0x6002,
    kCheckMismatch = 0x6003,
    kPacketMissing = (int32_t)0x8043F102,
    kPacketNoUserData = (int32_t)0x8043F103,
    kPacketNoFrameData = (int32_t)0x8043F104,
    kInvalidArgument = (int32_t)0x80000003,
    kReaderException = -1,
};

/* Codec type values: one bit (or one small number) per codec. */
STAMPWALK_ENUM(uint32_t) {
    kCodecJpeg = 0x1,
    kCodecH263 = 0x2,
    kCodecMp4v = 0x4,
    kCodecH264 = 0x8,
    kCodecHevc = 0x10,
    kCodecDummyVideo = 0xFF,
    kCodecG7221 = 0x100,
    kCodecG729 = 0x200,
    kCodecAac = 0x400,
    kCodecGamr = 0x800,
    kCodecSamr = 0x1000,
    kCodecUlaw = 0x2000,
    kCodecAlaw = 0x4000,
    kCodecG726 = 0x8000,
    kCodecDummyAudio = 0xFF00,
    kCodecIva1 = 0x10000,
    kCodecMetx = 0x20000,
    kCodecMetj = 0x40000,
};

/* Frame type codes. */
STAMPWALK_ENUM(int32_t) { kFrameIntra = 0, kFramePredicted = 1, kFrameBidirectional = 2 };

/* Media type bits, OR-ed over the listed tracks. */
STAMPWALK_ENUM(uint32_t) { kMediaAudio = 1, kMediaVideo = 2, kMediaMetadata = 8 };
/* clang-format on */

struct TMediaPacket;
#ifndef __cplusplus
typedef struct TMediaPacket TMediaPacket;
typedef struct TMediaPacketReleaseOps TMediaPacketReleaseOps;
typedef struct TMotionTriggerInfoEx TMotionTriggerInfoEx;
#endif

/* Reference counting of a packet block: entry 0 adds a reference, entry 1
 * drops one and frees the block with the last. */
typedef void (*TMediaPacketRefFunction)(TMediaPacket* packet);
struct TMediaPacketReleaseOps {
    TMediaPacketRefFunction addRef;
    TMediaPacketRefFunction release;
};

/* One motion-trigger record carried by a video frame (32 bytes). */
struct TMotionTriggerInfoEx {
    uint8_t identifier;
    uint32_t valid; /* always 1 */
    uint32_t flag;
    uint8_t value;
    uint16_t values[8];
};

/* The packet record. Every field not set for a packet is zero. */
struct TMediaPacket {
    uint8_t* frameData;  /* frame-information header, then the payload */
    uint32_t headerSize; /* 20 + 4 * extension words */
    uint32_t payloadSize;
    uint32_t codecType;
    uint32_t frameCount;
    int32_t frameType;
    uint32_t seconds;
    uint32_t milliseconds;
    uint32_t uniformFrameSize;
    uint32_t sampleRate;
    uint8_t channels;
    uint32_t diAlert;
    uint32_t eventFlags;
    uint32_t motionWindowEnabled[3];
    uint32_t motionWindowAlert[3];
    uint8_t motionLevel[3];
    union {
        uint16_t motionWindowRect[3][4];
        struct {
            uint32_t audioOptionalValue; /* 24-bit value of the audio information */
            uint8_t audioFlag;
        } audio;
    };
    uint32_t hasFrameInfo;
    uint32_t headerFlag20;
    uint32_t motionExtraFlag;
    uint8_t* userData;     /* user-data block: big-endian length word, then items */
    uint32_t userDataSize; /* including the length word */
    int32_t userDataOffset;
    const TMediaPacketReleaseOps* releaseOps;
    uint32_t width;
    uint32_t height;
    uint32_t hasTimeZone;
    int32_t daylightSaving;
    int32_t timeZoneOffset;
    int32_t localSeconds;
    uint32_t tag224Value;
    uint32_t hasTag16;
    uint16_t tag16Values[6];
    uint32_t tag24Value;
    void* motionInfo;
    uint8_t* headerExtData;
    uint32_t headerExtSize;
    uint32_t tag227Flag;
    uint8_t triggerInfoCount;
    TMotionTriggerInfoEx* triggerInfo;
};

#ifdef __cplusplus
/* The media reader. Track i is the entry at index i of the reader's track
 * list; i must be below GetTrackCount(). Destroy with Release, never delete. */
struct AVReader {
    virtual void Release() = 0;                                                                  /* 0 */
    virtual uint32_t GetMediaType() = 0;                                                         /* 1 */
    virtual uint32_t GetCreationTime() = 0;                                                      /* 2 */
    virtual uint32_t GetDuration() = 0;                                                          /* 3 */
    virtual uint32_t GetTrackCount() = 0;                                                        /* 4 */
    virtual uint32_t GetTrackFourCC(uint32_t i) = 0;                                             /* 5 */
    virtual uint32_t GetTrackCodecType(uint32_t i) = 0;                                          /* 6 */
    virtual uint32_t GetTrackNumber(uint32_t i) = 0;                                             /* 7 */
    virtual uint32_t GetTrackSampleCount(uint32_t i) = 0;                                        /* 8 */
    virtual uint32_t GetTrackDuration(uint32_t i) = 0;                                           /* 9 */
    virtual uint16_t GetTrackWidth(uint32_t i) = 0;                                              /* 10 */
    virtual uint16_t GetTrackHeight(uint32_t i) = 0;                                             /* 11 */
    virtual int32_t GetTrackDecoderConfig(uint32_t i, const uint8_t** data, uint32_t* size) = 0; /* 12 */
    virtual int32_t GetVendorBox(uint32_t fourcc, const uint8_t** data, uint32_t* size) = 0;     /* 13 */
    virtual int32_t ReadPacket(TMediaPacket** out) = 0;                                          /* 14 */
    virtual int32_t ReadPacketBackward(TMediaPacket** out) = 0;                                  /* 15 */
    virtual void RemoveTrack(uint32_t i) = 0;                                                    /* 16 */
    virtual int32_t SeekPercent(uint32_t percent) = 0;                                           /* 17 */
    virtual int32_t SeekPercentExact(uint32_t percent) = 0;                                      /* 18 */
    virtual void SeekTime(uint32_t seconds, uint32_t milliseconds) = 0;                          /* 19 */
    virtual void SeekTimeExact(uint32_t seconds, uint32_t milliseconds) = 0;                     /* 20 */
    virtual void SetStepMode(int32_t mode) = 0;                                                  /* 21 */
    virtual void SetKeyFramesOnly(int32_t flag) = 0;                                             /* 22 */
    virtual void SetIntegrityKey(const char* text) = 0;                                          /* 23 */
    virtual void DisableTrack(uint32_t i) = 0;                                                   /* 24 */
    virtual void EnableTrack(uint32_t i) = 0;                                                    /* 25 */
    virtual uint32_t IsTrackProtected(uint32_t i) = 0;                                           /* 26 */
    virtual int32_t GetTrackKeyId(uint32_t i, const uint8_t** kid, uint32_t* size) = 0;          /* 27 */
    virtual int32_t SetTrackKey(uint32_t i, const uint8_t* key, uint32_t size) = 0;              /* 28 */
};

/* Flags of the open functions: 0 pairs each media track with the
 * frame-information track that follows it. */
enum : int { kOpenPairCompanionTracks = 0, kOpenNoCompanionTracks = 1 };

extern "C" {
/* Opens a finished recording. 0 on success, kInvalidArgument when out is
 * null, -1 when the file cannot be opened or read (out is left unchanged). */
int32_t AVReaderOpen(AVReader** out, const char* path, int flags);
int32_t AVReaderOpenW(AVReader** out, const wchar_t* path, int flags);
}
#endif

#endif

/*
 * The reader of recordings in progress: C entry points behind an opaque
 * parser handle, for C and C++ callers. Every function returns a signed
 * 32-bit status; no exception leaves them. Packets are the TMediaPacket
 * records of AVReader.h.
 */
#ifndef STAMPWALK_VIEWWHILERECORDING_VIEWWHILEREC_H
#define STAMPWALK_VIEWWHILERECORDING_VIEWWHILEREC_H

#include <stdint.h>
#include <wchar.h>

#include "isom/AVReader.h"

#if defined(__GNUC__)
#define VIEWWHILEREC_API __attribute__((visibility("default")))
#else
#define VIEWWHILEREC_API
#endif

/* Status values. kInvalidArgument (0x80000003) is the one of AVReader.h.
 * The two positive values mean "nothing new yet": call again later. */
/* clang-format off */
STAMPWALK_ENUM(int32_t) {
    kOk = 0,
    kReachedSkipBox = 0x00432101,
    kNoNewData = 0x00432102,
    kFormatError = (int32_t)0x80432201,
    kIOError = (int32_t)0x80432202,
    kUnexpectedError = (int32_t)0x80432203,
    kAtBeginning = (int32_t)0x80432204,
};
/* clang-format on */

/* An opaque parser handle. */
typedef void* VIEWWHILEREC_HANDLE;

/* How far a recording in progress is readable so far. */
typedef struct VIEWWHILEREC_PROGRESS {
    uint32_t completeChunks;      /* chunks indexed so far */
    uint64_t samples;             /* the samples they hold, over all tracks */
    uint64_t reachedMilliseconds; /* the latest sample time, milliseconds since 1970; 0 with no sample */
    uint64_t completeEnd;         /* the file offset where the complete chunks end */
    uint64_t pendingBytes;        /* bytes after them, of chunks not complete yet */
} VIEWWHILEREC_PROGRESS;

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the recording at path and finds its media data. 0 and *parser set on
 * success; kNoNewData when no "mdat" box can be reached yet; kIOError when
 * the file cannot be opened. *parser is written only on success. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_InitParser(VIEWWHILEREC_HANDLE* parser, const char* path);
VIEWWHILEREC_API int32_t VIEWWHILEREC_InitParserW(VIEWWHILEREC_HANDLE* parser, const wchar_t* path);

/* Destroys the parser and sets *parser to null. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_ReleaseParser(VIEWWHILEREC_HANDLE* parser);

/* The next packet in time order (or backward). The packet stays owned by the
 * parser and is valid until the next call on the same handle; take a
 * reference through its releaseOps to keep it longer. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_OutputRawPacket(VIEWWHILEREC_HANDLE parser, TMediaPacket** packet);

/* One bit: 1, 2, 4 or 8 hand out every frame; 16, 32 and 64 jump 1, 2 or 4
 * seconds from key frame to key frame of the video tracks. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_SetPlayMode(VIEWWHILEREC_HANDLE parser, uint32_t mode);

/* Positions every track at a time in milliseconds since 1970. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_Seek(VIEWWHILEREC_HANDLE parser, uint64_t milliseconds);

VIEWWHILEREC_API int32_t VIEWWHILEREC_SetBackward(VIEWWHILEREC_HANDLE parser, int32_t flag);
VIEWWHILEREC_API int32_t VIEWWHILEREC_SetKeyFramesOnly(VIEWWHILEREC_HANDLE parser, int32_t flag);
VIEWWHILEREC_API int32_t VIEWWHILEREC_SetVideoOnly(VIEWWHILEREC_HANDLE parser, int32_t flag);

/* Codec configurations and picture size. The configuration bytes stay owned
 * by the parser. videoConfig and audioConfig must not be null; the other
 * pointers are written without a check. Values with no codec behind them are
 * left as the caller set them. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_GetMediaInfo(VIEWWHILEREC_HANDLE parser, const uint8_t** videoConfig,
                                                   uint32_t* videoConfigLength, uint32_t* videoCodecTag,
                                                   uint16_t* width, uint16_t* height, const uint8_t** audioConfig,
                                                   uint32_t* audioConfigLength, uint32_t* audioCodecTag);

/* 1 when the recording announced encryption, else 0 (also for a null handle). */
VIEWWHILEREC_API int32_t VIEWWHILEREC_IsEncrypted(VIEWWHILEREC_HANDLE parser);

/* The 16-byte AES-128 key for protected samples. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_SetKey(VIEWWHILEREC_HANDLE parser, const uint8_t* key, uint32_t length);

/* The progress as of the last scan for new chunks (each call that runs out
 * of known packets scans). */
VIEWWHILEREC_API int32_t VIEWWHILEREC_GetProgress(VIEWWHILEREC_HANDLE parser, VIEWWHILEREC_PROGRESS* progress);

/* The codec tag of the chunks the last packet handed out came from: one
 * track of the recording per tag. kInvalidArgument before the first packet. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_GetPacketTag(VIEWWHILEREC_HANDLE parser, uint32_t* tag);

/* The codec tags of the tracks indexed so far, in increasing order: up to
 * capacity of them into tags, and how many there are into *count. */
VIEWWHILEREC_API int32_t VIEWWHILEREC_GetTrackTags(VIEWWHILEREC_HANDLE parser, uint32_t* tags, uint32_t capacity,
                                                   uint32_t* count);

/* The samples indexed so far in the track of a codec tag (0 for a tag
 * without one). */
VIEWWHILEREC_API int32_t VIEWWHILEREC_GetSampleCount(VIEWWHILEREC_HANDLE parser, uint32_t tag, uint64_t* count);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif

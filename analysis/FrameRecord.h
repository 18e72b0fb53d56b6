// The plain records the checks, the comparison and the writers work on. The
// front end fills them from either reader; nothing here knows a reader or a
// file format.
#ifndef STAMPWALK_ANALYSIS_FRAMERECORD_H
#define STAMPWALK_ANALYSIS_FRAMERECORD_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ZENT::SDK::Analysis {

// A time the container gives, exact: value / timescale seconds.
struct ContainerTime {
    int64_t value = 0;
    uint32_t timescale = 1;
};

// The outcome of the integrity test for one frame.
enum class Integrity : uint8_t { kNotRun, kMatch, kMismatch, kNoValue };

struct FrameRecord {
    uint32_t track = 0;         // the track number of the summary (1-based)
    uint64_t index = 0;         // 0-based within its track, in the order handed out
    std::string codec;          // the name the text line prints ("H264", "AAC4", ...)
    char frameType = '?';       // 'I', 'P', 'B' or '?', as the text line prints it
    char codedType = 0;         // 'I', 'P' or 'B' from the slice headers; 0 when not known
    bool randomAccess = false;  // with a coded type: an IDR (H.264) or IRAP (HEVC) unit is present
    bool key = false;           // the stored key flag
    bool video = false;
    // Where the container gives them.
    std::optional<ContainerTime> decodeTime;
    std::optional<ContainerTime> presentationTime;
    std::optional<ContainerTime> duration;
    // The camera's times in milliseconds since 1970 (camera time: local), where present.
    std::optional<int64_t> recordTime;
    std::optional<int64_t> streamTime;
    std::optional<int64_t> cameraTime;
    // The camera's zone in seconds, where the frame names one: its offset
    // and its daylight-saving shift.
    std::optional<std::pair<int32_t, int32_t>> timeZone;
    uint32_t size = 0;   // the payload size the text line prints
    uint32_t crc32 = 0;  // the CRC the text line prints (header and payload)
    // The payload alone, as handed out (H.264 and HEVC in start-code form,
    // without the parameter sets before the first slice, which a reader may
    // put there): a time shift or a moved key flag leaves it as it was.
    uint32_t payloadCrc32 = 0;
    uint32_t payloadBytes = 0;  // the bytes payloadCrc32 covers
    uint32_t diAlert = 0;
    std::array<uint8_t, 3> motion{};
    Integrity integrity = Integrity::kNotRun;
};

// A track as the summary gives it.
struct TrackRecord {
    uint32_t track = 0;  // 1-based
    uint32_t codecType = 0;
    std::string codec;
    bool video = false;
    uint64_t sampleCount = 0;  // samples in the index
    uint32_t durationSeconds = 0;
};

// How far a recording in progress could be read.
struct RecordingProgress {
    const char* unit = "chunk";  // what is complete: chunks of a recording in progress, or movie fragments
    uint32_t completeChunks = 0;
    uint64_t samples = 0;                // in the complete chunks
    std::optional<int64_t> reachedTime;  // the latest sample time, milliseconds since 1970
    uint64_t pendingBytes = 0;           // after the complete chunks
};

}  // namespace ZENT::SDK::Analysis

#endif

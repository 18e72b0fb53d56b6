// What the fallback-line tests share: recordings in progress written to a
// file, the built stampwalk run on them, and the lines its fallback run over
// the view-while-recording reader should print, made from the bytes the test
// wrote.
#ifndef STAMPWALK_TESTS_APP_FALLBACKLINESTEST_H
#define STAMPWALK_TESTS_APP_FALLBACKLINESTEST_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "FrameLinesTest.h"
#include "writer/InProgressChunk.h"
#include "writer/InProgressRecording.h"

namespace fallbacklines {

using framelines::Bytes;
using framelines::ByteWriter;
using writer::Chunk;
using writer::InProgressRecording;
using writer::UserData;

// ---- the lines around the frame lines ----------------------------------------

// The media reader finds no movie in a recording in progress: its open fails
// with -1, and the unterminated fallback message runs into the first status
// line of the fallback run.
inline std::string OpenFailure(const std::string& path, const std::string& initStatus) {
    return "OpenAVReader - AVReader open file: " + path + " failed: ffffffff\n" +
           "StampProbe - OpenAVReader with mediafile: " + path + " failed will try to use ViewWhileRec" +
           "ViewWhileRec - VIEWWHILEREC_InitParser scRet: " + initStatus + "\n";
}

inline const std::string kNoNewDataLine = "ViewWhileRec - VIEWWHILEREC_OutputRawPacket scRet: 432102\n";
inline const std::string kSkipBoxLine = "ViewWhileRec - VIEWWHILEREC_OutputRawPacket scRet: 432101\n";

// ---- expected frame lines ----------------------------------------------------

// A timestamp as the fallback line prints it: both words unsigned.
struct Time {
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
    uint16_t word1 = 0;
    uint16_t word2 = 0;
};

struct Frame {
    std::string codec = "H264";
    char letter = 'I';
    std::optional<Time> time;  // none: "NO StreamingTime"
    Bytes mediaHeader;         // as stored in the record, length word not yet rewritten
    Bytes payload;             // as handed out
};

inline std::string Line(const Frame& frame) {
    const uint32_t crc = framelines::Crc(framelines::FrameBytes(frame.mediaHeader, frame.payload));
    const uint32_t size = uint32_t(frame.payload.size());
    char text[256];
    if (frame.time)
        std::snprintf(text, sizeof text, "Stream:%s Frame:%c %u.%03u %02u %u CRC32:%08X Size:%u\n", frame.codec.c_str(),
                      frame.letter, frame.time->seconds, frame.time->milliseconds, unsigned(frame.time->word1),
                      unsigned(frame.time->word2), crc, size);
    else
        std::snprintf(text, sizeof text, "Stream:%s Frame:%c NO StreamingTime CRC32:%08X Size:%u\n",
                      frame.codec.c_str(), frame.letter, crc, size);
    return text;
}

inline std::string Lines(const std::vector<Frame>& frames) {
    std::string text;
    for (const Frame& frame : frames) text += Line(frame);
    return text;
}

// ---- running the tool --------------------------------------------------------

// Everything stampwalk prints between the option echo and the closing line.
inline std::string ReportOf(const Bytes& fileBytes, int timeType, std::string* path) {
    testsupport::TempFile file(fileBytes);
    *path = file.path();
    return framelines::FrameReportOf(file.path(), timeType);
}

// ---- recordings --------------------------------------------------------------

// A media header with a one-word extension of zeros, which every codec code
// parses: three disabled motion windows for video, a zero frame count for
// audio.
inline Bytes Header(const std::string& codec, uint8_t frameType, uint32_t seconds, uint16_t milliseconds,
                    uint32_t flags = framelines::Flags(48)) {
    return framelines::MediaHeader(codec, frameType, 0, flags, seconds, milliseconds, Bytes(4, 0));
}

inline Bytes Record(const Bytes& mediaHeader, const UserData& userData = {}) {
    return framelines::Record(mediaHeader, userData);
}

}  // namespace fallbacklines

#endif

// The frames the tool should report for one of the ffmpeg files, worked out
// without the reader: from ffprobe's packets (sizes, key flags, times, CRC-32
// of the stored bytes), the raw box figures (time scales, edit lists, creation
// times, the sample entry's audio fields and parameter sets) and the stored
// bytes at ffprobe's packet positions.
#ifndef STAMPWALK_TESTS_DATA_EXPECTEDFRAMES_H
#define STAMPWALK_TESTS_DATA_EXPECTEDFRAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace datatest {

struct ExpectedFrame {
    size_t track = 0;       // index in the file's track list
    uint64_t sample = 0;    // index within the track
    std::string codecName;  // as the frame line prints it, "H264"
    char letter = '?';
    uint32_t seconds = 0;  // camera time: creation time plus timeline position
    uint32_t milliseconds = 0;
    uint32_t crc = 0;   // of the built media header and the payload
    uint32_t size = 0;  // payload size
    // The header's seconds and milliseconds with zone 0 and no daylight saving.
    std::string CameraTimeText() const;
};

struct ExpectedFile {
    std::vector<ExpectedFrame> frames;      // in the reader's timeline order
    std::vector<uint64_t> samplesPerTrack;  // the sample size table counts; ffprobe's packets when fragmented
    std::vector<std::string> codecNamePerTrack;
};

// Failures in the data itself (a stored packet whose CRC is not ffprobe's,
// an in-band parameter set the expectations do not model) are reported as
// test failures through gtest.
ExpectedFile WorkOutExpectedFrames(const std::string& dataDir, const std::string& name);

}  // namespace datatest

#endif

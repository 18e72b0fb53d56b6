// Two frames for the writers' tests: one with every optional field empty, one
// with every field set to a value whose text is worked out in the tests.
#ifndef STAMPWALK_TESTS_ANALYSIS_SAMPLEFRAMES_H
#define STAMPWALK_TESTS_ANALYSIS_SAMPLEFRAMES_H

#include "analysis/FrameRecord.h"

namespace testsupport {

inline ZENT::SDK::Analysis::FrameRecord BareFrame() {
    ZENT::SDK::Analysis::FrameRecord frame;
    frame.track = 1;
    frame.codec = "H264";
    frame.frameType = 'P';
    return frame;
}

inline ZENT::SDK::Analysis::FrameRecord FullFrame() {
    ZENT::SDK::Analysis::FrameRecord frame;
    frame.track = 2;
    frame.index = 41;
    frame.codec = "H265";
    frame.frameType = 'I';
    frame.codedType = 'I';
    frame.key = true;
    frame.video = true;
    frame.decodeTime = {1001, 30000};        // 0.0333666...
    frame.presentationTime = {3003, 90000};  // the same instant
    frame.duration = {1, 1024};              // exactly 0.0009765625
    frame.recordTime = 1700000000123;
    frame.streamTime = -1;
    frame.cameraTime = 0;
    frame.size = 4294967295u;
    frame.crc32 = 0x0A1B2C3Du;
    frame.payloadCrc32 = 0xDEADBEEFu;
    frame.diAlert = 3;
    frame.motion = {1, 128, 255};
    frame.integrity = ZENT::SDK::Analysis::Integrity::kMismatch;
    return frame;
}

}  // namespace testsupport

#endif

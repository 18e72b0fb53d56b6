// Frame-information records and recordings in progress for the reader's
// tests, and an instance opened on them.
#ifndef STAMPWALK_TESTS_VIEWWHILERECORDING_RECORDINGFIXTURE_H
#define STAMPWALK_TESTS_VIEWWHILERECORDING_RECORDINGFIXTURE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/TempFile.h"
#include "viewwhilerecording/ViewWhileRecImpl.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/InProgressChunk.h"
#include "writer/InProgressRecording.h"

namespace vwrtest {

using namespace writer;
using namespace testsupport;
using ZENT::SDK::ViewWhileRecording::ViewWhileRecImpl;

// A record whose media header says codec, frame type and the time (UTC);
// the extension area is one zero word, which every codec code can parse.
inline Bytes RecordAt(uint64_t milliseconds, uint8_t frameType = 0, const std::string& codec = "h264",
                      const UserData& userData = {}) {
    MediaHeader header;
    header.codec = codec;
    header.frameType = frameType;
    header.seconds = uint32_t(milliseconds / 1000);
    header.milliseconds = uint16_t(milliseconds % 1000);
    header.extension = Bytes(4, 0);
    return FrameInfoRecord(header, userData).bytes();
}

inline Bytes KeyAt(uint64_t milliseconds, const std::string& codec = "h264") {
    return RecordAt(milliseconds, 0, codec);
}
inline Bytes DeltaAt(uint64_t milliseconds, const std::string& codec = "h264") {
    return RecordAt(milliseconds, 1, codec);
}

// A sample of n bytes counting up from first.
inline Bytes Counting(size_t n, uint8_t first = 0) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(first + i);
    return bytes;
}

// The bytes [from, to) of data.
inline Bytes Part(const Bytes& data, uint64_t from, uint64_t to) {
    return Bytes(data.begin() + ptrdiff_t(from), data.begin() + ptrdiff_t(to));
}

// A recording file and an instance opened on it.
struct OpenRecording {
    explicit OpenRecording(const Bytes& bytes) : file(bytes), reader(new ViewWhileRecImpl(file.path())) {}
    TempFile file;
    std::unique_ptr<ViewWhileRecImpl> reader;
};

// What a test looks at in a handed-out packet, copied before the next one
// replaces it.
struct PacketView {
    uint32_t codecType = 0;
    uint64_t milliseconds = 0;  // seconds * 1000 + milliseconds of the header
    int32_t frameType = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    Bytes payload;  // payloadSize bytes after the media header
};

inline PacketView ViewOf(const TMediaPacket& packet) {
    PacketView view;
    view.codecType = packet.codecType;
    view.milliseconds = uint64_t(packet.seconds) * 1000 + packet.milliseconds;
    view.frameType = packet.frameType;
    view.width = packet.width;
    view.height = packet.height;
    const uint8_t* payload = packet.frameData + packet.headerSize;
    view.payload.assign(payload, payload + packet.payloadSize);
    return view;
}

// Packets handed out until the first status other than 0 (stored in status).
inline std::vector<PacketView> ReadAll(ViewWhileRecImpl& reader, int32_t* status, int limit = 1000) {
    std::vector<PacketView> views;
    for (int i = 0; i < limit; ++i) {
        TMediaPacket* packet = nullptr;
        *status = reader.OutputRawPacket(&packet);
        if (*status != 0) break;
        views.push_back(ViewOf(*packet));
    }
    return views;
}

}  // namespace vwrtest

#endif

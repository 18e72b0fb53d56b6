// Opening test recordings with the reader: bytes to a temporary file, then
// AVReaderOpen, with the reader released when the test is done.
#ifndef STAMPWALK_TESTS_ISOM_READERFIXTURE_H
#define STAMPWALK_TESTS_ISOM_READERFIXTURE_H

#include <memory>

#include "isom/AVReader.h"
#include "isom/ISOMParserImpl.h"
#include "support/TestSupport.h"

struct ReleaseReader {
    void operator()(AVReader* reader) const {
        if (reader) reader->Release();
    }
};
using ReaderPtr = std::unique_ptr<AVReader, ReleaseReader>;

struct OpenedFile {
    std::unique_ptr<testsupport::TempFile> file;
    ReaderPtr reader;
    int32_t status = 0;

    ZENT::SDK::Pelagor2::ISOMParserImpl* impl() const {
        return static_cast<ZENT::SDK::Pelagor2::ISOMParserImpl*>(reader.get());
    }
};

inline OpenedFile OpenBytes(const writer::Bytes& bytes, int flags = 0) {
    OpenedFile opened;
    opened.file.reset(new testsupport::TempFile(bytes));
    AVReader* reader = nullptr;
    opened.status = AVReaderOpen(&reader, opened.file->c_str(), flags);
    opened.reader.reset(reader);
    return opened;
}

inline int32_t OpenStatus(const writer::Bytes& bytes) { return OpenBytes(bytes).status; }

// A small H.264 track of `count` samples of 40 ms, a sync sample every 3.
inline writer::Track SmallVideoTrack(uint32_t count = 6, uint32_t trackId = 0) {
    using namespace writer;
    Track track = VideoTrack(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), 1000, 176, 144);
    track.trackId = trackId;
    for (uint32_t j = 0; j < count; ++j) track.add(Bytes(10 + j, uint8_t(j)), 40, j % 3 == 0);
    return track;
}

inline writer::Track SmallAudioTrack(uint32_t count = 4) {
    using namespace writer;
    AudioFields fields;
    fields.channelCount = 1;
    fields.sampleRate = 16000;
    Track track = AudioTrack(Mp4a(fields, AacAudioSpecificConfig(2, 16000, 1)), 16000);
    for (uint32_t j = 0; j < count; ++j) track.add(Bytes(20, uint8_t(0xA0 + j)), 1024);
    return track;
}

#endif

// The frame-information record built for tracks without a companion track.
#include "isom/FrameInfoSynthesis.h"

#include <gtest/gtest.h>

#include "isom/AVReader.h"
#include "support/TestSupport.h"

using namespace ZENT::SDK::Pelagor2;
using writer::Bytes;
using writer::Hex;

namespace {

struct Built {
    TrackRecord track;
    TrackTimeline timeline;
};

// One sample at `time` seconds on a track created at Unix second `created`.
Built OneSample(double time, bool sync = true, uint64_t created = 2082844800 + 1000, uint32_t rate = 8000,
                uint16_t channels = 1, uint16_t sampleSize = 16) {
    Built b;
    b.track.header.creationTime = created;
    SampleDescription d;
    d.sampleRate = rate;
    d.channelCount = channels;
    d.sampleSize = sampleSize;
    b.track.sampleTable.descriptions.push_back(d);
    b.timeline.entryCount = 1;
    b.timeline.entries.reset(new IndexEntry[1]);
    b.timeline.entries[0].compositionTime = time;
    b.timeline.entries[0].syncFlag = sync ? 1 : 0;
    return b;
}

Bytes Record(uint32_t codecType, const Built& b, uint32_t length, uint8_t first = 0) {
    uint8_t record[kSynthesizedRecordCapacity];
    const ZENT::SDK::Utility::CodecEntry* codec = ZENT::SDK::Utility::FindCodec(codecType);
    size_t n = SynthesizeFrameInfo(*codec, b.track, b.timeline, 0, first, length, record);
    return Bytes(record, record + n);
}

// The media header of a built record (after its 16 leading bytes).
Bytes Header(const Bytes& record) { return Bytes(record.begin() + 16, record.end()); }

Bytes Extension(const Bytes& record) { return Bytes(record.begin() + 36, record.end()); }

}  // namespace

TEST(FrameInfoSynthesis, VideoRecordLayout) {
    Built b = OneSample(0.04, false);
    Bytes record = Record(kCodecH264, b, 500);
    ASSERT_EQ(record.size(), 40u);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 16), Hex("00 00 00 00 00 00 00 00 00 00 00 18 00 00 00 00"));
    // Length word left zero, "h264", P frame, flags 00 20 13 04, 1000 s, 40 ms, one word of zeros.
    EXPECT_EQ(Header(record), Hex("00 00 00 00 68 32 36 34 10 00 20 13 04 00 00 03 E8 00 28 01 00 00 00 00"));
    EXPECT_EQ(Record(kCodecH264, OneSample(0.0, true), 5)[24], 0x00) << "sync samples are intra frames";
    EXPECT_EQ(Record(kCodecJpeg, OneSample(0.0, false), 5)[24], 0x10);
    EXPECT_EQ(Record(kCodecDummyVideo, OneSample(0.0, false), 5)[24], 0x00) << "0xFF is not below 0xFF";
    EXPECT_EQ(Record(kCodecAac, OneSample(0.0, false), 5)[24], 0x00) << "audio is never predicted";
}

TEST(FrameInfoSynthesis, RoundingToTheMillisecondCarriesIntoTheSeconds) {
    Bytes record = Record(kCodecH264, OneSample(1.9996), 1);
    EXPECT_EQ(Bytes(record.begin() + 29, record.begin() + 35), Hex("00 00 03 EA 00 00"));  // 1002 s, 0 ms
    Bytes rounded = Record(kCodecH264, OneSample(1.0004), 1);
    EXPECT_EQ(Bytes(rounded.begin() + 29, rounded.begin() + 35), Hex("00 00 03 E9 00 00"));
}

TEST(FrameInfoSynthesis, CreationTimeBefore1970CountsFrom1970) {
    Bytes record = Record(kCodecH264, OneSample(5.25, true, 0), 1);
    EXPECT_EQ(Bytes(record.begin() + 29, record.begin() + 35), Hex("00 00 00 05 00 FA"));
}

TEST(FrameInfoSynthesis, StartOffsetIsPartOfTheTimelinePosition) {
    Built b = OneSample(0.5);
    b.timeline.startOffset = 2.0;
    Bytes record = Record(kCodecH264, b, 1);
    EXPECT_EQ(Bytes(record.begin() + 29, record.begin() + 35), Hex("00 00 03 EA 01 F4"));  // 1002.500
}

TEST(FrameInfoSynthesis, SamplesWithoutATimeGetTheTrackCreationTime) {
    Bytes record = Record(kCodecH264, OneSample(-1.0), 1);
    EXPECT_EQ(Bytes(record.begin() + 29, record.begin() + 35), Hex("00 00 03 E8 00 00"));
    EXPECT_EQ(TimelineMilliseconds(0, -1.0), 0u);
    EXPECT_EQ(TimelineMilliseconds(0, 0.0 / 0.0), 0u);
    EXPECT_EQ(TimelineMilliseconds(1e300, 0), UINT64_MAX);
}

TEST(FrameInfoSynthesis, AudioExtensions) {
    // AAC: 40 01, length, rate, channels; a 28-byte header.
    Bytes aac = Record(kCodecAac, OneSample(0, true, 0, 44100, 2), 0x1234);
    EXPECT_EQ(aac.size(), 44u);
    EXPECT_EQ(aac[11], 28);
    EXPECT_EQ(aac[35], 2);
    EXPECT_EQ(Extension(aac), Hex("40 01 12 34 00 AC 44 02"));
    // G.711: C0 01, length, rate, channels.
    EXPECT_EQ(Extension(Record(kCodecUlaw, OneSample(0), 160)), Hex("C0 01 00 A0 00 1F 40 01"));
    EXPECT_EQ(Extension(Record(kCodecAlaw, OneSample(0), 160)), Hex("C0 01 00 A0 00 1F 40 01"));
    // G.726: B0 01, length, bits per sample x 8000, 00.
    EXPECT_EQ(Extension(Record(kCodecG726, OneSample(0, true, 0, 8000, 1, 4), 80)), Hex("B0 01 00 50 00 7D 00 00"));
    // G.722.1: 80 04, length / 4; a 24-byte header.
    Bytes g722 = Record(kCodecG7221, OneSample(0), 120);
    EXPECT_EQ(g722.size(), 40u);
    EXPECT_EQ(g722[35], 1);
    EXPECT_EQ(Extension(g722), Hex("80 04 00 1E"));
    // G.729A: 80, length / 11, 11.
    EXPECT_EQ(Extension(Record(kCodecG729, OneSample(0), 20)), Hex("80 01 00 0B"));
    EXPECT_EQ(Extension(Record(kCodecG729, OneSample(0), 110)), Hex("80 0A 00 0B"));
}

TEST(FrameInfoSynthesis, AmrFrameSizeFromTheFirstFrameType) {
    // First byte 0x3C: frame type 7, 31 bytes + the table-of-contents byte.
    EXPECT_EQ(Extension(Record(kCodecSamr, OneSample(0), 32, 0x3C)), Hex("C0 01 00 20 00 1F 40 01"));
    // Frame type 0 (12 + 1 bytes), five frames.
    EXPECT_EQ(Extension(Record(kCodecSamr, OneSample(0), 65, 0x04)), Hex("C0 05 00 0D 00 1F 40 01"));
    // Frame type 15: the table's last entry is 5, not 0.
    EXPECT_EQ(Extension(Record(kCodecSamr, OneSample(0), 12, 0x7C)), Hex("C0 02 00 06 00 1F 40 01"));
    // A zero entry (frame type 9): one byte per frame, the count is the length.
    EXPECT_EQ(Extension(Record(kCodecSamr, OneSample(0), 300, 0x4C)), Hex("C0 2C 00 01 00 1F 40 01"));
    // An empty sample has no first frame: size 1, no frames.
    EXPECT_EQ(Extension(Record(kCodecSamr, OneSample(0), 0, 0xFF)), Hex("C0 00 00 01 00 1F 40 01"));
}

TEST(FrameInfoSynthesis, MetadataAndUnknownCodecs) {
    Bytes metj = Record(kCodecMetj, OneSample(0), 9);
    EXPECT_EQ(Bytes(metj.begin() + 20, metj.begin() + 24), Hex("6D 65 74 6A"));
    EXPECT_EQ(Extension(metj), Hex("00 00 00 00"));
    Bytes metx = Record(kCodecMetx, OneSample(0), 9);
    EXPECT_EQ(Bytes(metx.begin() + 20, metx.begin() + 24), Hex("6D 65 74 78"));
    Bytes unknown = Record(kCodecIva1, OneSample(0), 9);
    EXPECT_EQ(Bytes(unknown.begin() + 20, unknown.begin() + 24), Hex("00 00 00 00"));
}

// Handing out packets: order across tracks, the reading modes, and the
// records and payloads of the packets themselves.
#include <gtest/gtest.h>

#include <map>

#include "ReaderFixture.h"
#include "common/PacketBlock.h"

using namespace writer;

namespace {

// One packet as a test sees it: which track (by codec) and which sample
// (every stored byte of a sample numbers it, so its payload's last byte does,
// whatever the start-code rewriting put in front).
struct Seen {
    uint32_t codec;
    uint8_t sample;
    bool operator==(const Seen& other) const { return codec == other.codec && sample == other.sample; }
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    return out << std::hex << seen.codec << std::dec << ":" << int(seen.sample);
}

std::vector<Seen> ReadAll(AVReader& reader, bool forward = true, size_t limit = 1000) {
    std::vector<Seen> seen;
    TMediaPacket* packet = nullptr;
    while (seen.size() < limit) {
        int32_t status = forward ? reader.ReadPacket(&packet) : reader.ReadPacketBackward(&packet);
        if (status != 0) break;
        seen.push_back({packet->codecType, packet->frameData[packet->headerSize + packet->payloadSize - 1]});
    }
    return seen;
}

// Video samples at 0, 40, ... ms (payload byte j); audio at 0, 64, ... ms
// (payload byte 0xA0 + j).
OpenedFile OpenAv(uint32_t videoCount = 6, uint32_t audioCount = 4) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(videoCount));
    recording.addTrack(SmallAudioTrack(audioCount));
    return OpenBytes(recording.bytes());
}

constexpr uint32_t V = kCodecH264;
constexpr uint32_t A = kCodecAac;

}  // namespace

TEST(ReadPacket, TracksMergeInTimelineOrderWithTiesToTheEarlierTrack) {
    OpenedFile opened = OpenAv();
    ASSERT_EQ(opened.status, 0);
    opened.reader->SeekTime(0, 0);
    // Video 0 40 80 120 160 200, audio 0 64 128 192 (ms).
    std::vector<Seen> expected = {{V, 0}, {A, 0xA0}, {V, 1}, {A, 0xA1}, {V, 2},
                                  {V, 3}, {A, 0xA2}, {V, 4}, {A, 0xA3}, {V, 5}};
    EXPECT_EQ(ReadAll(*opened.reader), expected);
}

TEST(ReadPacket, BackwardReadingTakesTheLatestFirstWithTiesToTheEarlierTrack) {
    OpenedFile opened = OpenAv(3, 2);  // video 0 40 80, audio 0 64
    opened.reader->SeekTimeExact(60, 0);
    std::vector<Seen> expected = {{V, 2}, {A, 0xA1}, {V, 1}, {V, 0}, {A, 0xA0}};
    EXPECT_EQ(ReadAll(*opened.reader, false), expected);
}

TEST(ReadPacket, BackwardStartsFromWhereForwardReadingLeftTheCursors) {
    OpenedFile opened = OpenAv(3, 2);
    opened.reader->SeekTime(0, 0);
    EXPECT_EQ(ReadAll(*opened.reader, true, 3), (std::vector<Seen>{{V, 0}, {A, 0xA0}, {V, 1}}));
    // Cursors now at video 2 and audio 1: the samples not yet handed out.
    EXPECT_EQ(ReadAll(*opened.reader, false, 2), (std::vector<Seen>{{V, 2}, {A, 0xA1}}));
}

TEST(ReadPacket, EndOfStreamIsRepeatableWithANullPacket) {
    OpenedFile opened = OpenAv(1, 1);
    opened.reader->SeekTime(0, 0);
    ReadAll(*opened.reader);
    TMediaPacket* packet = reinterpret_cast<TMediaPacket*>(0x1);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), kEndOfStream);
    EXPECT_EQ(packet, nullptr);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), kEndOfStream);
}

TEST(ReadPacket, DisabledTrackKeepsPaceAndResumesWhereTheTimelineIs) {
    OpenedFile opened = OpenAv();
    opened.reader->SeekTime(0, 0);
    opened.reader->DisableTrack(1);
    EXPECT_EQ(ReadAll(*opened.reader, true, 4), (std::vector<Seen>{{V, 0}, {V, 1}, {V, 2}, {V, 3}}));
    opened.reader->EnableTrack(1);
    // Audio 0, 64 were drained as video passed them; 128 ms comes next.
    EXPECT_EQ(ReadAll(*opened.reader, true, 3), (std::vector<Seen>{{A, 0xA2}, {V, 4}, {A, 0xA3}}));
}

TEST(ReadPacket, KeyFramesOnlySkipsNonSyncSamples) {
    OpenedFile opened = OpenAv();
    opened.reader->SeekTime(0, 0);
    opened.reader->SetKeyFramesOnly(1);
    // Video syncs at 0 and 3; audio samples are all sync samples.
    std::vector<Seen> expected = {{V, 0}, {A, 0xA0}, {A, 0xA1}, {V, 3}, {A, 0xA2}, {A, 0xA3}};
    EXPECT_EQ(ReadAll(*opened.reader), expected);
}

TEST(ReadPacket, KeyFrameStepModesHandOutOnlyVideoSyncSamples) {
    // One video sample every 250 ms for 6 s, a sync sample every 2 samples.
    Recording recording;
    Track video = SmallVideoTrack(0);
    for (int j = 0; j < 24; ++j) video.add(Concat({Hex("00 00 00 02 41"), Bytes(1, uint8_t(j))}), 250, j % 2 == 0);
    recording.addTrack(video);
    recording.addTrack(SmallAudioTrack(40));
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    opened.reader->SeekTime(0, 0);
    opened.reader->SetStepMode(4);  // 1 s: 0, 1, 2, ... s are samples 0, 4, 8, ...
    std::vector<Seen> expected;
    for (int j = 0; j < 24; j += 4) expected.push_back({V, uint8_t(j)});
    EXPECT_EQ(ReadAll(*opened.reader), expected);

    opened.reader->SeekTime(0, 0);
    opened.reader->SetStepMode(6);  // 4 s
    EXPECT_EQ(ReadAll(*opened.reader), (std::vector<Seen>{{V, 0}, {V, 16}}));

    opened.reader->SeekTimeExact(100, 0);
    opened.reader->SetStepMode(5);  // 2 s back from 5.75 s: 5.75 (non-sync, skipped) ...
    EXPECT_EQ(ReadAll(*opened.reader, false), (std::vector<Seen>{{V, 22}, {V, 14}, {V, 6}}));
}

TEST(ReadPacket, KeyFrameStepWithALeadingEmptyEditEndsBackward) {
    Recording recording;
    Track video = SmallVideoTrack(0);
    for (int j = 0; j < 6; ++j) video.add(Concat({Hex("00 00 00 02 41"), Bytes(1, uint8_t(j))}), 1000, true);
    video.edits = {{1000, -1}, {6000, 0}};
    recording.addTrack(video);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    opened.reader->SetStepMode(4);
    opened.reader->SeekTimeExact(100, 0);
    std::vector<Seen> seen = ReadAll(*opened.reader, false, 50);
    EXPECT_EQ(seen, (std::vector<Seen>{{V, 5}, {V, 4}, {V, 3}, {V, 2}, {V, 1}, {V, 0}}));
}

TEST(ReadPacket, BuiltRecordForAnAudioTrack) {
    Recording recording;
    Track audio = SmallAudioTrack(2);
    audio.creationTime = kIsoEpochOffset + 1600000000;
    recording.addTrack(audio);
    OpenedFile opened = OpenBytes(recording.bytes());
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->headerSize, 28u);
    EXPECT_EQ(packet->payloadSize, 20u);
    EXPECT_EQ(packet->codecType, kCodecAac);
    EXPECT_EQ(packet->frameType, 0);
    EXPECT_EQ(packet->seconds, 1600000000u);
    EXPECT_EQ(packet->milliseconds, 64u);  // 1024 / 16000 s
    EXPECT_EQ(packet->sampleRate, 16000u);
    EXPECT_EQ(packet->channels, 1);
    EXPECT_EQ(packet->frameCount, 1u);
    EXPECT_EQ(packet->timeZoneOffset, 0);
    Bytes header(packet->frameData, packet->frameData + packet->headerSize);
    EXPECT_EQ(header, Hex("00 00 00 2C 61 61 63 20 00 00 20 13 04 5F 5E 10 00 00 40 02"
                          "40 01 00 14 00 3E 80 01"));
    EXPECT_EQ(Bytes(packet->frameData + 28, packet->frameData + 48), Bytes(20, 0xA1));
    EXPECT_EQ(packet->userDataSize, 4u);
}

TEST(ReadPacket, BuiltRecordMarksNonSyncVideoAsPredicted) {
    OpenedFile opened = OpenAv(3, 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->frameType, 0);
    EXPECT_EQ(packet->headerSize, 24u);
    EXPECT_EQ(packet->width, 176u);
    EXPECT_EQ(packet->height, 144u);
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->frameType, 1);
    EXPECT_EQ(packet->frameData[8], 0x10);
    EXPECT_EQ(packet->milliseconds, 40u);
    EXPECT_EQ(packet->seconds, 0u) << "creation time 0: 1970";
}

TEST(ReadPacket, CompanionRecordSuppliesHeaderAndUserData) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(2));
    MediaHeader header;
    header.codec = "h264";
    header.frameType = 2;
    header.digitalInputs = 5;
    header.seconds = 1000;
    header.milliseconds = 7;
    header.extension = Hex("00");  // three disabled windows
    UserData userData;
    userData.recordTime(1234, 5);
    recording.addCompanion({FrameInfoRecord(header, userData).bytes(), FrameInfoRecord(header).bytes()});
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->frameType, 2);
    EXPECT_EQ(packet->diAlert, 5u);
    EXPECT_EQ(packet->seconds, 1000u);
    EXPECT_EQ(packet->milliseconds, 7u);
    EXPECT_EQ(Bytes(packet->userData, packet->userData + packet->userDataSize), userData.block());
    // The payload follows the header as the reader rewrote it.
    EXPECT_EQ(packet->headerSize, 24u);
    EXPECT_EQ(Bytes(packet->frameData + 24, packet->frameData + 28), Hex("00 00 00 01"));
}

TEST(ReadPacket, ShortCompanionRecordFailsOnlyThatPacket) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(3));
    MediaHeader header;
    header.extension = Hex("00");  // three disabled motion windows
    Bytes good = FrameInfoRecord(header).bytes();
    Bytes shortRecord = FrameInfoRecord(header).forceUserDataLength(100).bytes();
    recording.addCompanion({good, shortRecord, good});
    OpenedFile opened = OpenBytes(recording.bytes());
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    TMediaPacket* first = packet;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), -1);
    EXPECT_EQ(packet, first) << "a failed read leaves the out pointer as it was";
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0) << "the failed sample is passed, not retried";
    EXPECT_EQ(opened.reader->ReadPacket(&packet), kEndOfStream);
}

TEST(ReadPacket, SamplePastTheEndOfTheFileFailsThatPacket) {
    Recording recording;
    recording.addTrack(SmallAudioTrack(3));
    Bytes bytes = recording.bytes();
    Layout layout = recording.layout();
    // The audio chunk offsets are per sample; move the second past the end.
    for (size_t i = 0; i + 8 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i + 4], "stco", 4) == 0) {
            uint32_t offset = uint32_t(layout.fileSize + 100);
            size_t at = i + 16 + 4;
            bytes[at] = uint8_t(offset >> 24);
            bytes[at + 1] = uint8_t(offset >> 16);
            bytes[at + 2] = uint8_t(offset >> 8);
            bytes[at + 3] = uint8_t(offset);
            break;
        }
    }
    OpenedFile opened = OpenBytes(bytes);
    ASSERT_EQ(opened.status, 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), -1);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->frameData[packet->headerSize], 0xA2);
}

TEST(ReadPacket, BackToBackSamplesNeedNoSeeks) {
    OpenedFile opened = OpenAv(30, 20);
    opened.reader->SeekTime(0, 0);
    ReadAll(*opened.reader);
    EXPECT_LE(opened.impl()->sampleInput().deviceReads(), 2u) << "one read of the whole small file per stream window";
}

TEST(ReadPacket, PacketsAreFreedWithTheReader) {
    size_t before = ZENT::SDK::Utility::LivePacketBlockCount();
    {
        OpenedFile opened = OpenAv();
        opened.reader->SeekTime(0, 0);
        TMediaPacket* kept = nullptr;
        ASSERT_EQ(opened.reader->ReadPacket(&kept), 0);
        kept->releaseOps->addRef(kept);
        ReadAll(*opened.reader);
        EXPECT_EQ(ZENT::SDK::Utility::LivePacketBlockCount(), before + 2) << "the kept packet and the last one";
        EXPECT_EQ(kept->codecType, kCodecH264) << "still readable";
        EXPECT_EQ(Bytes(kept->frameData + kept->headerSize, kept->frameData + kept->headerSize + 4),
                  Hex("00 00 00 01"));
        kept->releaseOps->release(kept);
    }
    EXPECT_EQ(ZENT::SDK::Utility::LivePacketBlockCount(), before);
}

namespace {

// Reads the only sample of an H.264 or HEVC track whose sample is `sample`.
Bytes PayloadOf(const Box& entry, const Bytes& sample, bool sync, bool hevc = false) {
    Recording recording;
    Track track = VideoTrack(entry, 1000);
    track.add(sample, 40, sync);
    recording.addTrack(track);
    OpenedFile opened = OpenBytes(recording.bytes());
    EXPECT_EQ(opened.status, 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    if (!packet) return {};
    EXPECT_EQ(packet->codecType, hevc ? kCodecHevc : kCodecH264);
    return Bytes(packet->frameData + packet->headerSize, packet->frameData + packet->headerSize + packet->payloadSize);
}

Bytes Unit(unsigned prefixSize, const Bytes& unit) {
    ByteWriter w;
    if (prefixSize == 1)
        w.u8(uint8_t(unit.size()));
    else if (prefixSize == 2)
        w.u16(uint16_t(unit.size()));
    else
        w.u32(uint32_t(unit.size()));
    return Concat({w.take(), unit});
}

const Bytes kSps = Hex("67 42 00 1E AB");
const Bytes kPps = Hex("68 CE 38 80");
const Bytes kStored = Concat({Hex("00 00 00 01"), kSps, Hex("00 00 00 01"), kPps});

}  // namespace

TEST(AvcPayload, StoredParameterSetsGoBeforeTheFirstSliceAndInBandOnesAreDropped) {
    Bytes aud = Hex("09 F0"), sei = Hex("06 05 01 AA"), ownSps = Hex("67 64"), ownPps = Hex("68 EB"),
          idr = Hex("65 88 84 00");
    Bytes sample = Concat({Unit(4, aud), Unit(4, sei), Unit(4, ownSps), Unit(4, ownPps), Unit(4, idr)});
    Bytes expected = Concat({Hex("00 00 00 01"), aud, kStored, Hex("00 00 00 01"), sei, Hex("00 00 00 01"), idr});
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, true), expected);
}

TEST(AvcPayload, KeyFrameStartingWithItsOwnSpsKeepsItsSets) {
    Bytes ownSps = Hex("67 64 00"), ownPps = Hex("68 EB"), idr = Hex("65 88");
    Bytes sample = Concat({Unit(4, ownSps), Unit(4, ownPps), Unit(4, idr)});
    Bytes expected = Concat({Hex("00 00 00 01"), ownSps, Hex("00 00 00 01"), ownPps, Hex("00 00 00 01"), idr});
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, true), expected);
}

TEST(AvcPayload, NonSyncSampleWithShortPrefixesGrowsPerUnit) {
    Bytes a = Hex("41 9A 02"), b = Hex("41 9B");
    Bytes sample = Concat({Unit(2, a), Unit(2, b)});
    Bytes expected = Concat({Hex("00 00 00 01"), a, Hex("00 00 00 01"), b});
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}, 2), sample, false), expected);
    EXPECT_EQ(expected.size(), sample.size() + 4);

    Bytes one = Concat({Unit(1, a), Unit(1, b), Unit(1, a)});
    Bytes grown = PayloadOf(Avc1(176, 144, {kSps}, {kPps}, 1), one, false);
    EXPECT_EQ(grown.size(), one.size() + 9);
}

TEST(AvcPayload, ZeroLengthUnitIsABareStartCode) {
    Bytes idr = Hex("65 88 80");
    Bytes sample = Concat({Hex("00 00 00 00"), Unit(4, idr)});
    Bytes expected = Concat({Hex("00 00 00 01"), kStored, Hex("00 00 00 01"), idr});
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, true), expected);
}

TEST(AvcPayload, UnitLongerThanTheSampleTakesWhatIsLeft) {
    Bytes sample = Concat({Hex("00 00 00 10"), Hex("65 01 02")});  // claims 16 bytes, has 3
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, true), Concat({kStored, Hex("00 00 00 01 65 01 02")}));
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, false), Hex("00 00 00 01 65 01 02"));
}

TEST(AvcPayload, BytesShorterThanAPrefixAreCopiedAsTheyAre) {
    Bytes sample = Concat({Unit(4, Hex("41 01")), Hex("AB CD")});
    EXPECT_EQ(PayloadOf(Avc1(176, 144, {kSps}, {kPps}), sample, false), Hex("00 00 00 01 41 01 AB CD"));
}

TEST(AvcPayload, ManyOneByteUnitsOutgrowTheSizingSafely) {
    // 200 one-byte units with one-byte prefixes: 400 bytes in, 1000 out, far
    // past the room allowed for five short-prefixed units.
    Bytes sample;
    for (int k = 0; k < 200; ++k) sample = Concat({sample, Unit(1, Hex("41"))});
    Bytes out = PayloadOf(Avc1(176, 144, {kSps}, {kPps}, 1), sample, false);
    EXPECT_EQ(out.size(), 1000u);
}

TEST(HevcPayload, ParameterSetsWithoutPrefixSeiGoBeforeTheFirstSlice) {
    Bytes vps = Hex("40 01 0C"), sps = Hex("42 01 01"), pps = Hex("44 01 C1"), sei = Hex("4E 01 05");
    Box entry = Hvc1(64, 64, {{39, {sei}}, {32, {vps}}, {33, {sps}}, {34, {pps}}});
    Bytes ownVps = Hex("40 01 FF"), idr = Hex("26 01 AF");
    Bytes sample = Concat({Unit(4, Hex("46 01 50")), Unit(4, ownVps), Unit(4, idr)});
    // Unit 35 (AUD) is written; the in-band VPS comes before any insertion, so
    // it is kept and ends the phase: no stored sets.
    Bytes expected = Concat({Hex("00 00 00 01 46 01 50 00 00 00 01"), ownVps, Hex("00 00 00 01"), idr});
    EXPECT_EQ(PayloadOf(entry, sample, true, true), expected);

    Bytes withSeiFirst = Concat({Unit(4, sei), Unit(4, idr)});
    Bytes inserted = Concat({Hex("00 00 00 01"), vps, Hex("00 00 00 01"), sps, Hex("00 00 00 01"), pps,
                             Hex("00 00 00 01"), sei, Hex("00 00 00 01"), idr});
    EXPECT_EQ(PayloadOf(entry, withSeiFirst, true, true), inserted);
}

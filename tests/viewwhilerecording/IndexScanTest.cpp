#include <gtest/gtest.h>

#include <vector>

#include "RecordingFixture.h"
#include "format/FourCC.h"
#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/IndexScan.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace {

using namespace vwrtest;
using ZENT::SDK::Format::FourCCLittle;
using ZENT::SDK::ViewWhileRecording::kTagG711;
using ZENT::SDK::ViewWhileRecording::kTagMetj;
using ZENT::SDK::ViewWhileRecording::kTagMett;
using ZENT::SDK::ViewWhileRecording::TrackInfo;
using ZENT::SDK::ViewWhileRecording::ViewWhileRecException;

constexpr uint32_t kTagH264 = FourCCLittle("H264");
constexpr uint32_t kTagHevc = FourCCLittle("HEVC");

// Three H.264 samples of 10, 20 and 30 bytes at 1000, 1040 and 1080 ms.
Chunk ThreeFrames(uint64_t start = 1000) {
    Chunk chunk = Chunk::Video("H264", 640, 480);
    chunk.sample(Counting(10, 1), KeyAt(start));
    chunk.sample(Counting(20, 2), DeltaAt(start + 40));
    chunk.sample(Counting(30, 3), DeltaAt(start + 80));
    return chunk;
}

Chunk OneAudioFrame(uint64_t time) {
    Chunk chunk = Chunk::Audio("G711");
    chunk.sample(Counting(8), KeyAt(time, "G711"));
    return chunk;
}

const TrackInfo* FindTrack(const ViewWhileRecImpl& reader, uint32_t tag) {
    auto found = reader.trackTable.find(tag);
    return found == reader.trackTable.end() ? nullptr : found->second.get();
}

size_t PacketCount(const ViewWhileRecImpl& reader, uint32_t tag) {
    const TrackInfo* track = FindTrack(reader, tag);
    return track ? track->packets.size() : 0;
}

std::vector<uint8_t> NonceOf(const TrackInfo& track, size_t i) {
    const uint8_t* nonce = track.packets.at(i)->nonce.get();
    return nonce ? std::vector<uint8_t>(nonce, nonce + 8) : std::vector<uint8_t>{};
}

Bytes ConfigOf(const ViewWhileRecImpl& reader, uint32_t tag) {
    const auto& info = reader.codecTable.at(tag);
    return Bytes(info.config.get(), info.config.get() + info.configLength);
}

TEST(IndexScanTest, CompleteChunkAddsItsPackets) {
    const RecordingLayout layout = InProgressRecording().chunk(ThreeFrames()).layout();
    OpenRecording open(layout.bytes);
    EXPECT_EQ(open.reader->ScanNewData(), 3);
    const TrackInfo* track = FindTrack(*open.reader, kTagH264);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->packets.size(), 3u);
    const ChunkLayout& chunk = layout.chunks[0];
    const uint32_t sizes[] = {10, 20, 30};
    const uint64_t times[] = {1000, 1040, 1080};
    for (size_t i = 0; i < 3; ++i) {
        const auto& packet = *track->packets[i];
        EXPECT_EQ(packet.offset, chunk.sampleStarts[i]);
        EXPECT_EQ(packet.size, sizes[i]);
        EXPECT_EQ(packet.timestamp, times[i]);
        EXPECT_EQ(packet.index, i);
        EXPECT_EQ(packet.isKey, i == 0);
        EXPECT_EQ(packet.isVideo, 1);
        EXPECT_EQ(packet.tag, kTagH264);
        EXPECT_EQ(Bytes(packet.record.get(), packet.record.get() + packet.recordLength),
                  i == 0 ? KeyAt(1000) : DeltaAt(times[i]));
    }
    EXPECT_TRUE(track->isVideo);
    EXPECT_TRUE(open.reader->videoSeen);
    EXPECT_FALSE(open.reader->audioSeen);
    EXPECT_EQ(open.reader->indexReader.GetPosition(), chunk.end);
    EXPECT_EQ(open.reader->codecTable.at(kTagH264).width, 640);
    EXPECT_EQ(open.reader->codecTable.at(kTagH264).height, 480);
    EXPECT_EQ(open.reader->ScanNewData(), 0);
}

TEST(IndexScanTest, ChunkWithoutItsTrailerWaitsForIt) {
    const RecordingLayout layout = InProgressRecording().chunk(ThreeFrames()).layout();
    TempFile file(Part(layout.bytes, 0, layout.chunks[0].trailerStart));
    ViewWhileRecImpl reader(file.path());
    EXPECT_EQ(reader.ScanNewData(), 0);
    EXPECT_EQ(PacketCount(reader, kTagH264), 0u);
    EXPECT_EQ(reader.indexReader.GetPosition(), layout.mdatPayloadStart);
    file.append(Part(layout.bytes, layout.chunks[0].trailerStart, layout.chunks[0].recordStarts[2]));
    EXPECT_EQ(reader.ScanNewData(), 0);
    EXPECT_EQ(PacketCount(reader, kTagH264), 0u);
    file.append(Part(layout.bytes, layout.chunks[0].recordStarts[2], layout.end));
    EXPECT_EQ(reader.ScanNewData(), 3);
    EXPECT_EQ(PacketCount(reader, kTagH264), 3u);
}

TEST(IndexScanTest, MismatchedTrailerBlocksTheChainForGood) {
    for (int mismatch = 0; mismatch < 2; ++mismatch) {
        Chunk bad = ThreeFrames();
        if (mismatch == 0)
            bad.trailerTag(ChunkTag("NORW"));
        else
            bad.trailerCount(2);
        OpenRecording open(InProgressRecording().chunk(bad).chunk(ThreeFrames(2000)).bytes());
        EXPECT_EQ(open.reader->ScanNewData(), 0);
        EXPECT_EQ(open.reader->ScanNewData(), 0);
        EXPECT_EQ(PacketCount(*open.reader, kTagH264), 0u);
    }
}

TEST(IndexScanTest, SkipBoxEndsTheScan) {
    OpenRecording nothingBefore(InProgressRecording().skipBox(Bytes(4, 0)).chunk(ThreeFrames()).bytes());
    EXPECT_EQ(nothingBefore.reader->ScanNewData(), -1);
    EXPECT_EQ(nothingBefore.reader->ScanNewData(), -1);

    OpenRecording oneBefore(InProgressRecording().chunk(ThreeFrames()).skipBox().chunk(ThreeFrames(2000)).bytes());
    EXPECT_EQ(oneBefore.reader->ScanNewData(), 3);
    EXPECT_EQ(oneBefore.reader->ScanNewData(), -1);
    EXPECT_EQ(PacketCount(*oneBefore.reader, kTagH264), 3u);
}

TEST(IndexScanTest, ChunksAreScannedUntilTheEnd) {
    OpenRecording open(
        InProgressRecording().chunk(ThreeFrames()).chunk(OneAudioFrame(1010)).chunk(ThreeFrames(2000)).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 7);
    EXPECT_EQ(PacketCount(*open.reader, kTagH264), 6u);
    EXPECT_EQ(PacketCount(*open.reader, kTagG711), 1u);
    EXPECT_TRUE(open.reader->audioSeen);
    EXPECT_FALSE(FindTrack(*open.reader, kTagG711)->isVideo);
}

TEST(IndexScanTest, PassedOverChunkAddsNothing) {
    Chunk passed = ThreeFrames(5000);
    const RecordingLayout layout = InProgressRecording().chunk(PassOver(passed)).chunk(OneAudioFrame(1000)).layout();
    OpenRecording open(layout.bytes);
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(PacketCount(*open.reader, kTagH264), 0u);
    ASSERT_EQ(PacketCount(*open.reader, kTagG711), 1u);
    EXPECT_EQ(FindTrack(*open.reader, kTagG711)->packets[0]->offset, layout.chunks[1].sampleStarts[0]);
    EXPECT_EQ(open.reader->indexReader.GetPosition(), layout.end);
}

TEST(IndexScanTest, EncryptionRecordGivesTheNextTrackItsNonce) {
    const Bytes nonce = Hex("00 00 00 00 00 00 00 FF");
    Chunk video = Chunk::Video("H264", 320, 240);
    video.sample(Counting(6), KeyAt(1000)).sample(Counting(7), DeltaAt(1040));
    OpenRecording open(InProgressRecording()
                           .chunk(EncryptionRecordChunk(nonce, "H264", Hex("12 34")))
                           .chunk(video)
                           .chunk(OneAudioFrame(1000))
                           .bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 3);
    EXPECT_EQ(open.reader->encrypted, 1u);
    // The chunk behind the encryption record still counts as video.
    EXPECT_TRUE(open.reader->videoSeen);
    const TrackInfo* track = FindTrack(*open.reader, kTagH264);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->packets.size(), 2u);
    EXPECT_EQ(NonceOf(*track, 0), nonce);
    EXPECT_EQ(NonceOf(*track, 1), Hex("00 00 00 00 00 00 01 00"));
    // A track created by a later chunk has none.
    EXPECT_EQ(NonceOf(*FindTrack(*open.reader, kTagG711), 0), Bytes{});
}

TEST(IndexScanTest, EncryptionRecordShorterThanItsNonceDoesNotStopTheScan) {
    Chunk record(ChunkTag("H264"), kEncryptionFlagIndex);
    record.sample(Hex("A1 A2 A3"), Bytes{});
    const RecordingLayout layout =
        InProgressRecording().chunk(record).chunk(ThreeFrames()).chunk(OneAudioFrame(1020)).layout();
    OpenRecording open(layout.bytes);
    int32_t status = 0;
    std::vector<uint64_t> times;
    for (const PacketView& packet : ReadAll(*open.reader, &status)) times.push_back(packet.milliseconds);
    EXPECT_EQ(times, (std::vector<uint64_t>{1000, 1020, 1040, 1080}));
    EXPECT_EQ(status, kNoNewData);
    // The 8 bytes ending the 3 sample bytes: the index record's last 5 first.
    const uint64_t recordEnd = layout.chunks[0].configurationStart;
    const TrackInfo* track = FindTrack(*open.reader, kTagH264);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(NonceOf(*track, 0), Concat({Part(layout.bytes, recordEnd - 5, recordEnd), Hex("A1 A2 A3")}));
}

TEST(IndexScanTest, ShortFrameInformationRecordsAreNotIndexed) {
    // Records below 36 bytes cannot hold the 20-byte media header at offset
    // 16; the 36-byte one (a header without extension area) is indexed.
    MediaHeader bare;
    bare.seconds = 7;
    const Bytes shortest = FrameInfoRecord(bare).bytes();
    ASSERT_EQ(shortest.size(), 36u);
    Chunk chunk = Chunk::Video("H264", 16, 16);
    chunk.sample(Counting(3), Bytes(10, 0));
    chunk.sample(Counting(4), Part(shortest, 0, 20));
    chunk.sample(Counting(5), Part(shortest, 0, 35));
    chunk.sample(Counting(6), shortest);
    chunk.sample(Counting(7), KeyAt(9000));
    const RecordingLayout layout = InProgressRecording().chunk(chunk).layout();
    OpenRecording open(layout.bytes);
    EXPECT_EQ(open.reader->ScanNewData(), 5);
    const TrackInfo* track = FindTrack(*open.reader, kTagH264);
    ASSERT_EQ(track->packets.size(), 2u);
    EXPECT_EQ(track->packets[0]->offset, layout.chunks[0].sampleStarts[3]);
    EXPECT_EQ(track->packets[0]->timestamp, 7000u);
    EXPECT_EQ(track->packets[1]->offset, layout.chunks[0].sampleStarts[4]);
    EXPECT_EQ(track->packets[1]->size, 7u);
    EXPECT_EQ(track->packets[1]->timestamp, 9000u);
    EXPECT_EQ(track->packets[1]->index, 1u);
}

TEST(IndexScanTest, ChunkWithoutFlagsIsIndexedAndSetsNoFlag) {
    Chunk chunk(ChunkTag("JPEG"), kNoFlagsIndex);
    chunk.sample(Counting(9), KeyAt(1000, "jpeg"));
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(PacketCount(*open.reader, ChunkTag("JPEG")), 1u);
    EXPECT_FALSE(open.reader->videoSeen);
    EXPECT_FALSE(open.reader->audioSeen);
    EXPECT_EQ(open.reader->encrypted, 0u);
    EXPECT_FALSE(FindTrack(*open.reader, ChunkTag("JPEG"))->isVideo);
}

TEST(IndexScanTest, AvcConfigurationGetsStartCodes) {
    Chunk first = ThreeFrames();
    first.configuration(H264ConfigurationArea(Hex("67 42 00 1E"), {Hex("68 CE 38 80"), Hex("68 01")}));
    Chunk second = ThreeFrames(2000);
    second.configuration(H264ConfigurationArea(Hex("67 64"), {}));
    OpenRecording open(InProgressRecording().chunk(first).chunk(second).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 6);
    // The first configuration of a tag stays.
    EXPECT_EQ(ConfigOf(*open.reader, kTagH264),
              Hex("00 00 00 01 67 42 00 1E 00 00 00 01 68 CE 38 80 00 00 00 01 68 01"));
}

TEST(IndexScanTest, HevcConfigurationGetsStartCodes) {
    Chunk chunk = Chunk::Video("HEVC", 1280, 720);
    chunk.configuration(
        HevcConfigurationArea({{32, {Hex("40 01 0C")}}, {33, {Hex("42 01"), Hex("42 02")}}, {34, {Hex("44 01 C1")}}}));
    chunk.sample(Counting(4), KeyAt(1000, "h265"));
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(ConfigOf(*open.reader, kTagHevc),
              Hex("00 00 00 01 40 01 0C 00 00 00 01 42 01 00 00 00 01 42 02 00 00 00 01 44 01 C1"));
}

TEST(IndexScanTest, OtherTagsKeepTheirConfigurationAsStored) {
    Chunk chunk = Chunk::Audio("AAC4");
    chunk.configuration(Hex("12 10 56 E5 00")).sample(Counting(4), KeyAt(1000, "aac "));
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(ConfigOf(*open.reader, ChunkTag("AAC4")), Hex("12 10 56 E5 00"));
}

// Reads a configuration area at offset 0 of a file holding these bytes.
template <class Reader>
Bytes ConfigurationFrom(Reader read, const Bytes& bytes, uint32_t gap) {
    TempFile file(bytes);
    ZENT::SDK::ViewWhileRecording::DataReader reader(file.path());
    const auto configuration = read(reader, gap);
    return Bytes(configuration.bytes.get(), configuration.bytes.get() + configuration.length);
}

TEST(IndexScanTest, AvcConfigurationMustFitGapPlus513Bytes) {
    using ZENT::SDK::ViewWhileRecording::ReadAvcConfiguration;
    // gap 2: room for 515 bytes, a start code and a 511-byte unit.
    const Bytes fits = Concat({Hex("01 FF"), Bytes(511, 0x67), Hex("00"), Bytes(8, 0)});
    EXPECT_EQ(ConfigurationFrom(ReadAvcConfiguration, fits, 2).size(), 515u);
    const Bytes tooLong = Concat({Hex("02 00"), Bytes(512, 0x67), Hex("00"), Bytes(8, 0)});
    EXPECT_THROW(ConfigurationFrom(ReadAvcConfiguration, tooLong, 2), ViewWhileRecException);
}

TEST(IndexScanTest, HevcConfigurationMustFitGapPlus1024Bytes) {
    using ZENT::SDK::ViewWhileRecording::ReadHevcConfiguration;
    // 600 empty units: 1204 bytes stored, 2400 converted, room for 2228.
    HevcParameterArray empties{32, std::vector<Bytes>(600)};
    const Bytes area = HevcConfigurationArea({empties});
    ASSERT_EQ(area.size(), 1204u);
    EXPECT_THROW(ConfigurationFrom(ReadHevcConfiguration, area, 1204), ViewWhileRecException);
    // 500 of them: 2000 converted, room for 2028.
    HevcParameterArray fewer{32, std::vector<Bytes>(500)};
    EXPECT_EQ(ConfigurationFrom(ReadHevcConfiguration, HevcConfigurationArea({fewer}), 1004).size(), 2000u);
}

TEST(IndexScanTest, OverlongParameterSetMakesTheChunkWait) {
    Chunk chunk = ThreeFrames();
    chunk.configuration(Concat({Hex("03 00"), Bytes(4, 0x67)}));  // claims 768 bytes in a 6-byte area
    OpenRecording open(InProgressRecording().chunk(chunk).bytes(Bytes(2000, 0)).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 0);
    EXPECT_EQ(open.reader->codecTable.count(kTagH264), 0u);
}

Chunk MetadataChunk(const Bytes& configuration) {
    Chunk chunk(ChunkTag("METT"), kNoFlagsIndex);
    chunk.configuration(configuration).sample(Counting(5), KeyAt(1000, "metj"));
    return chunk;
}

TEST(IndexScanTest, MetadataWithTheMetjTypeBecomesMetj) {
    const Bytes area = MettConfigurationArea();
    ASSERT_EQ(area.size(), 23u);
    OpenRecording open(InProgressRecording().chunk(MetadataChunk(area)).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(open.reader->codecTable.count(kTagMett), 0u);
    ASSERT_EQ(open.reader->codecTable.count(kTagMetj), 1u);
    EXPECT_FALSE(open.reader->codecTable.at(kTagMetj).inflater);
    EXPECT_EQ(ConfigOf(*open.reader, kTagMetj), area);
    ASSERT_EQ(PacketCount(*open.reader, kTagMetj), 1u);
    EXPECT_EQ(FindTrack(*open.reader, kTagMetj)->packets[0]->tag, kTagMetj);
}

TEST(IndexScanTest, MetadataOfAnotherTypeStaysMett) {
    OpenRecording open(InProgressRecording().chunk(MetadataChunk(MettConfigurationArea("", "text/plain"))).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_EQ(open.reader->codecTable.count(kTagMett), 1u);
    EXPECT_EQ(PacketCount(*open.reader, kTagMett), 1u);
}

TEST(IndexScanTest, CompressedMetadataGetsAnInflaterAndItsDictionary) {
    const Bytes dictionary = Text("{\"objects\":[{\"id\":");
    OpenRecording open(
        InProgressRecording().chunk(MetadataChunk(MettDeflateConfigurationArea(RawDeflateStored(dictionary)))).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    const auto& info = open.reader->codecTable.at(kTagMetj);
    EXPECT_TRUE(info.inflater);
    EXPECT_EQ(ConfigOf(*open.reader, kTagMetj), dictionary);
}

TEST(IndexScanTest, CompressedMetadataWithoutDictionaryKeepsItsArea) {
    const Bytes area = MettConfigurationArea(kDeflateEncoding);
    ASSERT_EQ(area.size(), 54u);
    OpenRecording open(InProgressRecording().chunk(MetadataChunk(area)).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 1);
    EXPECT_TRUE(open.reader->codecTable.at(kTagMetj).inflater);
    EXPECT_EQ(ConfigOf(*open.reader, kTagMetj), area);
}

// ---- fields that would drive allocations or offsets ------------------------------

TEST(IndexScanTest, HugeCountIsAnIncompleteChunk) {
    Chunk chunk = ThreeFrames();
    chunk.forceCount(0x80000000);
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 0);
}

TEST(IndexScanTest, HugeGapIsAnIncompleteChunk) {
    for (const char* tag : {"H264", "HEVC", "G726"}) {
        Chunk chunk = Chunk::Video(tag, 8, 8);
        chunk.sample(Counting(4), KeyAt(1000)).forceGap(0xFFFFFFF0);
        OpenRecording open(InProgressRecording().chunk(chunk).bytes());
        EXPECT_EQ(open.reader->ScanNewData(), 0) << tag;
        EXPECT_EQ(open.reader->codecTable.size(), 0u) << tag;
    }
}

TEST(IndexScanTest, HugeRecordSizeIsAnIncompleteChunk) {
    Chunk chunk = ThreeFrames();
    chunk.trailerSizes({40, 0xFFFFFFF0, 40});
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 0);
    EXPECT_EQ(PacketCount(*open.reader, kTagH264), 0u);
}

TEST(IndexScanTest, SizesSummingPast4GiBDoNotWrapOntoTheTrailer) {
    // 0xFFFFFFFF + 9 is 8 modulo 2^32: exactly where the trailer is. Summed in
    // 64 bits the trailer lies 4 GiB further, beyond the end of the file.
    Chunk chunk = Chunk::Video("H264", 8, 8);
    chunk.sample(Counting(4), KeyAt(1000)).sample(Counting(4), KeyAt(1040));
    chunk.forceSizes({0xFFFFFFFF, 9});
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    EXPECT_EQ(open.reader->ScanNewData(), 0);
    EXPECT_EQ(PacketCount(*open.reader, kTagH264), 0u);
}

}  // namespace

// The laid-out recording, read back with a walker written for this test
// alone: chunk offsets must point at the sample bytes, box sizes must add
// up, and the tables must say what the samples are.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "support/TestSupport.h"

using namespace writer;
using namespace testsupport;

namespace {

struct WalkedBox {
    std::string type;
    uint64_t offset = 0;
    uint64_t headerSize = 0;
    uint64_t size = 0;
    std::vector<WalkedBox> children;
    uint64_t contentOffset() const { return offset + headerSize; }
};

const std::set<std::string> kContainers = {"moov", "trak", "edts", "mdia", "minf", "dinf", "stbl"};

// Walks boxes in [begin, end); every box must end inside the range and the
// boxes must fill it exactly.
std::vector<WalkedBox> Walk(const Bytes& file, uint64_t begin, uint64_t end) {
    std::vector<WalkedBox> boxes;
    uint64_t position = begin;
    while (position < end) {
        WalkedBox box;
        box.offset = position;
        box.size = ReadU32(file, position);
        box.type = ReadFourCC(file, position + 4);
        box.headerSize = 8;
        if (box.size == 1) {
            box.size = ReadU64(file, position + 8);
            box.headerSize = 16;
        }
        EXPECT_GE(box.size, box.headerSize) << box.type;
        EXPECT_LE(box.size, end - position) << box.type << " runs past its parent";
        if (box.size < box.headerSize || box.size > end - position) return boxes;
        if (kContainers.count(box.type)) box.children = Walk(file, box.contentOffset(), position + box.size);
        position += box.size;
        boxes.push_back(box);
    }
    EXPECT_EQ(position, end);
    return boxes;
}

const WalkedBox* Find(const std::vector<WalkedBox>& boxes, const std::string& type) {
    for (const WalkedBox& box : boxes)
        if (box.type == type) return &box;
    return nullptr;
}

const WalkedBox* FindPath(const WalkedBox& from, std::initializer_list<std::string> path) {
    const WalkedBox* at = &from;
    for (const std::string& type : path) {
        at = Find(at->children, type);
        if (!at) return nullptr;
    }
    return at;
}

// Sample offsets from stsc, stsz and stco/co64, the textbook way.
std::vector<uint64_t> SampleOffsets(const Bytes& file, const WalkedBox& stbl) {
    const WalkedBox* stsc = Find(stbl.children, "stsc");
    const WalkedBox* stsz = Find(stbl.children, "stsz");
    const WalkedBox* stco = Find(stbl.children, "stco");
    const WalkedBox* co64 = Find(stbl.children, "co64");
    if (!stsc || !stsz || (!stco && !co64)) {
        ADD_FAILURE() << "sample table incomplete";
        return {};
    }
    uint64_t sizes = stsz->contentOffset() + 4;
    uint32_t constantSize = ReadU32(file, sizes);
    uint32_t sampleCount = ReadU32(file, sizes + 4);
    auto sizeOf = [&](uint32_t i) { return constantSize != 0 ? constantSize : ReadU32(file, sizes + 8 + 4 * i); };

    const WalkedBox* offsets = stco ? stco : co64;
    uint32_t chunkCount = ReadU32(file, offsets->contentOffset() + 4);
    auto chunkOffset = [&](uint32_t chunk) -> uint64_t {
        uint64_t at = offsets->contentOffset() + 8;
        return stco ? ReadU32(file, at + 4 * chunk) : ReadU64(file, at + 8 * chunk);
    };

    uint32_t entryCount = ReadU32(file, stsc->contentOffset() + 4);
    std::vector<uint64_t> result;
    uint32_t sample = 0;
    for (uint32_t e = 0; e < entryCount; ++e) {
        uint64_t at = stsc->contentOffset() + 8 + 12 * e;
        uint32_t firstChunk = ReadU32(file, at);
        uint32_t perChunk = ReadU32(file, at + 4);
        uint32_t lastChunk = e + 1 < entryCount ? ReadU32(file, at + 12) - 1 : chunkCount;
        for (uint32_t chunk = firstChunk; chunk <= lastChunk; ++chunk) {
            uint64_t offset = chunkOffset(chunk - 1);
            for (uint32_t i = 0; i < perChunk && sample < sampleCount; ++i, ++sample) {
                result.push_back(offset);
                offset += sizeOf(sample);
            }
        }
    }
    EXPECT_EQ(result.size(), sampleCount);
    return result;
}

Bytes SampleBytesFor(uint32_t track, uint32_t sample, uint32_t size) {
    Bytes bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = uint8_t(track * 100 + sample * 7 + i);
    return bytes;
}

// Video: 7 samples of 1/30 s in chunks of 2 (chunk starts 0, 2/30, 4/30,
// 6/30 s). Audio: 5 samples of 0.1 s in chunks of 1, 3, 3 (starts 0, 0.1,
// 0.4 s).
Recording TwoTrackRecording() {
    Recording recording;
    Track& video = recording.addTrack(VideoTrack(Avc1(16, 16, {MinimalAvcSps(16, 16)}, {MinimalAvcPps()})));
    video.samplesPerChunk = 2;
    for (uint32_t i = 0; i < 7; ++i) video.add(SampleBytesFor(0, i, 10 + i), 3000, i % 3 == 0);
    Track& audio = recording.addTrack(AudioTrack(Ulaw(), 8000));
    audio.chunkSizes = {1, 3};
    for (uint32_t i = 0; i < 5; ++i) audio.add(SampleBytesFor(1, i, 20 + 3 * i), 800);
    return recording;
}

using LayoutCase = std::tuple<BoxOrder, ChunkOffsetTable, bool>;

class RecordingLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(RecordingLayout, ChunkOffsetsPointAtTheSampleBytes) {
    auto [order, offsetTable, largeMdat] = GetParam();
    Recording recording = TwoTrackRecording();
    recording.order = order;
    recording.mdatLargeSize = largeMdat;
    for (Track& track : recording.tracks) track.chunkOffsets = offsetTable;
    Bytes file = recording.bytes();
    Layout layout = recording.layout();
    EXPECT_EQ(layout.fileSize, file.size());

    std::vector<WalkedBox> top = Walk(file, 0, file.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].type, "ftyp");
    EXPECT_EQ(top[1].type, order == BoxOrder::MdatFirst ? "mdat" : "moov");
    EXPECT_EQ(top[2].type, order == BoxOrder::MdatFirst ? "moov" : "mdat");
    const WalkedBox& mdat = *Find(top, "mdat");
    EXPECT_EQ(mdat.headerSize, largeMdat ? 16u : 8u);
    EXPECT_EQ(mdat.size, mdat.headerSize + (10 + 11 + 12 + 13 + 14 + 15 + 16) + (20 + 23 + 26 + 29 + 32));

    const WalkedBox& moov = *Find(top, "moov");
    std::vector<const WalkedBox*> traks;
    for (const WalkedBox& box : moov.children)
        if (box.type == "trak") traks.push_back(&box);
    ASSERT_EQ(traks.size(), 2u);
    for (uint32_t t = 0; t < 2; ++t) {
        const WalkedBox* stbl = FindPath(*traks[t], {"mdia", "minf", "stbl"});
        ASSERT_NE(stbl, nullptr);
        EXPECT_NE(Find(stbl->children, offsetTable == ChunkOffsetTable::Stco ? "stco" : "co64"), nullptr);
        std::vector<uint64_t> offsets = SampleOffsets(file, *stbl);
        const Track& track = recording.tracks[t];
        ASSERT_EQ(offsets.size(), track.sampleCount());
        for (uint32_t i = 0; i < track.sampleCount(); ++i) {
            const Bytes& expected = track.sampleData[i];
            ASSERT_GE(offsets[i], mdat.contentOffset());
            ASSERT_LE(offsets[i] + expected.size(), mdat.offset + mdat.size);
            EXPECT_EQ(Bytes(file.begin() + offsets[i], file.begin() + offsets[i] + expected.size()), expected)
                << "track " << t << " sample " << i;
            EXPECT_EQ(layout.sampleOffsets[t][i], offsets[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OrdersAndOffsetTables, RecordingLayout,
                         ::testing::Combine(::testing::Values(BoxOrder::MdatFirst, BoxOrder::MoovFirst),
                                            ::testing::Values(ChunkOffsetTable::Stco, ChunkOffsetTable::Co64),
                                            ::testing::Bool()));

TEST(RecordingBuilder, ChunksInterleaveInTimeOrder) {
    Layout layout = TwoTrackRecording().layout();
    std::vector<std::pair<uint32_t, uint32_t>> order;
    for (const ChunkPlace& place : layout.chunks) order.push_back({place.track, place.chunk});
    // video 0 (0 s), audio 0 (0 s, later track), video 1 (0.067), audio 1
    // (0.1), video 2 (0.133), video 3 (0.2), audio 2 (0.4)
    std::vector<std::pair<uint32_t, uint32_t>> expected = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {0, 3}, {1, 2}};
    EXPECT_EQ(order, expected);
    // The file starts with ftyp (32 bytes) and the mdat header.
    EXPECT_EQ(layout.chunks[0].offset, 32u + 8u);
    EXPECT_EQ(layout.chunks[1].offset, 32u + 8u + 10u + 11u);
    EXPECT_EQ(layout.chunks[2].offset, 32u + 8u + 10u + 11u + 20u);
}

TEST(RecordingBuilder, SampleTablesSayWhatTheSamplesAre) {
    Recording recording = TwoTrackRecording();
    recording.tracks[0].samples[1].compositionOffset = 6000;
    Bytes file = recording.bytes();
    std::vector<WalkedBox> top = Walk(file, 0, file.size());
    const WalkedBox& moov = *Find(top, "moov");
    const WalkedBox* videoStbl = FindPath(moov.children[1], {"mdia", "minf", "stbl"});
    const WalkedBox* audioStbl = FindPath(moov.children[2], {"mdia", "minf", "stbl"});
    ASSERT_TRUE(videoStbl && audioStbl);
    auto boxBytes = [&](const WalkedBox* stbl, const std::string& type) {
        const WalkedBox* box = Find(stbl->children, type);
        return box ? Bytes(file.begin() + box->offset, file.begin() + box->offset + box->size) : Bytes();
    };
    EXPECT_EQ(boxBytes(videoStbl, "stts"), Hex("00000018 73747473 00000000 00000001 00000007 00000BB8"));
    EXPECT_EQ(boxBytes(videoStbl, "ctts"),
              Hex("00000028 63747473 00000000 00000003 00000001 00000000 00000001 00001770 00000005 00000000"));
    EXPECT_EQ(boxBytes(videoStbl, "stss"), Hex("0000001C 73747373 00000000 00000003 00000001 00000004 00000007"));
    // chunks of 2, 2, 2, then the 1 sample left
    EXPECT_EQ(boxBytes(videoStbl, "stsc"), Hex("00000028 73747363 00000000 00000002 00000001 00000002 00000001 "
                                               "00000004 00000001 00000001"));
    // chunks of 1, 3, then the 1 sample left
    EXPECT_EQ(boxBytes(audioStbl, "stsc"), Hex("00000034 73747363 00000000 00000003 00000001 00000001 00000001 "
                                               "00000002 00000003 00000001 00000003 00000001 00000001"));
    EXPECT_TRUE(boxBytes(audioStbl, "stss").empty());  // every audio sample is a sync sample
    EXPECT_TRUE(boxBytes(audioStbl, "ctts").empty());

    const WalkedBox* audioMinf = FindPath(moov.children[2], {"mdia", "minf"});
    EXPECT_NE(Find(audioMinf->children, "smhd"), nullptr);

    // mvhd duration is the longest track in movie units: video 7/30 s, audio 0.5 s
    EXPECT_EQ(ReadU32(file, moov.children[0].offset + 8 + 16), 500u);
}

TEST(RecordingBuilder, SyncAndSizeTableOptions) {
    Recording recording = TwoTrackRecording();
    Track& audio = recording.tracks[1];
    audio.syncTable = SyncTable::Empty;
    audio.sampleSizes = SampleSizeTable::PerSample;
    recording.tracks[0].syncTable = SyncTable::None;
    Track& constant = recording.addTrack(AudioTrack(Alaw(), 8000));
    constant.syncTable = SyncTable::Listed;
    for (int i = 0; i < 3; ++i) constant.add(Bytes(40, uint8_t(i)), 320);
    Bytes file = recording.bytes();
    std::vector<WalkedBox> top = Walk(file, 0, file.size());
    const WalkedBox& moov = *Find(top, "moov");
    auto table = [&](size_t trak, const std::string& type) {
        const WalkedBox* box = Find(FindPath(moov.children[trak], {"mdia", "minf", "stbl"})->children, type);
        return box ? Bytes(file.begin() + box->offset, file.begin() + box->offset + box->size) : Bytes();
    };
    EXPECT_TRUE(table(1, "stss").empty());
    EXPECT_EQ(table(2, "stss"), Hex("00000010 73747373 00000000 00000000"));
    EXPECT_EQ(table(2, "stsz").size(), 20u + 4u * 5u);
    EXPECT_EQ(table(3, "stsz"), Hex("00000014 7374737A 00000000 00000028 00000003"));
    EXPECT_EQ(table(3, "stss"), Hex("0000001C 73747373 00000000 00000003 00000001 00000002 00000003"));
}

TEST(RecordingBuilder, CompanionTrackFollowsItsMediaTrack) {
    Recording recording;
    Track& video = recording.addTrack(VideoTrack(Avc1(16, 16, {MinimalAvcSps(16, 16)}, {MinimalAvcPps()})));
    video.samplesPerChunk = 2;
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 3; ++i) {
        video.add(SampleBytesFor(0, i, 30), 3000, i == 0);
        MediaHeader header;
        header.frameType = i == 0 ? 0 : 1;
        header.seconds = 1000 + i;
        records.push_back(FrameInfoRecord(header, UserData().recordTime(1000 + i, 0)).bytes());
    }
    recording.addCompanion(records);
    ASSERT_EQ(recording.tracks.size(), 2u);
    const Track& companion = recording.tracks[1];
    EXPECT_EQ(companion.handler, "norv");
    EXPECT_EQ(companion.sampleCount(), 3u);
    EXPECT_EQ(companion.timescale, video.timescale);

    Bytes file = recording.bytes();
    std::vector<WalkedBox> top = Walk(file, 0, file.size());
    const WalkedBox& moov = *Find(top, "moov");
    const WalkedBox* hdlr = FindPath(moov.children[2], {"mdia", "hdlr"});
    ASSERT_NE(hdlr, nullptr);
    EXPECT_EQ(ReadFourCC(file, hdlr->contentOffset() + 8), "norv");
    std::vector<uint64_t> offsets = SampleOffsets(file, *FindPath(moov.children[2], {"mdia", "minf", "stbl"}));
    ASSERT_EQ(offsets.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(Bytes(file.begin() + offsets[i], file.begin() + offsets[i] + records[i].size()), records[i]);
}

TEST(RecordingBuilder, StreamedFileEqualsTheBytesInMemory) {
    Recording recording = TwoTrackRecording();
    recording.order = BoxOrder::MoovFirst;
    Track& generated = recording.addTrack(VideoTrack(Mp4v(16, 16)));
    generated.samplesPerChunk = 3;
    for (uint32_t i = 0; i < 50; ++i) generated.addSized(17 + i % 5, 1500, i % 10 == 0);
    generated.sampleBytes = [](uint32_t index, uint8_t* out, uint32_t size) {
        for (uint32_t i = 0; i < size; ++i) out[i] = uint8_t(index ^ i);
    };
    TempFile file;
    recording.writeFile(file.path());
    Bytes written = file.read();
    EXPECT_EQ(written, recording.bytes());
    Layout layout = recording.layout();
    // sample 7 has 17 + 2 bytes, each its index XOR its position
    uint64_t at = layout.sampleOffsets[2][7];
    Bytes expected(19);
    for (uint32_t i = 0; i < 19; ++i) expected[i] = uint8_t(7 ^ i);
    EXPECT_EQ(Bytes(written.begin() + at, written.begin() + at + 19), expected);
}

// Laid out only, never written: two samples of almost 4 GiB.
TEST(RecordingBuilder, MediaDataBeyond4GiBNeedsLargeSizeAndCo64) {
    Recording recording;
    Track& track = recording.addTrack(VideoTrack(Mp4v(16, 16)));
    track.addSized(0xFFFFFFF0u, 3000);
    track.addSized(0xFFFFFFF0u, 3000);
    track.sampleBytes = [](uint32_t, uint8_t*, uint32_t) {};
    EXPECT_THROW(recording.layout(), std::length_error);  // the second chunk lies above 4 GiB
    track.chunkOffsets = ChunkOffsetTable::Co64;
    Layout layout = recording.layout();
    EXPECT_EQ(layout.mdatHeaderSize, 16u);
    EXPECT_EQ(layout.sampleOffsets[0][1], 32ull + 16ull + 0xFFFFFFF0ull);
}

TEST(RecordingBuilder, EverySampleNeedsItsBytes) {
    Recording recording;
    recording.addTrack(AudioTrack(Ulaw(), 8000)).addSized(4, 160);
    EXPECT_THROW(recording.layout(), std::logic_error);
}

}  // namespace

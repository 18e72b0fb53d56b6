// The packet order across hundreds of tracks, one new codec tag per chunk,
// against a plain sort of what the writer wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "RecordingFixture.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "writer/CraftedInputs.h"

namespace {

using namespace vwrtest;

using Order = std::vector<std::pair<uint64_t, uint32_t>>;  // (milliseconds, tag)

// 1 to 3 samples 10 or 20 ms apart, under a tag whose order is unlike the
// file's; each sample's payload is its tag.
void AppendTrackChunk(InProgressFile& file, uint32_t track, uint64_t firstTime, Order* written) {
    const uint32_t tag = 0x01000000u | ((track * 2654435761u) & 0xFFFFFFu);
    Chunk chunk(tag, kAudioFlagIndex);
    for (uint32_t i = 0; i <= track % 3; ++i) {
        written->emplace_back(firstTime + i * 10 * (1 + track % 2), tag);
        chunk.sample(Bytes{uint8_t(tag >> 24), uint8_t(tag >> 16), uint8_t(tag >> 8), uint8_t(tag)},
                     KeyAt(written->back().first, "G711"));
    }
    file.appendChunk(chunk);
}

Order Read(ViewWhileRecImpl& reader, int32_t* status) {
    Order order;
    for (const PacketView& packet : ReadAll(reader, status, 100000)) {
        const Bytes& tag = packet.payload;
        order.emplace_back(packet.milliseconds, (uint32_t(tag[0]) << 24) | (tag[1] << 16) | (tag[2] << 8) | tag[3]);
    }
    return order;
}

// The packets at or after `from` by time, ascending or descending, and at
// equal times the smaller tag first.
Order Expected(Order packets, uint64_t from = 0, bool descending = false) {
    packets.erase(std::remove_if(packets.begin(), packets.end(), [&](const auto& p) { return p.first < from; }),
                  packets.end());
    std::sort(packets.begin(), packets.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return descending ? a.first > b.first : a.first < b.first;
        return a.second < b.second;
    });
    return packets;
}

TEST(PacketSelectorTest, HundredsOfTracksMergeByTimeThenTag) {
    TempFile placeholder;
    InProgressFile file(placeholder.path());
    file.appendHead(InProgressRecording());
    // The largest tag, without packets: its record is too short to be indexed.
    file.appendChunk(Chunk(0xFFFFFF00u, kAudioFlagIndex).sample(Bytes{}, Bytes(4, 0)));
    Order all;
    for (uint32_t track = 0; track < 200; ++track) AppendTrackChunk(file, track, 1000 + track * 7 % 40 * 10, &all);
    ViewWhileRecImpl reader{boost::filesystem::path(file.path())};
    int32_t status = 0;
    EXPECT_EQ(Read(reader, &status), Expected(all));
    EXPECT_EQ(status, kNoNewData);

    // New tracks earlier than packets handed out already, and old tracks going on.
    Order added;
    for (uint32_t track = 200; track < 300; ++track) AppendTrackChunk(file, track, 1200 + track * 3 % 40 * 10, &added);
    for (uint32_t track = 0; track < 50; ++track) AppendTrackChunk(file, track, 2000 + track % 5 * 10, &added);
    EXPECT_EQ(Read(reader, &status), Expected(added));
    all.insert(all.end(), added.begin(), added.end());

    // A seek in the direction read so far: no track's last answer holds.
    ASSERT_EQ(reader.Seek(1300), kOk);
    EXPECT_EQ(Read(reader, &status), Expected(all, 1300));
    // New tracks join at the sought time; old ones past their end are sought again.
    added.clear();
    for (uint32_t track = 300; track < 360; ++track) AppendTrackChunk(file, track, 1250 + track % 20 * 10, &added);
    for (uint32_t track = 50; track < 70; ++track) AppendTrackChunk(file, track, 3000 + track % 4 * 10, &added);
    EXPECT_EQ(Read(reader, &status), Expected(added, 1300));
    all.insert(all.end(), added.begin(), added.end());

    // Backward from beyond the end; at the start the track of the largest
    // tag answers, and having no packets it has no new data.
    reader.direction = -1;
    ASSERT_EQ(reader.Seek(10000), kOk);
    EXPECT_EQ(Read(reader, &status), Expected(all, 0, true));
    EXPECT_EQ(status, kNoNewData);
}

TEST(PacketSelectorTest, ChunkPerTagRecordingOfTheLimitRunHandsOutEveryPacket) {
    // Chunk k is at 1700000000 s plus (300 - k) ms, under the tag 0x54 | k << 8:
    // the last chunk comes first.
    OpenRecording open(ChunkPerTagRecording(300));
    int32_t status = 0;
    Order expected;
    for (uint32_t k = 300; k-- > 0;) expected.emplace_back(1700000000000u + 300 - k, 0);
    Order seen;
    for (const PacketView& packet : ReadAll(*open.reader, &status)) seen.emplace_back(packet.milliseconds, 0);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(status, kNoNewData);
}

}  // namespace

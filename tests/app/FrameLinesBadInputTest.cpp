// Frame lines of damaged recordings: a packet the reader cannot make ends the
// report silently there, the lines before it stay exact and the summary
// follows. A zero-length unit in a key frame is no damage.
#include "FrameLinesTest.h"

#include <algorithm>
#include <functional>

namespace {

using namespace framelines;
using writer::FlagWord;
using writer::FrameInfoRecord;
using writer::LengthForm;
using writer::Recording;
using writer::UserData;

constexpr uint32_t B = 1720000000;  // 2024-07-03 09:46:40 UTC
constexpr size_t kFrames = 5;
constexpr size_t kDamaged = 2;

Bytes GoodHeader(size_t i) {
    return MediaHeader("h264", i == 0 ? 0 : 1, 0, Flags(48), B + uint32_t(i), uint16_t(40 * i), VideoExtension());
}

// The first two records carry a large vendor element, so the buffer that
// receives records is larger than any length the damaged one declares.
UserData GoodUserData(size_t i) {
    return UserData().item(0x70, Bytes(400, 0x77), LengthForm::Long2).recordTime(B + uint32_t(i), uint32_t(40 * i));
}

struct DamageCase {
    std::string label;
    std::function<Bytes()> damagedRecord;
};

std::vector<DamageCase> DamageCases() {
    return {
        // X says 200 bytes of user data follow; 14 do.
        {"UserDataShorterThanDeclared",
         [] {
             return FrameInfoRecord()
                 .headerBytes(GoodHeader(kDamaged))
                 .userData(UserData().recordTime(B, 0))
                 .forceUserDataLength(200)
                 .bytes();
         }},
        // H says 100 header bytes; the record ends 24 bytes after it.
        {"HeaderShorterThanDeclared",
         [] { return FrameInfoRecord().headerBytes(GoodHeader(kDamaged)).forceHeaderLength(100).bytes(); }},
        // E = 9 announces 36 extension bytes in a header of 24.
        {"ExtensionPastTheRecord",
         [] {
             writer::MediaHeader header;
             header.codec = "h264";
             header.frameType = 1;
             header.seconds = B + kDamaged;
             header.extension = VideoExtension();
             header.extensionWords = 9;
             return FrameInfoRecord().header(header).userData(GoodUserData(kDamaged)).bytes();
         }},
        // An item whose length (0x20) runs past the extension area.
        {"ItemPastTheExtension",
         [] {
             FlagWord flags;
             flags.taggedItems = true;
             const Bytes header = MediaHeader("h264", 1, 0, flags.value(), B + kDamaged, 80,
                                              VideoExtension({}, {0x31, 0x20, 0x01, 0x02}));
             return Record(header, GoodUserData(kDamaged));
         }},
    };
}

std::string UndamagedLinesAndSummary(const SliceTrack& video) {
    std::vector<Frame> expected;
    for (size_t i = 0; i < kDamaged; ++i) {
        Frame frame;
        frame.letter = i == 0 ? 'I' : 'P';
        frame.time = Time{B + uint32_t(i), uint32_t(40 * i), 0, 0};
        frame.mediaHeader = GoodHeader(i);
        frame.payload = video.payloads[i];
        expected.push_back(frame);
    }
    return Lines(expected) + Summary("video only", {{0x8, uint32_t(kFrames), 0}});
}

std::vector<bool> SyncFlags() {
    std::vector<bool> sync(kFrames, false);
    sync[0] = true;
    return sync;
}

class FrameLinesDamagedRecord : public ::testing::TestWithParam<DamageCase> {};

TEST_P(FrameLinesDamagedRecord, EndsTheReportAtThatFrame) {
    const SliceTrack video = SliceVideo(SyncFlags());
    std::vector<Bytes> records;
    for (size_t i = 0; i < kFrames; ++i)
        records.push_back(i == kDamaged ? GetParam().damagedRecord() : Record(GoodHeader(i), GoodUserData(i)));
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);

    EXPECT_EQ(FrameReportOf(recording, 1), UndamagedLinesAndSummary(video));
}

INSTANTIATE_TEST_SUITE_P(Records, FrameLinesDamagedRecord, ::testing::ValuesIn(DamageCases()),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.label; });

// The chunk of the third video sample is said to lie past the end of the file.
TEST(FrameLinesDamagedFile, ChunkOffsetPastTheEndEndsTheReportThere) {
    const SliceTrack video = SliceVideo(SyncFlags());
    std::vector<Bytes> records;
    for (size_t i = 0; i < kFrames; ++i) records.push_back(Record(GoodHeader(i), GoodUserData(i)));
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);

    // One sample per chunk: the video track's chunk offset table is the
    // first "stco" of the movie, its entry k the offset of sample k.
    Bytes bytes = recording.bytes();
    const Bytes stco = writer::Text("stco");
    const auto found = std::search(bytes.begin(), bytes.end(), stco.begin(), stco.end());
    ASSERT_NE(found, bytes.end());
    const size_t entries = size_t(found - bytes.begin()) + 4 + 8;  // after the type, version, flags and count
    ASSERT_EQ(writer::ReadU32(bytes, entries - 4), kFrames);
    const uint32_t pastTheEnd = uint32_t(bytes.size() + 1000);
    for (int b = 0; b < 4; ++b) bytes[entries + 4 * kDamaged + size_t(b)] = uint8_t(pastTheEnd >> (24 - 8 * b));

    testsupport::TempFile file(bytes);
    EXPECT_EQ(FrameReportOf(file.path(), 1), UndamagedLinesAndSummary(video));
}

// A zero-length unit before the IDR slice of a key frame becomes a bare
// start code; the stored parameter sets still go before the slice, and the
// report goes on.
TEST(FrameLinesZeroLengthUnit, BecomesABareStartCode) {
    const Bytes idr = Slice(true, 0x40);
    const Bytes next = Slice(false, 0x48);
    writer::Track track = AvcTrack();
    track.add(LengthPrefixed({Bytes{}, idr}), 40, true);
    track.add(LengthPrefixed({next}), 40, false);
    const Bytes header0 = GoodHeader(0);
    const Bytes header1 = GoodHeader(1);
    Recording recording;
    recording.addTrack(track);
    recording.addCompanion({Record(header0), Record(header1)});

    Frame first;
    first.time = Time{B, 0, 0, 0};
    first.mediaHeader = header0;
    first.payload = writer::Concat({kStartCode, HandedOut(idr, true)});
    Frame second;
    second.letter = 'P';
    second.time = Time{B + 1, 40, 0, 0};
    second.mediaHeader = header1;
    second.payload = HandedOut(next, false);
    EXPECT_EQ(FrameReportOf(recording, 3), Lines({first, second}) + Summary("video only", {{0x8, 2, 0}}));
}

}  // namespace

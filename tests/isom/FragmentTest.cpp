// Fragmented recordings: the samples of movie fragments read through the same
// packet road as a plain file's, fragments cut by the end of the file, and
// fragments that are malformed.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "ReaderFixture.h"
#include "isom/FragmentProgress.h"
#include "isom/PacketOrigin.h"

using namespace writer;

namespace {

// What a packet shows of its sample: the frame bytes as handed out (built
// or companion header, then the payload), the frame type and the origin.
struct Packet {
    int32_t status = 0;
    Bytes frame;
    int32_t frameType = 0;
    TPacketOrigin origin{};
};

std::vector<Packet> ReadAll(AVReader& reader) {
    std::vector<Packet> packets;
    reader.SeekTime(0, 0);
    for (int guard = 0; guard < 100000; ++guard) {
        TMediaPacket* media = nullptr;
        Packet packet;
        packet.status = reader.ReadPacket(&media);
        if (packet.status == kEndOfStream) break;
        if (media && packet.status != kReaderException) {
            packet.frame.assign(media->frameData, media->frameData + media->headerSize + media->payloadSize);
            packet.frameType = media->frameType;
            AVReaderGetPacketOrigin(&reader, &packet.origin);
        }
        packets.push_back(packet);
    }
    return packets;
}

// Everything a packet shows, comparable at once.
auto Fields(const Packet& p) {
    const TPacketOrigin& o = p.origin;
    return std::make_tuple(p.status, p.frame, p.frameType, o.track, o.sample, o.sync, o.decodeTime, o.presentationTime,
                           o.duration);
}

void ExpectSamePackets(const std::vector<Packet>& got, const std::vector<Packet>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(Fields(got[i]) == Fields(want[i])) << "packet " << i;
}

TFragmentProgress Progress(AVReader& reader) {
    TFragmentProgress progress{};
    EXPECT_EQ(AVReaderGetFragmentProgress(&reader, &progress), kReaderOk);
    return progress;
}

Bytes LengthPrefixed(const Bytes& unit) { return Concat({ByteWriter().u32(uint32_t(unit.size())).take(), unit}); }

// 30 H.264 samples of 512 units at 12800 Hz (1.2 s), a key frame every 4,
// each one length-prefixed unit (IDR 0x65 or non-IDR 0x41) of its own size;
// with composition, B-frame-like non-negative offsets.
Track VideoSamples(bool composition) {
    Track track = VideoTrack(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), 12800, 176, 144);
    const int32_t offsets[] = {1024, 0, 512, 1536};
    for (uint32_t j = 0; j < 30; ++j) {
        const bool key = j % 4 == 0;
        Bytes unit = Concat({Bytes(1, key ? 0x65 : 0x41), Bytes(6 + j % 5, uint8_t(j))});
        std::optional<int32_t> offset;
        if (composition) offset = offsets[j % 4];
        track.add(LengthPrefixed(unit), 512, key, offset);
    }
    return track;
}

// 20 AAC samples of 1024 units at 16000 Hz (1.28 s) of varying sizes.
Track AudioSamples() {
    AudioFields fields;
    fields.sampleRate = 16000;
    Track track = AudioTrack(Mp4a(fields, AacAudioSpecificConfig(2, 16000, 1)), 16000);
    for (uint32_t j = 0; j < 20; ++j) track.add(Bytes(20 + j % 3, uint8_t(0xA0 + j)), 1024);
    return track;
}

// A frame-information record per video sample: a header at a camera time
// of its own, and a stream-time item.
std::vector<Bytes> CompanionRecords(const Track& video) {
    std::vector<Bytes> records;
    for (uint32_t j = 0; j < video.sampleCount(); ++j) {
        MediaHeader header;
        header.frameType = video.samples[j].sync ? 0x00 : 0x10;
        header.seconds = 1600000000 + j / 25;
        header.milliseconds = uint16_t(j % 25 * 40);
        header.extension = Bytes(4, 0);
        records.push_back(FrameInfoRecord(header, UserData().streamTime(header.seconds, j)).bytes());
    }
    return records;
}

struct SameSamplesCase {
    const char* name;
    uint32_t samplesInMovie;
    uint32_t samplesPerFragment;
    uint32_t runsPerTrackFragment;
    FragmentDefaults defaults;
    DataOffsetBase base;
    bool decodeTimes;
    uint8_t decodeTimeVersion;
    bool laterRunsFollowOn;
    bool composition;
    bool companion;
};

void PrintTo(const SameSamplesCase& c, std::ostream* out) { *out << c.name; }

class SameSamples : public ::testing::TestWithParam<SameSamplesCase> {};

// The strongest check: the same samples written as a plain recording give
// the same packets, byte for byte, with the same key flags and times, and
// the same summary figures.
TEST_P(SameSamples, AsThePlainRecording) {
    const SameSamplesCase& c = GetParam();
    Recording plain;
    FragmentedRecording fragmented;
    FragmentPlan& plan = fragmented.plan;
    plan.samplesInMovie = c.samplesInMovie;
    plan.samplesPerFragment = c.samplesPerFragment;
    plan.runsPerTrackFragment = c.runsPerTrackFragment;
    plan.defaults = c.defaults;
    plan.base = c.base;
    plan.decodeTimes = c.decodeTimes;
    plan.decodeTimeVersion = c.decodeTimeVersion;
    plan.laterRunsFollowOn = c.laterRunsFollowOn;
    const Track video = VideoSamples(c.composition);
    plain.addTrack(video);
    fragmented.addTrack(video);
    if (c.companion) {
        plain.addCompanion(CompanionRecords(video));
        fragmented.addCompanion(CompanionRecords(video));
    }
    plain.addTrack(AudioSamples());
    fragmented.addTrack(AudioSamples());

    OpenedFile reference = OpenBytes(plain.bytes());
    OpenedFile opened = OpenBytes(fragmented.bytes());
    ASSERT_EQ(reference.status, 0);
    ASSERT_EQ(opened.status, 0);
    AVReader& reader = *opened.reader;
    ASSERT_EQ(reader.GetTrackCount(), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(reader.GetTrackCodecType(i), reference.reader->GetTrackCodecType(i));
        EXPECT_EQ(reader.GetTrackSampleCount(i), reference.reader->GetTrackSampleCount(i));
        EXPECT_EQ(reader.GetTrackDuration(i), reference.reader->GetTrackDuration(i));
    }
    // 30 and 20 samples written; 1.2 s and 1.28 s.
    EXPECT_EQ(reader.GetTrackSampleCount(0), 30u);
    EXPECT_EQ(reader.GetTrackSampleCount(1), 20u);
    EXPECT_EQ(reader.GetDuration(), 1u);
    const std::vector<Packet> packets = ReadAll(reader);
    EXPECT_EQ(packets.size(), 50u);
    for (const Packet& packet : packets) EXPECT_EQ(packet.status, kReaderOk);
    ExpectSamePackets(packets, ReadAll(*reference.reader));

    // Every fragment was read whole, up to the end of the file.
    const TFragmentProgress progress = Progress(reader);
    EXPECT_EQ(progress.fragmented, 1u);
    EXPECT_EQ(progress.completeFragments, fragmented.layout().fragments.size());
    EXPECT_EQ(progress.endOffset, fragmented.layout().fileSize);
    EXPECT_EQ(progress.bytesAfter, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, SameSamples,
    ::testing::Values(SameSamplesCase{"PerSampleFieldsFromTheMoof", 0, 4, 1, FragmentDefaults::PerSample,
                                      DataOffsetBase::Moof, true, 1, false, false, false},
                      SameSamplesCase{"TfhdDefaultsExplicitBaseTwoRuns", 0, 3, 2, FragmentDefaults::TrackFragment,
                                      DataOffsetBase::Explicit, true, 0, true, false, false},
                      SameSamplesCase{"TrexDefaultsImplicitBase", 0, 5, 1, FragmentDefaults::TrackExtends,
                                      DataOffsetBase::FirstTrackFragment, true, 1, false, false, false},
                      SameSamplesCase{"MovieSamplesBeforeTheFragments", 6, 4, 1, FragmentDefaults::TrackFragment,
                                      DataOffsetBase::Moof, true, 1, false, false, false},
                      SameSamplesCase{"NoDecodeTimesRunsFollowOn", 0, 4, 3, FragmentDefaults::PerSample,
                                      DataOffsetBase::FirstTrackFragment, false, 1, true, false, false},
                      SameSamplesCase{"CompositionOffsetsKeyFramesLeadTheRuns", 0, 4, 1,
                                      FragmentDefaults::TrackFragment, DataOffsetBase::Moof, true, 1, false, true,
                                      false},
                      SameSamplesCase{"CompanionTrackFragmentedToo", 0, 4, 2, FragmentDefaults::TrackExtends,
                                      DataOffsetBase::Moof, true, 1, false, false, true}),
    [](const ::testing::TestParamInfo<SameSamplesCase>& info) { return std::string(info.param.name); });

// One video track of three samples of 512 units at 12800 Hz in one fragment,
// with the given composition offsets in a run of the given version.
OpenedFile ThreeSamplesWithOffsets(uint8_t runVersion, const std::vector<int32_t>& offsets,
                                   uint64_t decodeTimeGap = 0) {
    FragmentedRecording recording;
    recording.plan.samplesPerFragment = 3;
    recording.plan.runVersion = runVersion;
    recording.plan.decodeTimeGap = decodeTimeGap;
    Track track = VideoTrack(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), 12800, 176, 144);
    for (size_t j = 0; j < offsets.size(); ++j) track.add(LengthPrefixed(Hex("41 01 02")), 512, j == 0, offsets[j]);
    recording.addTrack(track);
    return OpenBytes(recording.bytes());
}

TEST(FragmentTimes, CompositionOffsetsOfBothRunVersions) {
    // Decode times 0, 512, 1024; presentation = decode + offset, the offset
    // unsigned in a version 0 run (the word FFFFFFFF is 4294967295) and
    // signed in a version 1 run (the same word is -1).
    const struct {
        uint8_t version;
        std::vector<int32_t> offsets;
        std::vector<int64_t> presentation;
    } rows[] = {
        {0, {1024, 0, 512}, {1024, 512, 1536}},
        {0, {0, -1, 0}, {0, 512 + 4294967295LL, 1024}},
        {1, {0, -1, 0}, {0, 511, 1024}},
        {1, {512, -512, -1024}, {512, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("version " + std::to_string(row.version) + ", offset " + std::to_string(row.offsets[1]));
        OpenedFile opened = ThreeSamplesWithOffsets(row.version, row.offsets);
        ASSERT_EQ(opened.status, 0);
        const std::vector<Packet> packets = ReadAll(*opened.reader);
        ASSERT_EQ(packets.size(), 3u);
        for (size_t j = 0; j < 3; ++j) {
            EXPECT_EQ(packets[j].origin.decodeTime, int64_t(512 * j));
            EXPECT_EQ(packets[j].origin.presentationTime, row.presentation[j]);
            EXPECT_EQ(packets[j].origin.duration, 512);
        }
    }
}

TEST(FragmentTimes, DecodeTimeOfTheTrackFragmentIsTaken) {
    // The tfdt says the first sample decodes at 25600 (2 s), not at 0.
    OpenedFile opened = ThreeSamplesWithOffsets(0, {0, 0, 0}, 25600);
    ASSERT_EQ(opened.status, 0);
    const std::vector<Packet> packets = ReadAll(*opened.reader);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].origin.decodeTime, 25600);
    EXPECT_EQ(packets[2].origin.decodeTime, 25600 + 1024);
    // The track ends with its last sample, 25600 + 3 * 512 units = 2.12 s.
    EXPECT_EQ(opened.reader->GetTrackDuration(0), 2u);
}

// 12 video samples of 40 ms, 4 to a fragment: three fragments.
FragmentedRecording ThreeFragments() {
    FragmentedRecording recording;
    recording.plan.samplesPerFragment = 4;
    Track track = VideoTrack(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), 1000, 176, 144);
    for (uint32_t j = 0; j < 12; ++j)
        track.add(LengthPrefixed(Concat({Hex("41"), Bytes(9, uint8_t(j))})), 40, j % 4 == 0);
    recording.addTrack(track);
    return recording;
}

struct EndCase {
    const char* name;
    // The file: the whole recording cut at some position, then more bytes.
    uint64_t (*cut)(const FragmentedLayout& layout);
    Bytes appended;
    uint32_t completeFragments;
    uint64_t (*endOffset)(const FragmentedLayout& layout);
};

TEST(FragmentEnds, OnlyWholeFragmentsAreRead) {
    using L = FragmentedLayout;
    const EndCase rows[] = {
        {"whole file", [](const L& l) { return l.fileSize; }, {}, 3, [](const L& l) { return l.fileSize; }},
        {"cut inside the last mdat",
         [](const L& l) { return l.fragments[2].mdatOffset + 8 + 3; },
         {},
         2,
         [](const L& l) { return l.fragments[2].moofOffset; }},
        {"cut inside the last mdat header",
         [](const L& l) { return l.fragments[2].mdatOffset + 4; },
         {},
         2,
         [](const L& l) { return l.fragments[2].moofOffset; }},
        {"cut inside the last moof",
         [](const L& l) { return l.fragments[2].moofOffset + 30; },
         {},
         2,
         [](const L& l) { return l.fragments[2].moofOffset; }},
        {"cut inside the second moof",
         [](const L& l) { return l.fragments[1].moofOffset + 3; },
         {},
         1,
         [](const L& l) { return l.fragments[1].moofOffset; }},
        {"no fragment yet", [](const L& l) { return l.movieEnd; }, {}, 0, [](const L& l) { return l.movieEnd; }},
        {"bytes that are no box after the last fragment", [](const L& l) { return l.fileSize; }, Text("not a box"), 3,
         [](const L& l) { return l.fileSize; }},
        {"zeros of a pre-allocated file after the last fragment", [](const L& l) { return l.fileSize; }, Bytes(64, 0),
         3, [](const L& l) { return l.fileSize; }},
    };
    const FragmentedRecording recording = ThreeFragments();
    const FragmentedLayout layout = recording.layout();
    const Bytes whole = recording.bytes();
    for (const EndCase& row : rows) {
        SCOPED_TRACE(row.name);
        const uint64_t cut = row.cut(layout);
        const Bytes file = Concat({Bytes(whole.begin(), whole.begin() + long(cut)), row.appended});
        OpenedFile opened = OpenBytes(file);
        ASSERT_EQ(opened.status, 0);
        // Four samples a fragment, each read whole.
        EXPECT_EQ(opened.reader->GetTrackSampleCount(0), 4 * row.completeFragments);
        EXPECT_EQ(ReadAll(*opened.reader).size(), 4 * row.completeFragments);
        const TFragmentProgress progress = Progress(*opened.reader);
        EXPECT_EQ(progress.fragmented, 1u);
        EXPECT_EQ(progress.completeFragments, row.completeFragments);
        EXPECT_EQ(progress.endOffset, row.endOffset(layout));
        EXPECT_EQ(progress.bytesAfter, file.size() - row.endOffset(layout));
    }
}

TEST(FragmentEnds, ANewOpenOfAGrowingFileSeesTheNewFragments) {
    const FragmentedRecording recording = ThreeFragments();
    const FragmentedLayout layout = recording.layout();
    const Bytes whole = recording.bytes();
    // The writer has finished the first fragment and half of the second.
    const uint64_t written = layout.fragments[1].mdatOffset + 10;
    testsupport::TempFile file(Bytes(whole.begin(), whole.begin() + long(written)));
    const auto open = [&file] {
        AVReader* reader = nullptr;
        EXPECT_EQ(AVReaderOpen(&reader, file.c_str(), 0), 0);
        return ReaderPtr(reader);
    };
    ReaderPtr first = open();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetTrackSampleCount(0), 4u);
    file.append(Bytes(whole.begin() + long(written), whole.end()));
    ReaderPtr second = open();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetTrackSampleCount(0), 12u);
    EXPECT_EQ(Progress(*second).completeFragments, 3u);
    // The reader opened before goes on with what it read.
    EXPECT_EQ(ReadAll(*first).size(), 4u);
}

TEST(FragmentProgressAccessor, PlainMovieAndBadArguments) {
    Recording plain;
    plain.addTrack(SmallVideoTrack());
    OpenedFile opened = OpenBytes(plain.bytes());
    ASSERT_EQ(opened.status, 0);
    const TFragmentProgress progress = Progress(*opened.reader);
    EXPECT_EQ(progress.fragmented, 0u);
    EXPECT_EQ(progress.completeFragments, 0u);
    EXPECT_EQ(progress.endOffset, 0u);
    EXPECT_EQ(progress.bytesAfter, 0u);
    EXPECT_EQ(AVReaderGetFragmentProgress(opened.reader.get(), nullptr), kInvalidArgument);
    TFragmentProgress unused{};
    EXPECT_EQ(AVReaderGetFragmentProgress(nullptr, &unused), kInvalidArgument);
}

// A movie fragment built by hand: an mfhd, then one traf of a tfhd with
// default-base-is-moof (and a default sample size when given) and the given
// children, then an mdat of the given bytes. Data offsets count from the
// moof's first byte.
Bytes HandMadeFragment(uint32_t trackId, const std::vector<Box>& trafChildren, const Bytes& media,
                       std::optional<uint32_t> defaultSize = std::nullopt) {
    TfhdFields tfhd;
    tfhd.trackId = trackId;
    tfhd.defaultBaseIsMoof = true;
    tfhd.defaultSampleSize = defaultSize;
    Box traf("traf");
    traf.add(Tfhd(tfhd)).add(trafChildren);
    return Concat({Container("moof", {Mfhd(9), traf}).bytes(), Mdat(media).bytes()});
}

// A run of the given samples (size and flags each) whose data start
// dataOffset bytes after the moof.
Box SizedRun(int32_t dataOffset, const std::vector<uint32_t>& sizes) {
    TrunFields trun;
    trun.dataOffset = dataOffset;
    for (uint32_t size : sizes) trun.samples.push_back({40, size, kSyncSampleFlags, std::nullopt});
    return Trun(trun);
}

// The size of HandMadeFragment's moof with one run of n samples of
// duration, size and flags: moof 8 + mfhd 16 + traf 8 + tfhd 16 + trun
// (8 + 4 + 4 + 4 + 12 n).
constexpr int32_t MoofWithOneRun(int32_t n) { return 8 + 16 + 8 + 16 + 20 + 12 * n; }

struct AddedFragmentCase {
    const char* name;
    Bytes fragment;
    uint32_t addedSamples;  // samples the added fragment gives the track
    bool readWhole;         // counted as a complete fragment
};

TEST(FragmentBadInput, EachAddedFragmentIsReadOrLeftOutWhole) {
    // A run's first sample lies right after the moof and the mdat header;
    // a tfdt (version 1) adds 20 bytes to the moof.
    const int32_t oneRunData = MoofWithOneRun(1) + 8;
    const int32_t twoRunData = MoofWithOneRun(2) + 8;
    // A run claiming 1000 sized samples in a box that holds one.
    TrunFields tooMany;
    tooMany.dataOffset = oneRunData;
    tooMany.samples = {{40, 3, kSyncSampleFlags, std::nullopt}};
    tooMany.sampleCount = 1000;
    // Billions of samples without per-sample fields: nothing in the box
    // bounds them; the file does when they have bytes (the trex of
    // ThreeFragments says 7), the index-entry ceiling when they have none.
    TrunFields huge;
    huge.sampleCount = 0xFFFFFFFF;
    // A moof nested in the traf is an unknown child: its run is not read.
    const Box nested = Container("moof", {Container("traf", {SizedRun(0, {3})})});
    const AddedFragmentCase rows[] = {
        {"a sound fragment", HandMadeFragment(1, {SizedRun(oneRunData, {3})}, Hex("41 AA BB")), 1, true},
        {"two samples in one run", HandMadeFragment(1, {SizedRun(twoRunData, {3, 2})}, Hex("41 AA BB 41 CC")), 2, true},
        {"behind an styp and a sidx",
         Concat({Ftyp("msdh").setType("styp").bytes(), Box::Full("sidx", 0).u32(1).u32(1000).bytes(),
                 HandMadeFragment(1, {SizedRun(oneRunData, {3})}, Hex("41 AA BB"))}),
         1, true},
        {"an unknown track", HandMadeFragment(7, {SizedRun(oneRunData, {3})}, Hex("41 AA BB")), 0, true},
        {"a moof nested in the traf", HandMadeFragment(1, {nested}, Hex("41 AA BB")), 0, true},
        {"a sample count its run cannot hold", HandMadeFragment(1, {Trun(tooMany)}, Hex("41 AA BB")), 0, false},
        {"four billion samples of seven bytes", HandMadeFragment(1, {Trun(huge)}, {}), 0, false},
        {"four billion samples of no bytes", HandMadeFragment(1, {Trun(huge)}, {}, 0), 0, false},
        {"data past the end of the file", HandMadeFragment(1, {SizedRun(0x7FFFFFF0, {3})}, Hex("41 AA BB")), 0, false},
        {"a decode time of 2^63 units",
         HandMadeFragment(1, {Tfdt(uint64_t(1) << 63), SizedRun(oneRunData + 20, {3})}, Hex("41 AA BB")), 0, false},
        {"data before the start of the file", HandMadeFragment(1, {SizedRun(-0x7FFFFFFF, {3})}, Hex("41 AA BB")), 0,
         false},
        {"a run larger than its traf",
         Concat({Container("moof", {Mfhd(9), Box("traf").add(SizedRun(oneRunData, {3})).forceSize(20)}).bytes(),
                 Mdat(Hex("41 AA BB")).bytes()}),
         0, false},
    };
    const FragmentedRecording recording = ThreeFragments();
    const Bytes whole = recording.bytes();
    for (const AddedFragmentCase& row : rows) {
        SCOPED_TRACE(row.name);
        // The added fragment between the second and the third, and again
        // at the end: a fragment left out in the middle costs no other.
        const FragmentedLayout layout = recording.layout();
        const auto third = whole.begin() + long(layout.fragments[2].moofOffset);
        const Bytes file = Concat({Bytes(whole.begin(), third), row.fragment, Bytes(third, whole.end()), row.fragment});
        OpenedFile opened = OpenBytes(file);
        ASSERT_EQ(opened.status, 0);
        EXPECT_EQ(opened.reader->GetTrackSampleCount(0), 12 + 2 * row.addedSamples);
        EXPECT_EQ(ReadAll(*opened.reader).size(), 12 + 2 * row.addedSamples);
        const TFragmentProgress progress = Progress(*opened.reader);
        EXPECT_EQ(progress.completeFragments, row.readWhole ? 5u : 3u);
        // A fragment left out at the end is where the fragments read end.
        const uint64_t end = row.readWhole ? file.size() : file.size() - row.fragment.size();
        EXPECT_EQ(progress.endOffset, end);
        EXPECT_EQ(progress.bytesAfter, file.size() - end);
    }
}

TEST(FragmentBadInput, TheSameFragmentTwiceIsReadTwice) {
    // Data offsets count from each moof, so the copy reads its own mdat.
    const FragmentedRecording recording = ThreeFragments();
    const FragmentedLayout layout = recording.layout();
    const Bytes whole = recording.bytes();
    const Bytes last(whole.begin() + long(layout.fragments[2].moofOffset), whole.end());
    OpenedFile opened = OpenBytes(Concat({whole, last}));
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.reader->GetTrackSampleCount(0), 16u);
    EXPECT_EQ(Progress(*opened.reader).completeFragments, 4u);
}

TEST(FragmentBadInput, AThousandFragmentsOfOneSampleOpenQuickly) {
    FragmentedRecording recording;
    recording.plan.samplesPerFragment = 1;
    Track track = SmallAudioTrack(0);
    for (uint32_t j = 0; j < 1000; ++j) track.add(Bytes(4, uint8_t(j)), 1024);
    recording.addTrack(track);
    const auto start = std::chrono::steady_clock::now();
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.reader->GetTrackSampleCount(0), 1000u);
    EXPECT_EQ(ReadAll(*opened.reader).size(), 1000u);
    EXPECT_EQ(Progress(*opened.reader).completeFragments, 1000u);
    // Linear work: far below a second even in a sanitizer build.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

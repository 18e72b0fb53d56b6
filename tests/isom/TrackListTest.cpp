// The track list and the per-track accessors: which sample entries become
// listed tracks, companion pairing, media type, configurations, vendor boxes.
#include <gtest/gtest.h>

#include "ReaderFixture.h"
#include "common/CodecTables.h"
#include "format/FourCC.h"

using namespace writer;
using ZENT::SDK::Format::FourCCLittle;

namespace {

Track TrackWithEntry(const Box& entry, const std::string& handler = "vide", uint32_t count = 3) {
    Track track = handler == "soun" ? AudioTrack(entry, 8000) : VideoTrack(entry, 1000);
    if (handler != "vide" && handler != "soun") track = MetadataTrack(entry, 1000);
    for (uint32_t j = 0; j < count; ++j) track.add(Bytes(8, uint8_t(j)), 100);
    return track;
}

OpenedFile OpenTracks(std::vector<Track> tracks, int flags = 0) {
    Recording recording;
    for (Track& track : tracks) recording.addTrack(std::move(track));
    return OpenBytes(recording.bytes(), flags);
}

struct EntryCase {
    const char* name;
    Box entry;
    std::string handler;
    uint32_t codecType;  // 0: not listed
    uint32_t fourCC;
};

class SampleEntryCodec : public testing::TestWithParam<EntryCase> {};

TEST_P(SampleEntryCodec, MapsToItsCodecType) {
    const EntryCase& c = GetParam();
    OpenedFile opened = OpenTracks({TrackWithEntry(c.entry, c.handler), SmallAudioTrack()});
    ASSERT_EQ(opened.status, 0);
    if (c.codecType == 0) {
        ASSERT_EQ(opened.reader->GetTrackCount(), 1u) << "only the audio track is listed";
        EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecAac);
        return;
    }
    ASSERT_EQ(opened.reader->GetTrackCount(), 2u);
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), c.codecType);
    EXPECT_EQ(opened.reader->GetTrackFourCC(0), c.fourCC);
}

std::vector<EntryCase> EntryCases() {
    AudioFields audio;
    return {
        {"avc1", Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), "vide", kCodecH264,
         FourCCLittle("H264")},
        {"hvc1", Hvc1(64, 64, {{32, {Hex("40 01 0C")}}}), "vide", kCodecHevc, FourCCLittle("HEVC")},
        {"hev1", Hvc1(64, 64, {{32, {Hex("40 01 0C")}}}, 4, "hev1"), "vide", kCodecHevc, FourCCLittle("HEVC")},
        {"mp4vVisual", Mp4v(64, 64, 0x20), "vide", kCodecMp4v, FourCCLittle("MP4V")},
        {"mp4vJpeg", Mp4v(64, 64, 0x6C), "vide", kCodecJpeg, FourCCLittle("JPEG")},
        {"mp4vOther", Mp4v(64, 64, 0x21), "vide", 0, 0},
        {"s263", S263(176, 144), "vide", kCodecH263, FourCCLittle("H263")},
        {"samr", Samr(), "soun", kCodecSamr, FourCCLittle("GAMR")},
        {"ulaw", Ulaw(), "soun", kCodecUlaw, FourCCLittle("ULAW")},
        {"alaw", Alaw(), "soun", kCodecAlaw, FourCCLittle("ALAW")},
        {"g726", G726(), "soun", kCodecG726, FourCCLittle("G726")},
        {"g722", G722(), "soun", kCodecG7221, FourCCLittle("G722")},
        {"g729", G729(), "soun", kCodecG729, FourCCLittle("G729")},
        {"mettPlain", MettPlain(), "meta", kCodecMetj, FourCCLittle("METJ")},
        {"mettDeflate", MettDeflate(), "meta", kCodecMetj, FourCCLittle("METJ")},
        {"mettOther", Mett("", "application/json"), "meta", 0, 0},
        {"metx", Metx("", "urn:example"), "meta", kCodecMetx, FourCCLittle("METX")},
        {"unknown", VisualSampleEntry("xyzw", 16, 16), "vide", 0, 0},
    };
}

INSTANTIATE_TEST_SUITE_P(TrackList, SampleEntryCodec, testing::ValuesIn(EntryCases()),
                         [](const testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

}  // namespace

TEST(TrackList, TrackWithoutSampleDescriptionIsNotListed) {
    Track video = SmallVideoTrack();
    video.sampleEntries.clear();
    OpenedFile opened = OpenTracks({video, SmallAudioTrack()});
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 1u);
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecAac);
}

TEST(TrackList, MediaTypeIsTheOrOfTheListedTracks) {
    EXPECT_EQ(OpenTracks({SmallVideoTrack()}).reader->GetMediaType(), kMediaVideo);
    EXPECT_EQ(OpenTracks({SmallAudioTrack()}).reader->GetMediaType(), kMediaAudio);
    EXPECT_EQ(OpenTracks({SmallVideoTrack(), SmallAudioTrack()}).reader->GetMediaType(), 3u);
    EXPECT_EQ(
        OpenTracks({SmallVideoTrack(), SmallAudioTrack(), TrackWithEntry(MettPlain(), "meta")}).reader->GetMediaType(),
        11u);
    // A track that is not listed adds nothing.
    EXPECT_EQ(OpenTracks({SmallAudioTrack(), TrackWithEntry(Mett("", "x/y"), "meta")}).reader->GetMediaType(), 1u);
}

TEST(TrackList, CompanionTrackPairsWithTheTrackBeforeIt) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(4));
    recording.addCompanion(std::vector<Bytes>(4, Bytes(44, 0)));
    recording.addTrack(SmallAudioTrack(3));
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 2u) << "the frame-information track is not listed";
    EXPECT_EQ(opened.impl()->trackList()[0].companionIndex, 1);
    EXPECT_EQ(opened.impl()->trackList()[1].companionIndex, -1);
    EXPECT_EQ(opened.impl()->trackList()[1].trackIndex, 2);
    EXPECT_EQ(opened.reader->GetTrackNumber(1), 2u);

    OpenedFile unpaired = OpenBytes(recording.bytes(), kOpenNoCompanionTracks);
    ASSERT_EQ(unpaired.reader->GetTrackCount(), 2u);
    EXPECT_EQ(unpaired.impl()->trackList()[0].companionIndex, -1);
}

TEST(TrackList, CompanionWithAnotherSampleCountStaysUnpairedAndUnlisted) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(4));
    recording.addCompanion(std::vector<Bytes>(5, Bytes(44, 0)));
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 1u);
    EXPECT_EQ(opened.impl()->trackList()[0].companionIndex, -1);
}

TEST(TrackList, InfoBufferHoldsTheLargestCompanionRecord) {
    Recording recording;
    recording.addTrack(SmallVideoTrack(2));
    recording.addCompanion({Bytes(44, 0), Bytes(300, 0)});
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.impl()->infoBufferSize(), 300u);
    EXPECT_EQ(OpenTracks({SmallAudioTrack()}).impl()->infoBufferSize(), 44u);
}

TEST(TrackList, SampleBufferHasRoomForParameterSetsAndStartCodes) {
    // Largest sample 15 bytes; avcC in start-code form: 4 + SPS + 4 + PPS.
    Track video = SmallVideoTrack(6);
    Bytes sps = MinimalAvcSps(176, 144), pps = MinimalAvcPps();
    OpenedFile opened = OpenTracks({video});
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.impl()->sampleBufferSize(), 15 + (8 + sps.size() + pps.size()) + 15 - 5 * 3);

    // Two-byte prefixes (size minus one = 1) leave room for 5 more bytes per sample.
    Track shortPrefixes = VideoTrack(Avc1(176, 144, {sps}, {pps}, 2), 1000);
    shortPrefixes.add(Bytes(100, 1), 40);
    EXPECT_EQ(OpenTracks({shortPrefixes}).impl()->sampleBufferSize(), 100 + (8 + sps.size() + pps.size()) + 10);

    // A sample that lies past the end of the file does not size the buffer.
    Recording recording;
    recording.addTrack(SmallAudioTrack(2));
    Bytes bytes = recording.bytes();
    Bytes patched = bytes;
    for (size_t i = 0; i + 8 <= patched.size(); ++i) {
        if (std::memcmp(&patched[i + 4], "stsz", 4) == 0) {
            // Second per-sample size: 0x7FFFFFF0.
            patched[i + 24] = 0x7F;
            patched[i + 25] = 0xFF;
            patched[i + 26] = 0xFF;
            patched[i + 27] = 0xF0;
            break;
        }
    }
    OpenedFile huge = OpenBytes(patched);
    ASSERT_EQ(huge.status, 0);
    EXPECT_EQ(huge.reader->GetTrackSampleCount(0), 2u);
    EXPECT_EQ(huge.impl()->sampleBufferSize(), 20u);
}

TEST(TrackList, PerTrackAccessors) {
    Recording recording;
    recording.movie.timescale = 600;
    recording.movie.creationTime = kIsoEpochOffset + 1577836800;
    recording.movie.duration = 600 * 12 + 300;
    Track video = SmallVideoTrack(250, 7);
    for (SampleInfo& sample : video.samples) sample.duration = 40;
    video.samples.back().duration = 900;  // 249 * 40 + 900 = 10860 ms
    recording.addTrack(video);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    AVReader& r = *opened.reader;
    EXPECT_EQ(r.GetCreationTime(), 1577836800u);
    EXPECT_EQ(r.GetDuration(), 12u);
    EXPECT_EQ(r.GetTrackNumber(0), 6u);
    EXPECT_EQ(r.GetTrackSampleCount(0), 250u);
    EXPECT_EQ(r.GetTrackDuration(0), 10u);
    EXPECT_EQ(r.GetTrackWidth(0), 176u);
    EXPECT_EQ(r.GetTrackHeight(0), 144u);

    const uint8_t* config = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(r.GetTrackDecoderConfig(0, &config, &size), 0);
    Bytes expected = Concat({Hex("00 00 00 01"), MinimalAvcSps(176, 144), Hex("00 00 00 01"), MinimalAvcPps()});
    EXPECT_EQ(Bytes(config, config + size), expected);
    EXPECT_EQ(r.GetTrackDecoderConfig(0, nullptr, &size), kInvalidArgument);
    EXPECT_EQ(r.GetTrackDecoderConfig(0, &config, nullptr), kInvalidArgument);
}

TEST(TrackList, CreationTimeBefore1970IsZero) {
    Recording recording;
    recording.movie.creationTime = kIsoEpochOffset - 1;
    recording.addTrack(SmallAudioTrack());
    EXPECT_EQ(OpenBytes(recording.bytes()).reader->GetCreationTime(), 0u);
}

TEST(TrackList, VersionOneHeadersCarrySixtyFourBitTimes) {
    Recording recording;
    recording.movie.version = 1;
    recording.movie.timescale = 1;
    recording.movie.creationTime = kIsoEpochOffset + 0x100000000ull;  // past 2106 in 32 bits
    recording.movie.duration = 5;
    Track audio = SmallAudioTrack();
    audio.headerVersion = 1;
    audio.trackId = 3;
    recording.addTrack(audio);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.reader->GetDuration(), 5u);
    EXPECT_EQ(opened.reader->GetTrackNumber(0), 2u);
    EXPECT_EQ(opened.impl()->movie().header.creationTime, kIsoEpochOffset + 0x100000000ull);
    EXPECT_EQ(opened.reader->GetTrackDuration(0), 0u) << "4 x 1024 samples at 16 kHz";
}

TEST(TrackList, HugeMovieDurationSaturates) {
    Recording recording;
    recording.movie.version = 1;
    recording.movie.timescale = 1;
    recording.movie.duration = 1ull << 40;
    recording.addTrack(SmallAudioTrack());
    EXPECT_EQ(OpenBytes(recording.bytes()).reader->GetDuration(), 0xFFFFFFFFu);
}

TEST(TrackList, DecoderConfigurationsByEntryType) {
    AudioFields fields;
    fields.sampleRate = 16000;
    Bytes asc = AacAudioSpecificConfig(2, 16000, 1);
    DamrFields damr;
    Recording recording;
    recording.addTrack(TrackWithEntry(Mp4a(fields, asc, 4), "soun"));
    recording.addTrack(TrackWithEntry(Samr(AudioFields{}, damr), "soun"));
    recording.addTrack(TrackWithEntry(Ulaw(), "soun"));
    recording.addTrack(TrackWithEntry(G729(AudioFields{}, {RawBox("729a", Hex("01 02 03"))}), "soun"));
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(opened.reader->GetTrackDecoderConfig(0, &data, &size), 0);
    EXPECT_EQ(Bytes(data, data + size), asc);
    ASSERT_EQ(opened.reader->GetTrackDecoderConfig(1, &data, &size), 0);
    EXPECT_EQ(Bytes(data, data + size), Damr(damr).content());
    ASSERT_EQ(opened.reader->GetTrackDecoderConfig(2, &data, &size), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    ASSERT_EQ(opened.reader->GetTrackDecoderConfig(3, &data, &size), 0);
    EXPECT_EQ(Bytes(data, data + size), Hex("01 02 03"));
}

TEST(TrackList, AudioParametersAndEsdsWithOneByteLengths) {
    AudioFields fields;
    fields.channelCount = 2;
    fields.sampleSize = 16;
    fields.sampleRate = 44100;
    Bytes asc = AacAudioSpecificConfig(2, 44100, 2);
    OpenedFile opened = OpenTracks({TrackWithEntry(Mp4a(fields, asc, 1), "soun")});
    ASSERT_EQ(opened.status, 0);
    const ZENT::SDK::Pelagor2::SampleDescription& d = opened.impl()->movie().tracks[0].sampleTable.descriptions[0];
    EXPECT_EQ(d.channelCount, 2u);
    EXPECT_EQ(d.sampleRate, 44100u);
    EXPECT_EQ(d.es.objectTypeIndication, 0x40u);
    EXPECT_EQ(d.genericConfig, asc);
}

TEST(TrackList, EsdsWhoseFirstTagIsNotAnEsDescriptorKeepsZeros) {
    Box entry = AudioSampleEntry("mp4a", AudioFields{});
    entry.add(Box::Full("esds", 0).u8(4).u8(13).zeros(13));
    OpenedFile opened = OpenTracks({TrackWithEntry(entry, "soun")});
    ASSERT_EQ(opened.status, 0);
    const ZENT::SDK::Pelagor2::SampleDescription& d = opened.impl()->movie().tracks[0].sampleTable.descriptions[0];
    EXPECT_EQ(d.es.objectTypeIndication, 0u);
    EXPECT_TRUE(d.genericConfig.empty());
}

TEST(TrackList, ProtectedEntryReportsItsDataFormatAndKeyId) {
    TencFields tenc;
    tenc.defaultKeyId = Hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    Box entry = Protect(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), "encv", tenc);
    OpenedFile opened = OpenTracks({TrackWithEntry(entry)});
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 1u);
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecH264);
    EXPECT_EQ(opened.reader->IsTrackProtected(0), 1u);
    const uint8_t* kid = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(opened.reader->GetTrackKeyId(0, &kid, &size), 0);
    EXPECT_EQ(Bytes(kid, kid + size), tenc.defaultKeyId);
    EXPECT_EQ(opened.reader->GetTrackKeyId(0, nullptr, &size), kInvalidArgument);
    const uint8_t* config = nullptr;
    ASSERT_EQ(opened.reader->GetTrackDecoderConfig(0, &config, &size), 0);
    EXPECT_EQ(Bytes(config, config + 4), Hex("00 00 00 01")) << "converted like a clear avc1 entry";

    EXPECT_EQ(OpenTracks({SmallVideoTrack()}).reader->IsTrackProtected(0), 0u);
    tenc.defaultIsProtected = 0;
    EXPECT_EQ(OpenTracks({TrackWithEntry(Protect(Mp4v(64, 64), "encv", tenc))}).reader->IsTrackProtected(0), 0u);
}

TEST(TrackList, ConstantIvIsPassedOver) {
    TencFields tenc;
    tenc.defaultPerSampleIvSize = 0;
    tenc.constantIv = Hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10");
    tenc.defaultKeyId = Bytes(16, 0x5A);
    Box entry = Protect(Ulaw(), "enca", tenc);
    OpenedFile opened = OpenTracks({TrackWithEntry(entry, "soun")});
    ASSERT_EQ(opened.status, 0);
    const uint8_t* kid = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(opened.reader->GetTrackKeyId(0, &kid, &size), 0);
    EXPECT_EQ(Bytes(kid, kid + size), Bytes(16, 0x5A));
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecUlaw);
}

TEST(TrackList, VendorBoxFindsTheLastChildOfItsType) {
    Recording recording;
    recording.addTrack(SmallAudioTrack());
    recording.trailingBoxes.push_back(
        VendorSkip({RawBox("abcd", Hex("01")), RawBox("wxyz", Hex("02 02")), RawBox("abcd", Hex("03 03 03"))}));
    recording.trailingBoxes.push_back(Skip(Text("TALVENex") /* 16 bytes in all: too small to look at */));
    recording.order = BoxOrder::MdatFirst;
    // The walk stops once both the movie and the media data were seen, so the
    // vendor box must come before them to be read.
    recording.boxesBeforeMedia.push_back(recording.trailingBoxes[0]);
    recording.trailingBoxes.clear();
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(opened.reader->GetVendorBox(FourCCLittle("abcd"), &data, &size), 0);
    EXPECT_EQ(Bytes(data, data + size), Hex("03 03 03"));
    ASSERT_EQ(opened.reader->GetVendorBox(FourCCLittle("wxyz"), &data, &size), 0);
    EXPECT_EQ(Bytes(data, data + size), Hex("02 02"));
    ASSERT_EQ(opened.reader->GetVendorBox(FourCCLittle("none"), &data, &size), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(opened.reader->GetVendorBox(FourCCLittle("abcd"), nullptr, &size), kInvalidArgument);
}

TEST(TrackList, VendorChildRunningPastTheSkipBoxFails) {
    Recording recording;
    recording.addTrack(SmallAudioTrack());
    Box vendor = VendorSkip({RawBox("abcd", Hex("01 02 03 04"))});
    Bytes bytes = vendor.bytes();
    bytes[16 + 3] = 0x40;  // the child's size, now past the skip box
    recording.boxesBeforeMedia.push_back(Box("skip").bytes(Bytes(bytes.begin() + 8, bytes.end())));
    EXPECT_EQ(OpenBytes(recording.bytes()).status, -1);
}

TEST(TrackList, OutOfRangeTrackIndexesReadAsEmpty) {
    OpenedFile opened = OpenTracks({SmallAudioTrack()});
    AVReader& r = *opened.reader;
    EXPECT_EQ(r.GetTrackCodecType(5), 0u);
    EXPECT_EQ(r.GetTrackSampleCount(5), 0u);
    EXPECT_EQ(r.GetTrackDuration(5), 0u);
    EXPECT_EQ(r.GetTrackFourCC(5), 0u);
    EXPECT_EQ(r.GetTrackWidth(5), 0u);
    EXPECT_EQ(r.IsTrackProtected(5), 0u);
    const uint8_t* data;
    uint32_t size;
    EXPECT_EQ(r.GetTrackDecoderConfig(5, &data, &size), kInvalidArgument);
    EXPECT_EQ(r.GetTrackKeyId(5, &data, &size), kInvalidArgument);
    uint8_t key[16] = {};
    EXPECT_EQ(r.SetTrackKey(5, key, 16), kInvalidArgument);
    r.DisableTrack(5);
    r.EnableTrack(5);
    r.RemoveTrack(5);
    EXPECT_EQ(r.GetTrackCount(), 1u);
}

TEST(TrackList, RemoveTrackMovesLaterTracksDown) {
    OpenedFile opened = OpenTracks({SmallVideoTrack(), SmallAudioTrack()});
    opened.reader->RemoveTrack(0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 1u);
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecAac);
}

TEST(TrackList, SetTrackKeyRefusesBadKeys) {
    OpenedFile opened = OpenTracks({SmallAudioTrack()});
    uint8_t key[16] = {};
    EXPECT_EQ(opened.reader->SetTrackKey(0, nullptr, 16), kInvalidArgument);
    EXPECT_EQ(opened.reader->SetTrackKey(0, key, 15), kInvalidArgument);
}

TEST(TrackList, UntimedTrackKeepsItsTimelineAtItsOwnIndex) {
    Track untimed = SmallVideoTrack(3);
    untimed.timescale = 0;
    OpenedFile opened = OpenTracks({untimed, SmallAudioTrack(5)});
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 2u);
    EXPECT_EQ(opened.reader->GetTrackDuration(0), 0u);
    EXPECT_EQ(opened.impl()->timelines().tracks[0].timedSampleCount, 0u);
    EXPECT_EQ(opened.impl()->timelines().tracks[1].timedSampleCount, 5u);
    EXPECT_EQ(opened.reader->GetTrackSampleCount(1), 5u);
}

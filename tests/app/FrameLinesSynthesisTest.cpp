// Frame lines of tracks without a companion track, whose headers the reader
// builds: UTC from the track's creation time plus the timeline position
// rounded to the millisecond, frame type 0x10 on non-sync video samples, and
// the audio extensions per codec.
#include "FrameLinesTest.h"

namespace {

using namespace framelines;
using writer::AudioFields;
using writer::EditEntry;
using writer::kIsoEpochOffset;
using writer::Recording;
using writer::Track;

constexpr uint32_t C = 1600000000;  // creation time in Unix seconds, 2020-09-13 12:26:40 UTC
const Bytes kNoExtension = {0, 0, 0, 0};

Frame BuiltVideo(const Bytes& payload, bool sync, uint32_t seconds, uint16_t milliseconds, bool timed = true) {
    Frame frame;
    frame.letter = sync ? 'I' : 'P';
    frame.mediaHeader = BuiltHeader("h264", !sync, seconds, milliseconds, kNoExtension);
    frame.payload = payload;
    if (timed) frame.time = Time{seconds, milliseconds, 0, 0};
    return frame;
}

// Timescale 10000: the samples lie at 0, 0.0126, 1.9996 and 2.0 s, which
// round to 0, 13, 2000 and 2000 ms (2000.5 is truncated after adding 0.5).
TEST(FrameLinesSynthesis, VideoTimesAreCreationTimePlusRoundedPosition) {
    Track video = AvcTrack(10000);
    video.creationTime = kIsoEpochOffset + C;
    const std::vector<uint32_t> durations = {126, 19870, 4, 5000};
    const std::vector<bool> sync = {true, false, false, true};
    std::vector<Bytes> payloads;
    for (size_t i = 0; i < durations.size(); ++i) {
        const Bytes slice = Slice(sync[i], uint8_t(0x50 + i), 4 + i);
        video.add(LengthPrefixed({slice}), durations[i], sync[i]);
        payloads.push_back(HandedOut(slice, sync[i]));
    }
    Recording recording;
    recording.addTrack(video);
    const std::string summary = Summary("video only", {{0x8, 4, 2}});  // 25000 / 10000 s

    EXPECT_EQ(FrameReportOf(recording, 3),
              Lines({BuiltVideo(payloads[0], true, C, 0), BuiltVideo(payloads[1], false, C, 13),
                     BuiltVideo(payloads[2], false, C + 2, 0), BuiltVideo(payloads[3], true, C + 2, 0)}) +
                  summary);
    // The built record has no user data: no record time.
    EXPECT_EQ(FrameReportOf(recording, 1),
              Lines({BuiltVideo(payloads[0], true, C, 0, false), BuiltVideo(payloads[1], false, C, 13, false),
                     BuiltVideo(payloads[2], false, C + 2, 0, false), BuiltVideo(payloads[3], true, C + 2, 0, false)}) +
                  summary);
}

// A creation time before 1970 counts as 1970; a leading empty edit of 1.5 s
// moves every sample.
TEST(FrameLinesSynthesis, EarlyCreationTimeAndEmptyEditStartAt1970PlusTheEdit) {
    SliceTrack video = SliceVideo({true, false, false});
    video.track.creationTime = 1000;
    video.track.edits = {EditEntry{1500, -1}, EditEntry{120, 0}};
    Recording recording;
    recording.addTrack(video.track);

    EXPECT_EQ(FrameReportOf(recording, 3),
              Lines({BuiltVideo(video.payloads[0], true, 1, 500), BuiltVideo(video.payloads[1], false, 1, 540),
                     BuiltVideo(video.payloads[2], false, 1, 580)}) +
                  Summary("video only", {{0x8, 3, 0}}));  // the normal edit: 120 ms
}

// A sample that the time-to-sample table does not reach has no time; its
// position counts as 0 rather than a negative number of milliseconds.
TEST(FrameLinesSynthesis, SampleWithoutTimeGetsTheCreationTime) {
    SliceTrack video = SliceVideo({true, true, true});
    video.track.creationTime = kIsoEpochOffset + C;
    video.track.omitBoxes = {"stts"};
    video.track.moreSampleTableBoxes = {writer::Stts({{2, 40}})};
    Recording recording;
    recording.addTrack(video.track);

    EXPECT_EQ(FrameReportOf(recording, 3),
              Lines({BuiltVideo(video.payloads[0], true, C, 0), BuiltVideo(video.payloads[1], true, C, 40),
                     BuiltVideo(video.payloads[2], true, C, 0)}) +
                  Summary("video only", {{0x8, 3, 0}}));
}

// ---- audio ------------------------------------------------------------------

struct AudioSample {
    Bytes payload;
    Bytes extension;  // worked out by hand from the codec's rule
};

struct AudioCase {
    std::string label;
    writer::Box entry;
    uint32_t timescale;
    uint32_t duration;  // per sample, media units
    std::string fourcc;
    std::string name;
    uint32_t codecType;
    std::vector<AudioSample> samples;
};

Bytes Filled(size_t size, uint8_t first) {
    Bytes bytes(size, 0x5A);
    if (size > 0) bytes[0] = first;
    return bytes;
}

AudioFields Fields(uint16_t channels, uint16_t sampleSize, uint32_t sampleRate) {
    AudioFields fields;
    fields.channelCount = channels;
    fields.sampleSize = sampleSize;
    fields.sampleRate = sampleRate;
    return fields;
}

std::vector<AudioCase> AudioCases() {
    using namespace writer;
    // clang-format off
    return {
        // 40 01, length, rate 16000 (00 3E 80), 2 channels.
        {"Aac", Mp4a(Fields(2, 16, 16000), AacAudioSpecificConfig(2, 16000, 2)), 16000, 1024, "aac ", "AAC4", 0x400,
         {{Filled(21, 0x21), Hex("40 01 00 15 00 3E 80 02")},
          {Filled(300, 0x21), Hex("40 01 01 2C 00 3E 80 02")},
          {Filled(7, 0x21), Hex("40 01 00 07 00 3E 80 02")}}},
        // C0, length / F, F, rate 8000 (00 1F 40), 1 channel; F is 1 plus the
        // frame-size entry chosen by bits 3 to 6 of the first byte.
        {"Amr", Samr(Fields(1, 16, 8000)), 8000, 160, "SAMR", "GAMR", 0x1000,
         {{Filled(64, 0x3C), Hex("C0 02 00 20 00 1F 40 01")},   // type 7: 31 + 1
          {Filled(26, 0x04), Hex("C0 02 00 0D 00 1F 40 01")},   // type 0: 12 + 1
          {Filled(6, 0x7C), Hex("C0 01 00 06 00 1F 40 01")},    // type 15: 5 + 1
          {Filled(7, 0x4C), Hex("C0 07 00 01 00 1F 40 01")},    // type 9: 0 + 1
          {Bytes{}, Hex("C0 00 00 01 00 1F 40 01")}}},          // no first byte: F 1, no frames
        {"Ulaw", Ulaw(Fields(1, 8, 8000)), 8000, 160, "PCMU", "ULAW", 0x2000,
         {{Filled(160, 0xFF), Hex("C0 01 00 A0 00 1F 40 01")}, {Filled(80, 0x7F), Hex("C0 01 00 50 00 1F 40 01")}}},
        {"Alaw", Alaw(Fields(2, 8, 8000)), 8000, 160, "PCMA", "ALAW", 0x4000,
         {{Filled(320, 0xD5), Hex("C0 01 01 40 00 1F 40 02")}, {Filled(1, 0x55), Hex("C0 01 00 01 00 1F 40 02")}}},
        // B0 01, length, 4 bits x 8000 = 32000 (00 7D 00), 00.
        {"G726", G726(Fields(1, 4, 8000)), 8000, 160, "G726", "G726", 0x8000,
         {{Filled(80, 0x11), Hex("B0 01 00 50 00 7D 00 00")}, {Filled(40, 0x11), Hex("B0 01 00 28 00 7D 00 00")}}},
        // 80 04, length / 4.
        {"G7221", G722(Fields(1, 16, 16000)), 16000, 320, "7221", "G722", 0x100,
         {{Filled(80, 0x22), Hex("80 04 00 14")}, {Filled(43, 0x22), Hex("80 04 00 0A")}}},
        // 80, length / 11, 11.
        {"G729A", G729(Fields(1, 16, 8000)), 8000, 80, "729A", "G729", 0x200,
         {{Filled(20, 0x33), Hex("80 01 00 0B")}, {Filled(30, 0x33), Hex("80 02 00 0B")},
          {Filled(10, 0x33), Hex("80 00 00 0B")}}},
    };
    // clang-format on
}

class FrameLinesBuiltAudio : public ::testing::TestWithParam<AudioCase> {};

TEST_P(FrameLinesBuiltAudio, CarryTheCodecExtension) {
    const AudioCase& audio = GetParam();
    Track track = writer::AudioTrack(audio.entry, audio.timescale);
    track.creationTime = kIsoEpochOffset + C;
    std::vector<Frame> expected;
    for (size_t i = 0; i < audio.samples.size(); ++i) {
        track.add(audio.samples[i].payload, audio.duration);
        // Sample i lies at i x duration / timescale seconds, whole milliseconds here.
        const uint64_t milliseconds = uint64_t(i) * audio.duration * 1000 / audio.timescale;
        Frame frame;
        frame.codec = audio.name;
        frame.time = Time{uint32_t(C + milliseconds / 1000), uint32_t(milliseconds % 1000), 0, 0};
        frame.mediaHeader = BuiltHeader(audio.fourcc, false, frame.time->seconds, uint16_t(frame.time->milliseconds),
                                        audio.samples[i].extension);
        frame.payload = audio.samples[i].payload;
        expected.push_back(frame);
    }
    Recording recording;
    recording.addTrack(track);

    EXPECT_EQ(FrameReportOf(recording, 3),
              Lines(expected) + Summary("audio only", {{audio.codecType, uint32_t(audio.samples.size()), 0}}));
}

INSTANTIATE_TEST_SUITE_P(PerCodec, FrameLinesBuiltAudio, ::testing::ValuesIn(AudioCases()),
                         [](const ::testing::TestParamInfo<AudioCase>& info) { return info.param.label; });

}  // namespace

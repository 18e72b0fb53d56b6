// A video and an audio track of a recording in progress in one fallback run:
// packets interleaved by their timestamps, a tie going to the track whose tag
// is the smaller number, H.264 samples with start codes in place of their
// length prefixes and audio samples as stored.
#include "FallbackLinesTest.h"

namespace {

using namespace fallbacklines;
using framelines::kStartCode;
using framelines::LengthPrefixed;
using writer::Concat;

constexpr uint32_t S = 1720000000;

Bytes Counting(size_t n, uint8_t first) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(first + 3 * i);
    return bytes;
}

struct Sample {
    uint16_t milliseconds;
    Bytes stored;
    Bytes handedOut;
};

// Frame types I, P, P at the given times of second S.
std::vector<Sample> VideoSamples(const std::vector<uint16_t>& times) {
    const Bytes unit5 = Concat({{0x65}, Counting(4, 0x80)});
    const Bytes unit3 = Concat({{0x06}, Counting(2, 0x90)});
    const Bytes unit4 = Concat({{0x41}, Counting(3, 0xA0)});
    const Bytes unit6 = Concat({{0x41}, Counting(5, 0xB0)});
    return {
        // Two units behind prefixes 5 and 3: 16 bytes either way.
        {times[0], LengthPrefixed({unit5, unit3}), Concat({kStartCode, unit5, kStartCode, unit3})},
        // Three bytes hold no prefix and are copied as stored.
        {times[1], Bytes{0x41, 0x9A, 0x01}, Bytes{0x41, 0x9A, 0x01}},
        // A prefix of 100 with 6 bytes left is cut to those 6.
        {times[2], Concat({LengthPrefixed({unit4}), Bytes{0, 0, 0, 100}, unit6}),
         Concat({kStartCode, unit4, kStartCode, unit6})},
    };
}

Chunk VideoChunk(const std::vector<Sample>& samples) {
    Chunk chunk = Chunk::Video("H264", 176, 144);
    chunk.configuration(writer::H264ConfigurationArea(framelines::kSps, {framelines::kPps}));
    for (size_t i = 0; i < samples.size(); ++i)
        chunk.sample(samples[i].stored, Record(Header("h264", i == 0 ? 0 : 1, S, samples[i].milliseconds)));
    return chunk;
}

std::vector<Sample> AudioSamples(const std::vector<uint16_t>& times) {
    std::vector<Sample> samples;
    for (size_t i = 0; i < times.size(); ++i) {
        const Bytes bytes = Counting(40 + 8 * i, uint8_t(0x11 * (i + 1)));
        samples.push_back({times[i], bytes, bytes});
    }
    return samples;
}

Chunk AudioChunk(const std::string& tag, const std::string& codec, const std::vector<Sample>& samples) {
    Chunk chunk = Chunk::Audio(tag);
    chunk.configuration(Bytes{0x14, 0x08});
    for (const Sample& sample : samples) chunk.sample(sample.stored, Record(Header(codec, 0, S, sample.milliseconds)));
    return chunk;
}

Frame Expected(const std::string& name, uint8_t frameType, const std::string& codec, const Sample& sample) {
    Frame frame;
    frame.codec = name;
    frame.letter = "IPB"[frameType];
    // Camera time of UTC headers in zone 48 is the header's time.
    frame.time = Time{S, sample.milliseconds, 0, 0};
    frame.mediaHeader = Header(codec, frameType, S, sample.milliseconds);
    frame.payload = sample.handedOut;
    return frame;
}

// "G711" (0x31313747) is the smaller tag than "H264" (0x34363248): at 0 ms
// the audio packet goes first.
TEST(FallbackLinesInterleave, TieGoesToTheSmallerTagG711) {
    const std::vector<Sample> video = VideoSamples({0, 40, 80});
    const std::vector<Sample> audio = AudioSamples({0, 20, 60});
    const Bytes file = InProgressRecording().chunk(VideoChunk(video)).chunk(AudioChunk("G711", "G711", audio)).bytes();

    // The "G711" header code is codec type 0x2000, which prints as ULAW.
    const std::vector<Frame> expected = {
        Expected("ULAW", 0, "G711", audio[0]), Expected("H264", 0, "h264", video[0]),
        Expected("ULAW", 0, "G711", audio[1]), Expected("H264", 1, "h264", video[1]),
        Expected("ULAW", 0, "G711", audio[2]), Expected("H264", 1, "h264", video[2]),
    };
    std::string path;
    const std::string report = ReportOf(file, 3, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(expected) + kNoNewDataLine);
}

// "AAC4" sorts before "H264" as text but is the larger number (0x34434141):
// at the ties the video packet goes first, though the audio chunk comes
// first in the file.
TEST(FallbackLinesInterleave, TieGoesToTheSmallerTagValueNotText) {
    const std::vector<Sample> video = VideoSamples({0, 40, 80});
    const std::vector<Sample> audio = AudioSamples({0, 40, 60});
    const Bytes file = InProgressRecording().chunk(AudioChunk("AAC4", "aac ", audio)).chunk(VideoChunk(video)).bytes();

    const std::vector<Frame> expected = {
        Expected("H264", 0, "h264", video[0]), Expected("AAC4", 0, "aac ", audio[0]),
        Expected("H264", 1, "h264", video[1]), Expected("AAC4", 0, "aac ", audio[1]),
        Expected("AAC4", 0, "aac ", audio[2]), Expected("H264", 1, "h264", video[2]),
    };
    std::string path;
    const std::string report = ReportOf(file, 3, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(expected) + kNoNewDataLine);
}

}  // namespace

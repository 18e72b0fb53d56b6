// Writes the large recording the open benchmark measures: about 6.5 hours of
// 30 fps H.264-like video (a sync sample every 30) and AAC-like audio,
// 1,000,000 samples in all, in interleaved chunks of a few samples.
//
//   make_large_recording OUTPUT [--samples N] [--moov-first]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tools/HelpOption.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

using namespace writer;

namespace {

constexpr uint32_t kVideoTimescale = 90000;
constexpr uint32_t kFrameDuration = 3000;  // 30 fps
constexpr uint32_t kSyncInterval = 30;
// AAC LC with 960-sample frames at 12 kHz: 12.5 frames a second, so 30 + 12.5
// samples a second make 1,000,000 samples in about 6.54 hours.
constexpr uint32_t kAudioRate = 12000;
constexpr uint32_t kAudioFrameDuration = 960;
constexpr uint32_t kVideoSamplesPerChunk = 5;
constexpr uint32_t kAudioSamplesPerChunk = 4;
// 2024-03-01 00:00:00 UTC.
constexpr uint64_t kCreationTime = kIsoEpochOffset + 1709251200;

uint32_t VideoSampleSize(uint32_t index) {
    if (index % kSyncInterval == 0) return 2000 + (index / kSyncInterval % 7) * 16;
    return 160 + (index * 7 % 41);
}

uint32_t AudioSampleSize(uint32_t index) { return 100 + (index * 13 % 37); }

// One NAL unit with a 4-byte length prefix: an IDR slice on sync samples, a
// non-IDR slice otherwise, then filler bytes.
void VideoSampleBytes(uint32_t index, uint8_t* out, uint32_t size) {
    uint32_t unitLength = size - 4;
    out[0] = uint8_t(unitLength >> 24);
    out[1] = uint8_t(unitLength >> 16);
    out[2] = uint8_t(unitLength >> 8);
    out[3] = uint8_t(unitLength);
    out[4] = index % kSyncInterval == 0 ? 0x65 : 0x41;
    for (uint32_t i = 5; i < size; ++i) out[i] = uint8_t(0x80 | ((index + i) & 0x7F));
}

void AudioSampleBytes(uint32_t index, uint8_t* out, uint32_t size) {
    out[0] = 0x01;  // a raw data block opening with a single channel element (id 0, tag 0)
    for (uint32_t i = 1; i < size; ++i) out[i] = uint8_t((index * 31 + i) & 0xFF);
}

const char kUsage[] =
    "usage: make_large_recording OUTPUT [--samples N] [--moov-first]\n"
    "  Writes a recording of N samples (default 1000000) of video and audio.\n";

int Usage() { return helpoption::Usage(kUsage, false); }

}  // namespace

int main(int argc, char** argv) {
    if (helpoption::AsksForHelp(argc, argv)) return helpoption::Usage(kUsage, true);
    std::string output;
    uint64_t totalSamples = 1000000;
    bool moovFirst = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc) {
            totalSamples = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--moov-first") == 0) {
            moovFirst = true;
        } else if (argv[i][0] != '-' && output.empty()) {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (output.empty() || totalSamples < 2 || totalSamples > 0xFFFFFFFFull) return Usage();

    // 12.5 audio frames to every 30 video frames.
    uint32_t audioCount = uint32_t((totalSamples * 125 + 212) / 425);
    uint32_t videoCount = uint32_t(totalSamples - audioCount);

    try {
        Recording recording;
        recording.movie.timescale = 1000;
        recording.movie.creationTime = kCreationTime;
        recording.order = moovFirst ? BoxOrder::MoovFirst : BoxOrder::MdatFirst;

        Track& video = recording.addTrack(
            VideoTrack(Avc1(320, 240, {MinimalAvcSps(320, 240)}, {MinimalAvcPps()}), kVideoTimescale, 320, 240));
        video.creationTime = kCreationTime;
        video.samplesPerChunk = kVideoSamplesPerChunk;
        video.samples.reserve(videoCount);
        for (uint32_t i = 0; i < videoCount; ++i)
            video.addSized(VideoSampleSize(i), kFrameDuration, i % kSyncInterval == 0);
        video.sampleBytes = VideoSampleBytes;

        AudioFields audioFields{1, 16, kAudioRate};
        Track& audio = recording.addTrack(
            AudioTrack(Mp4a(audioFields, AacAudioSpecificConfig(2, kAudioRate, 1, true)), kAudioRate));
        audio.creationTime = kCreationTime;
        audio.samplesPerChunk = kAudioSamplesPerChunk;
        audio.samples.reserve(audioCount);
        for (uint32_t i = 0; i < audioCount; ++i) audio.addSized(AudioSampleSize(i), kAudioFrameDuration);
        audio.sampleBytes = AudioSampleBytes;

        std::string partial = output + ".partial";
        recording.writeFile(partial);
        if (std::rename(partial.c_str(), output.c_str()) != 0) {
            std::perror("rename");
            return 1;
        }
        double hours = double(videoCount) * kFrameDuration / kVideoTimescale / 3600.0;
        std::printf("%s: %u video + %u audio samples, %.2f hours\n", output.c_str(), videoCount, audioCount, hours);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_large_recording: %s\n", error.what());
        return 1;
    }
    return 0;
}

// Writes the recordings the frame-report benchmark reads: H.264-like video at
// 30 fps (a sync sample every 30, each sample a few NAL units with 4-byte
// length prefixes) and AAC-like audio, in half-second interleaved chunks,
// media data first as a camera writes it. Two shapes:
//   --large  3 minutes of 720p at about 1.6 MB/s, large samples (about 300 MB)
//   --small  38 minutes of 360p-like video, about 139,000 small samples (about 240 MB)
// The content comes from a fixed pseudo-random generator, so every run writes
// the same bytes. The samples are made while writing, never held whole.
//
//   make_report_recording --large|--small [--frames N] OUTPUT
//   make_report_recording --large|--small [--frames N] --stats   (the figures only, nothing written)
// --frames N cuts the shape down to its first N video frames and the audio
// that covers them, for profilers that run many times slower.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "RandomMedia.h"
#include "tools/HelpOption.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

using namespace writer;
using bench::BreakStartCodes;
using bench::FillRandom;
using bench::Prng;
using bench::PutLength;

namespace {

constexpr uint32_t kVideoTimescale = 90000;
constexpr uint32_t kFrameDuration = 3000;  // 30 fps
constexpr uint32_t kSyncInterval = 30;
constexpr uint32_t kAudioFrameDuration = 1024;  // AAC LC
constexpr uint64_t kVideoSeed = 0x5EED0001;
constexpr uint64_t kAudioSeed = 0x5EED0002;
// 2024-03-01 00:00:00 UTC.
constexpr uint64_t kCreationTime = kIsoEpochOffset + 1709251200;

struct Shape {
    const char* name;
    uint16_t width;
    uint16_t height;
    uint32_t videoCount;
    // Sizes are base * the group's complexity (0.75 to 1.25) + up to +-spread.
    uint32_t syncSize;
    uint32_t syncSpread;
    uint32_t predictedSize;
    uint32_t predictedSpread;
    uint32_t audioRate;
    uint32_t audioSize;
    uint32_t audioSpread;
    uint32_t videoSamplesPerChunk;
    uint32_t audioSamplesPerChunk;
};

// 450 KB + 29 x 41 KB a second: about 1.64 MB/s of video, and 43 audio
// packets a second of about 300 bytes.
constexpr Shape kLarge{"large", 1280, 720, 5400, 450000, 70000, 41000, 16000, 44100, 300, 40, 15, 22};
// The minimal parameter sets carry no cropping, so 360p is coded as 352 lines.
// About 3 KB per video sample and 31 audio packets a second of about 450 bytes.
constexpr Shape kSmall{"small", 640, 352, 68000, 12000, 2000, 2750, 1100, 32000, 450, 60, 15, 16};

// Each sample's bytes depend on its index only, whatever order they are made in.
uint64_t SampleSeed(uint64_t trackSeed, uint32_t index) {
    return trackSeed ^ (uint64_t(index) * 0xD1B54A32D192ED03ull);
}

// A slice of `size` bytes at `out` (NAL header included): a slice header that
// parses under MinimalAvcSps/MinimalAvcPps, so that readers which look into
// slices (ffprobe does) see a well-formed stream, then random slice data.
void WriteSlice(uint8_t* out, uint32_t size, uint32_t index, uint32_t firstMacroblock, Prng& rng) {
    bool idr = index % kSyncInterval == 0;
    BitWriter bits;
    bits.bits(idr ? 0x65 : 0x41, 8);  // IDR slice (nal_ref_idc 3), or non-IDR slice (nal_ref_idc 2)
    bits.ue(firstMacroblock);
    bits.ue(idr ? 7 : 5);                      // slice_type: all I, or all P
    bits.ue(0);                                // pic_parameter_set_id
    bits.bits(index % kSyncInterval % 16, 4);  // frame_num, log2_max_frame_num 4
    if (idr) {
        bits.ue(index / kSyncInterval % 2);  // idr_pic_id differs between neighbouring IDR pictures
    } else {
        bits.flag(false);  // num_ref_idx_active_override_flag
        bits.flag(false);  // ref_pic_list_modification_flag_l0
    }
    if (idr)
        bits.flag(false).flag(false);  // no_output_of_prior_pics_flag, long_term_reference_flag
    else
        bits.flag(false);                  // adaptive_ref_pic_marking_mode_flag
    bits.se(int32_t(rng.next() % 5) - 2);  // slice_qp_delta
    bits.ue(0).se(0).se(0);                // deblocking on, no offsets
    while (!bits.aligned()) bits.flag(rng.next() & 1);
    Bytes header = bits.bytes();

    FillRandom(out, size, rng);
    std::memcpy(out, header.data(), std::min<size_t>(header.size(), size));
    BreakStartCodes(out, size);
    out[size - 1] |= 0x80;  // the last byte holds the stop bit
}

// An access unit delimiter, on sync samples an SEI with unregistered user
// data, then one to four slices sharing the rest of the sample.
void VideoSampleBytes(uint32_t macroblocks, uint32_t index, uint8_t* out, uint32_t size) {
    Prng rng(SampleSeed(kVideoSeed, index));
    bool sync = index % kSyncInterval == 0;

    PutLength(out, 2);
    out[4] = 0x09;
    out[5] = sync ? 0x10 : 0x30;  // primary_pic_type I, or I and P; then the stop bit
    uint32_t pos = 6;

    if (sync) {
        constexpr uint32_t kSeiPayload = 21;  // a 16-byte UUID and 5 bytes of data
        uint8_t* sei = out + pos + 4;
        PutLength(out + pos, 3 + kSeiPayload + 1);
        sei[0] = 0x06;
        sei[1] = 0x05;  // user_data_unregistered
        sei[2] = kSeiPayload;
        FillRandom(sei + 3, kSeiPayload, rng);
        sei[3 + kSeiPayload] = 0x80;  // rbsp_trailing_bits
        BreakStartCodes(sei, 3 + kSeiPayload);
        pos += 4 + 3 + kSeiPayload + 1;
    }

    constexpr uint32_t kMinSlice = 4 + 32;
    uint32_t slices = sync ? rng.between(1, 4) : rng.between(1, 3);
    while (slices > 1 && size - pos < slices * kMinSlice) --slices;
    for (uint32_t k = 0; k < slices; ++k) {
        uint32_t left = slices - k;
        uint32_t room = size - pos;
        uint32_t unit = room;
        if (left > 1) {
            uint32_t share = room / left;
            unit = share - share / 4 + uint32_t(rng.next() % (share / 2 + 1));
            if (unit < kMinSlice) unit = kMinSlice;
            if (room - unit < (left - 1) * kMinSlice) unit = room - (left - 1) * kMinSlice;
        }
        PutLength(out + pos, unit - 4);
        WriteSlice(out + pos + 4, unit - 4, index, macroblocks * k / slices, rng);
        pos += unit;
    }
}

void AudioSampleBytes(uint32_t index, uint8_t* out, uint32_t size) {
    Prng rng(SampleSeed(kAudioSeed, index));
    FillRandom(out, size, rng);
    out[0] = 0x21;  // a channel pair element (tag 0) with a common window
}

struct Figures {
    uint32_t audioCount = 0;
    uint32_t largestSample = 0;
};

// The sample tables of the shape; the sizes come from their own generator
// so that they do not depend on the content.
Recording Build(const Shape& shape, Figures& figures) {
    Recording recording;
    recording.movie.timescale = 1000;
    recording.movie.creationTime = kCreationTime;
    recording.order = BoxOrder::MdatFirst;

    // The smallest video sample must hold the delimiter, the SEI and one slice.
    if (shape.predictedSize * 3 / 4 < shape.predictedSpread + 64 || shape.syncSize * 3 / 4 < shape.syncSpread + 64 ||
        shape.audioSize <= shape.audioSpread)
        throw std::logic_error("sample sizes too small for their spread");
    // Seeded by the shape alone, so that a cut-down file is the full one's start.
    Prng sizes(0x51E5 ^ shape.syncSize);
    Prng audioSizes(0xA0D1 ^ shape.syncSize);
    auto note = [&figures](uint32_t size) {
        if (size > figures.largestSample) figures.largestSample = size;
    };

    Track& video = recording.addTrack(
        VideoTrack(Avc1(shape.width, shape.height, {MinimalAvcSps(shape.width, shape.height)}, {MinimalAvcPps()}),
                   kVideoTimescale, shape.width, shape.height));
    video.creationTime = kCreationTime;
    video.samplesPerChunk = shape.videoSamplesPerChunk;
    video.samples.reserve(shape.videoCount);
    double complexity = 1.0;
    for (uint32_t i = 0; i < shape.videoCount; ++i) {
        bool sync = i % kSyncInterval == 0;
        if (sync) complexity = 0.75 + double(sizes.next() % 1001) / 2000.0;
        uint32_t base = uint32_t(std::lround((sync ? shape.syncSize : shape.predictedSize) * complexity));
        uint32_t spread = sync ? shape.syncSpread : shape.predictedSpread;
        uint32_t size = sizes.between(base - spread, base + spread);
        note(size);
        video.addSized(size, kFrameDuration, sync);
    }
    uint32_t macroblocks = uint32_t(shape.width / 16) * (shape.height / 16);
    video.sampleBytes = [macroblocks](uint32_t index, uint8_t* out, uint32_t size) {
        VideoSampleBytes(macroblocks, index, out, size);
    };

    // As many audio packets as cover the video.
    uint64_t videoTicks = uint64_t(shape.videoCount) * kFrameDuration;
    uint64_t perPacket = uint64_t(kVideoTimescale) * kAudioFrameDuration;
    figures.audioCount = uint32_t((videoTicks * shape.audioRate + perPacket - 1) / perPacket);

    AudioFields audioFields{2, 16, shape.audioRate};
    Track& audio = recording.addTrack(
        AudioTrack(Mp4a(audioFields, AacAudioSpecificConfig(2, shape.audioRate, 2)), shape.audioRate));
    audio.creationTime = kCreationTime;
    audio.samplesPerChunk = shape.audioSamplesPerChunk;
    audio.samples.reserve(figures.audioCount);
    for (uint32_t i = 0; i < figures.audioCount; ++i) {
        uint32_t size = audioSizes.between(shape.audioSize - shape.audioSpread, shape.audioSize + shape.audioSpread);
        note(size);
        audio.addSized(size, kAudioFrameDuration);
    }
    audio.sampleBytes = AudioSampleBytes;
    return recording;
}

const char kUsage[] =
    "usage: make_report_recording --large|--small [--frames N] OUTPUT\n"
    "       make_report_recording --large|--small [--frames N] --stats\n"
    "  Writes one of the two recordings of the frame-report benchmark.\n";

int Usage() { return helpoption::Usage(kUsage, false); }

}  // namespace

int main(int argc, char** argv) {
    if (helpoption::AsksForHelp(argc, argv)) return helpoption::Usage(kUsage, true);
    const Shape* shape = nullptr;
    uint32_t frames = 0;
    std::string output;
    bool statsOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--large") == 0) {
            shape = &kLarge;
        } else if (std::strcmp(argv[i], "--small") == 0) {
            shape = &kSmall;
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            char* end = nullptr;
            unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value == 0 || value > 1000000) return Usage();
            frames = uint32_t(value);
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            statsOnly = true;
        } else if (argv[i][0] != '-' && output.empty()) {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (shape == nullptr || output.empty() == !statsOnly) return Usage();
    Shape chosen = *shape;
    if (frames != 0) chosen.videoCount = frames;
    shape = &chosen;

    try {
        Figures figures;
        Recording recording = Build(*shape, figures);
        uint64_t fileSize = recording.layout().fileSize;
        if (!statsOnly) {
            std::string partial = output + ".partial";
            recording.writeFile(partial);
            if (std::rename(partial.c_str(), output.c_str()) != 0) {
                std::perror("rename");
                return 1;
            }
        }
        // One line, read by frame_report.sh: keep its wording.
        double seconds = double(shape->videoCount) * kFrameDuration / kVideoTimescale;
        std::printf("%s: %u samples (%u video, %u audio), %.1f s, file %llu bytes, largest sample %u bytes\n",
                    statsOnly ? shape->name : output.c_str(), shape->videoCount + figures.audioCount, shape->videoCount,
                    figures.audioCount, seconds, static_cast<unsigned long long>(fileSize), figures.largestSample);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_report_recording: %s\n", error.what());
        return 1;
    }
    return 0;
}

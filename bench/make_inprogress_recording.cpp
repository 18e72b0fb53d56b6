// Writes the two recordings the view-while-recording benchmark reads, holding
// the same media: 720p H.264-like video at 30 fps and about 1 MB/s, a sync
// sample at the start of every second.
//   - a recording in progress: "ftyp", "mdat" with size word 0, then one chunk
//     a second (index record, SPS/PPS configuration area, the 30 samples, the
//     trailer record, the 30 frame-information records), as a camera leaves
//     it on disk while it is still recording;
//   - a finished recording: the same samples in one-second chunks, media data
//     first, with a companion "norv" track carrying the same frame-information
//     records, so that both readers hand out the same packets.
// Each sample is an access unit delimiter, on sync samples the SPS, PPS and an
// SEI, then one to three slices, all behind 4-byte length prefixes. A sync
// sample carries its parameter sets in-band, so the ISO reader inserts none
// of its own and both readers hand out the sample as stored, in start-code
// form. The content comes from a fixed pseudo-random generator: every run
// writes the same bytes.
//
//   make_inprogress_recording [--seconds N] INPROGRESS FINISHED
//   make_inprogress_recording [--seconds N] --stats   (the figures only, nothing written)
// N defaults to 300 (about 300 MB per file).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "RandomMedia.h"
#include "tools/HelpOption.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/InProgressRecording.h"
#include "writer/MediaHeaderExtensions.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

using namespace writer;
using bench::BreakStartCodes;
using bench::FillRandom;
using bench::Prng;
using bench::PutLength;

namespace {

constexpr uint16_t kWidth = 1280;
constexpr uint16_t kHeight = 720;
constexpr uint32_t kFramesPerSecond = 30;
constexpr uint32_t kVideoTimescale = 90000;
constexpr uint32_t kFrameDuration = kVideoTimescale / kFramesPerSecond;
constexpr uint32_t kDefaultSeconds = 300;
constexpr uint32_t kMaxSeconds = 3600;
// 2024-03-01 00:00:00 UTC.
constexpr uint64_t kStartUnixSeconds = 1709251200;
constexpr uint64_t kStartMs = kStartUnixSeconds * 1000;
constexpr uint64_t kContentSeed = 0x5EED0101;
constexpr uint64_t kSizeSeed = 0x51E50101;

// 250 KB per sync sample and 26 KB per other one: about 1.0 MB a second.
constexpr uint32_t kSyncSize = 250000;
constexpr uint32_t kSyncSpread = 30000;
constexpr uint32_t kPredictedSize = 26000;
constexpr uint32_t kPredictedSpread = 8000;

bool IsSync(uint32_t frame) { return frame % kFramesPerSecond == 0; }

// Milliseconds of media time at which a frame starts.
uint64_t FrameMs(uint32_t frame) { return (uint64_t(frame) * 1000 + kFramesPerSecond / 2) / kFramesPerSecond; }

const Bytes& Sps() {
    static const Bytes sps = MinimalAvcSps(kWidth, kHeight);
    return sps;
}
const Bytes& Pps() {
    static const Bytes pps = MinimalAvcPps();
    return pps;
}

// Sample sizes come from their own generator, so that they do not depend on
// the content and --stats needs no content at all.
std::vector<uint32_t> SampleSizes(uint32_t frameCount) {
    Prng rng(kSizeSeed);
    std::vector<uint32_t> sizes;
    sizes.reserve(frameCount);
    double complexity = 1.0;
    for (uint32_t i = 0; i < frameCount; ++i) {
        const bool sync = IsSync(i);
        if (sync) complexity = 0.75 + double(rng.next() % 1001) / 2000.0;
        const uint32_t base = uint32_t(std::lround((sync ? kSyncSize : kPredictedSize) * complexity));
        const uint32_t spread = sync ? kSyncSpread : kPredictedSpread;
        sizes.push_back(rng.between(base - spread, base + spread));
    }
    return sizes;
}

// The bytes of sample `frame`, `size` bytes at `out`; they depend on the
// frame's index only, whatever order the samples are made in.
void SampleBytes(uint32_t frame, uint8_t* out, uint32_t size) {
    Prng rng(kContentSeed ^ (uint64_t(frame) * 0xD1B54A32D192ED03ull));
    const bool sync = IsSync(frame);
    uint32_t pos = 0;
    auto unit = [&](const uint8_t* bytes, uint32_t length) {
        PutLength(out + pos, length);
        std::memcpy(out + pos + 4, bytes, length);
        pos += 4 + length;
    };

    const uint8_t delimiter[2] = {0x09, uint8_t(sync ? 0x10 : 0x30)};
    unit(delimiter, sizeof delimiter);
    if (sync) {
        unit(Sps().data(), uint32_t(Sps().size()));
        unit(Pps().data(), uint32_t(Pps().size()));
        uint8_t sei[3 + 21 + 1] = {0x06, 0x05, 21};  // user_data_unregistered: a UUID and 5 bytes
        FillRandom(sei + 3, 21, rng);
        sei[sizeof sei - 1] = 0x80;  // rbsp_trailing_bits
        BreakStartCodes(sei, sizeof sei - 1);
        unit(sei, sizeof sei);
    }

    constexpr uint32_t kMinSlice = 4 + 64;
    uint32_t slices = rng.between(1, 3);
    while (slices > 1 && size - pos < slices * kMinSlice) --slices;
    for (uint32_t k = 0; k < slices; ++k) {
        const uint32_t room = size - pos;
        const uint32_t unitSize = k + 1 == slices ? room : room / (slices - k);
        const uint32_t length = unitSize - 4;
        uint8_t* slice = out + pos + 4;
        PutLength(out + pos, length);
        FillRandom(slice, length, rng);
        slice[0] = sync ? 0x65 : 0x41;  // IDR slice (nal_ref_idc 3), or non-IDR slice (nal_ref_idc 2)
        BreakStartCodes(slice, length);
        slice[length - 1] |= 0x80;  // the last byte holds the stop bit
        pos += unitSize;
    }
}

// Window 1 watches the left half, window 2 the right one; every 8 seconds
// window 1 sees two seconds of motion.
Bytes VideoExtension(uint32_t frame) {
    const uint64_t second = FrameMs(frame) / 1000;
    const bool motion = second % 8 == 4 || second % 8 == 5;
    const uint8_t jitter = uint8_t(frame * 7 % 5);
    MotionWindow left{true, motion, uint8_t(motion ? 60 + frame % 30 : jitter), {0, 0, kWidth / 2 - 1, kHeight - 1}};
    MotionWindow right{true, false, jitter, {kWidth / 2, 0, kWidth - 1, kHeight - 1}};
    return VideoExtensionBytes({left, right, MotionWindow{}});
}

// UTC times in the header and as record time, media time as stream time.
Bytes FrameRecord(uint32_t frame) {
    const uint64_t mediaMs = FrameMs(frame);
    const uint64_t utcMs = kStartMs + mediaMs;
    FlagWord flags;
    flags.utc = true;
    MediaHeader header;
    header.codec = "h264";
    header.frameType = IsSync(frame) ? 0 : 1;
    header.flags = flags.value();
    header.seconds = uint32_t(utcMs / 1000);
    header.milliseconds = uint16_t(utcMs % 1000);
    header.extension = VideoExtension(frame);
    const UserData userData = UserData()
                                  .recordTime(uint32_t(utcMs / 1000), uint32_t(utcMs % 1000))
                                  .streamTime(uint32_t(mediaMs / 1000), uint32_t(mediaMs % 1000));
    return FrameInfoRecord(header, userData).bytes();
}

struct Figures {
    uint32_t chunks = 0;
    uint64_t inProgressSize = 0;
    uint64_t finishedSize = 0;
    // What an index scan has to read of the recording in progress: index
    // records, configuration areas, trailer records, frame-information records.
    uint64_t recordBytes = 0;
    uint32_t largestSample = 0;
};

// The chunk of second `second`, with the samples' bytes when `content` is
// set (zero bytes of the right sizes otherwise).
Chunk SecondChunk(uint32_t second, const std::vector<uint32_t>& sizes, bool content) {
    Chunk chunk = Chunk::Video("H264", kWidth, kHeight);
    chunk.configuration(H264ConfigurationArea(Sps(), {Pps()}));
    const uint32_t first = second * kFramesPerSecond;
    const uint32_t last = std::min<uint32_t>(first + kFramesPerSecond, uint32_t(sizes.size()));
    for (uint32_t frame = first; frame < last; ++frame) {
        Bytes payload(sizes[frame]);
        if (content) SampleBytes(frame, payload.data(), sizes[frame]);
        chunk.sample(payload, FrameRecord(frame));
    }
    return chunk;
}

void NoteChunk(const ChunkLayout& layout, Figures& figures) {
    ++figures.chunks;
    figures.recordBytes += (layout.samplesStart - layout.start) + (layout.end - layout.trailerStart);
}

// Writes the recording in progress when `path` is not empty; the figures either way.
void InProgress(const std::vector<uint32_t>& sizes, const std::string& path, Figures& figures) {
    const uint32_t seconds = uint32_t((sizes.size() + kFramesPerSecond - 1) / kFramesPerSecond);
    const InProgressRecording head;
    if (path.empty()) {
        uint64_t at = head.head().size();
        for (uint32_t second = 0; second < seconds; ++second) {
            const ChunkLayout layout = SecondChunk(second, sizes, false).layout(at);
            NoteChunk(layout, figures);
            at = layout.end;
        }
        figures.inProgressSize = at;
        return;
    }
    InProgressFile file(path);
    file.appendHead(head);
    for (uint32_t second = 0; second < seconds; ++second)
        NoteChunk(file.appendChunk(SecondChunk(second, sizes, true)), figures);
    figures.inProgressSize = file.size();
}

Recording Finished(const std::vector<uint32_t>& sizes) {
    Recording recording;
    recording.movie.timescale = 1000;
    recording.movie.creationTime = kIsoEpochOffset + kStartUnixSeconds;
    recording.order = BoxOrder::MdatFirst;
    Track& video =
        recording.addTrack(VideoTrack(Avc1(kWidth, kHeight, {Sps()}, {Pps()}), kVideoTimescale, kWidth, kHeight));
    video.creationTime = recording.movie.creationTime;
    video.samplesPerChunk = kFramesPerSecond;
    video.samples.reserve(sizes.size());
    for (uint32_t frame = 0; frame < sizes.size(); ++frame) video.addSized(sizes[frame], kFrameDuration, IsSync(frame));
    video.sampleBytes = SampleBytes;
    std::vector<Bytes> records;
    records.reserve(sizes.size());
    for (uint32_t frame = 0; frame < sizes.size(); ++frame) records.push_back(FrameRecord(frame));
    recording.addCompanion(records);
    return recording;
}

template <class Write>
void WriteThenRename(const std::string& path, const Write& write) {
    const std::string partial = path + ".partial";
    write(partial);
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot rename " + partial + " to " + path);
}

const char kUsage[] =
    "usage: make_inprogress_recording [--seconds N] INPROGRESS FINISHED\n"
    "       make_inprogress_recording [--seconds N] --stats\n"
    "  Writes N seconds (default 300) of the same media as a recording in progress and finished;\n"
    "  --stats prints the figures only.\n";

int Usage() { return helpoption::Usage(kUsage, false); }

}  // namespace

int main(int argc, char** argv) {
    if (helpoption::AsksForHelp(argc, argv)) return helpoption::Usage(kUsage, true);
    uint32_t seconds = kDefaultSeconds;
    bool statsOnly = false;
    std::vector<std::string> outputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value == 0 || value > kMaxSeconds) return Usage();
            seconds = uint32_t(value);
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            statsOnly = true;
        } else if (argv[i][0] != '-') {
            outputs.push_back(argv[i]);
        } else {
            return Usage();
        }
    }
    if (statsOnly ? !outputs.empty() : outputs.size() != 2) return Usage();

    try {
        const std::vector<uint32_t> sizes = SampleSizes(seconds * kFramesPerSecond);
        Figures figures;
        figures.largestSample = *std::max_element(sizes.begin(), sizes.end());
        const Recording finished = Finished(sizes);
        figures.finishedSize = finished.layout().fileSize;
        if (statsOnly) {
            InProgress(sizes, "", figures);
        } else {
            WriteThenRename(outputs[0], [&](const std::string& path) { InProgress(sizes, path, figures); });
            WriteThenRename(outputs[1], [&](const std::string& path) { finished.writeFile(path); });
        }
        // One line, read by vwr_report.sh: keep its wording.
        std::printf(
            "inprogress: %zu samples, %u s, %u chunks, file %llu bytes, records %llu bytes; "
            "finished: file %llu bytes; largest sample %u bytes\n",
            sizes.size(), seconds, figures.chunks, static_cast<unsigned long long>(figures.inProgressSize),
            static_cast<unsigned long long>(figures.recordBytes), static_cast<unsigned long long>(figures.finishedSize),
            figures.largestSample);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_inprogress_recording: %s\n", error.what());
        return 1;
    }
    return 0;
}

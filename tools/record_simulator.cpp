// Plays a camera that is recording: appends the chunks of a recording in
// progress to a file as their media time passes, so that a reader can be
// watched following a live recording.
//
//   record_simulator OUTPUT [--seconds N] [--fps F] [--audio] [--chunk-seconds S]
//                    [--split-writes] [--fast] [--end-with-skip] [--zone-index Z]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "writer/FrameInfoRecordWriter.h"
#include "writer/InProgressRecording.h"
#include "writer/MediaHeaderExtensions.h"
#include "writer/SampleEntries.h"

namespace {

using namespace writer;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kWidth = 640;
constexpr uint16_t kHeight = 480;
constexpr uint32_t kAudioRate = 16000;
constexpr uint32_t kAudioFrameSamples = 1024;  // 64 ms at 16 kHz

const char kUsage[] =
    "usage: record_simulator OUTPUT [--seconds N] [--fps F] [--audio] [--chunk-seconds S]\n"
    "                        [--split-writes] [--fast] [--end-with-skip] [--zone-index Z]\n"
    "  Appends one chunk of H.264 video (and, with --audio, one of AAC audio) every S\n"
    "  seconds of media time to OUTPUT, a recording in progress, paced in real time.\n"
    "  --seconds N        media length in seconds (default 10)\n"
    "  --fps F            video frames per second (default 25)\n"
    "  --audio            AAC audio at 16000 Hz, one channel\n"
    "  --chunk-seconds S  media time per chunk, rounded to whole frames (default 1)\n"
    "  --split-writes     every chunk in 3 writes with short pauses between them\n"
    "                     (half the samples; the trailer and half the records; the rest)\n"
    "  --fast             no real-time pacing\n"
    "  --end-with-skip    a \"skip\" box after the last chunk\n"
    "  --zone-index Z     time-zone index of the frame headers, 0 to 127 (default 48: UTC)\n";

struct Options {
    std::string output;
    double seconds = 10;
    double fps = 25;
    double chunkSeconds = 1;
    bool audio = false;
    bool splitWrites = false;
    bool fast = false;
    bool endWithSkip = false;
    unsigned zoneIndex = 48;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double Number(const char* name, const char* text, double low, double high) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < low || value > high) {
        char message[160];
        std::snprintf(message, sizeof message, "%s needs a number from %g to %g, not \"%.40s\"", name, low, high, text);
        throw UsageError(message);
    }
    return value;
}

unsigned ZoneIndex(const char* text) {
    const double value = Number("--zone-index", text, 0, 127);
    if (value != std::floor(value))
        throw UsageError(std::string("--zone-index needs a whole number, not \"") + text + "\"");
    return unsigned(value);
}

// nullopt for --help.
std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw UsageError(argument + " needs a value");
            return argv[++i];
        };
        if (argument == "-h" || argument == "--help") return std::nullopt;
        if (argument == "--seconds")
            options.seconds = Number("--seconds", value(), 0.001, 86400);
        else if (argument == "--fps")
            options.fps = Number("--fps", value(), 0.1, 240);
        else if (argument == "--chunk-seconds")
            options.chunkSeconds = Number("--chunk-seconds", value(), 0.001, 3600);
        else if (argument == "--zone-index")
            options.zoneIndex = ZoneIndex(value());
        else if (argument == "--audio")
            options.audio = true;
        else if (argument == "--split-writes")
            options.splitWrites = true;
        else if (argument == "--fast")
            options.fast = true;
        else if (argument == "--end-with-skip")
            options.endWithSkip = true;
        else if (argument.rfind("--", 0) == 0)
            throw UsageError("unknown option " + argument);
        else if (options.output.empty())
            options.output = argument;
        else
            throw UsageError("one output file only");
    }
    if (options.output.empty()) throw UsageError("no output file");
    return options;
}

// Bytes that change from frame to frame, so that every frame has its own CRC.
class Noise {
public:
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    void fill(Bytes& out, size_t count) {
        for (size_t i = 0; i < count; ++i) out.push_back(uint8_t(next()));
    }

private:
    uint32_t state_ = 0x2545F491;
};

struct WallClock {
    uint64_t startMs = 0;  // UTC milliseconds since 1970 at media time 0
};

// Media times in milliseconds; UTC times in the headers and record time,
// media time as stream time.
UserData FrameUserData(const WallClock& clock, uint64_t mediaMs) {
    const uint64_t utcMs = clock.startMs + mediaMs;
    return UserData()
        .recordTime(uint32_t(utcMs / 1000), uint32_t(utcMs % 1000))
        .streamTime(uint32_t(mediaMs / 1000), uint32_t(mediaMs % 1000));
}

MediaHeader HeaderAt(const WallClock& clock, uint64_t mediaMs, unsigned zoneIndex, const char* codec) {
    FlagWord flags;
    flags.utc = true;
    flags.zoneIndex = uint8_t(zoneIndex);
    const uint64_t utcMs = clock.startMs + mediaMs;
    MediaHeader header;
    header.codec = codec;
    header.flags = flags.value();
    header.seconds = uint32_t(utcMs / 1000);
    header.milliseconds = uint16_t(utcMs % 1000);
    return header;
}

// Window 1 watches the left half, window 2 the right one, window 3 is off.
// Every 8 seconds window 1 sees two seconds of motion; every 10 seconds
// input 1 is active for one.
struct FrameEvents {
    bool motion = false;
    bool input = false;
};

FrameEvents EventsAt(uint64_t mediaMs) {
    const uint64_t second = mediaMs / 1000;
    return {second % 8 == 4 || second % 8 == 5, second % 10 == 7};
}

Bytes VideoExtensionAt(uint64_t mediaMs, Noise& noise) {
    const FrameEvents events = EventsAt(mediaMs);
    MotionWindow left{true,
                      events.motion,
                      uint8_t(events.motion ? 60 + noise.next() % 30 : noise.next() % 5),
                      {0, 0, kWidth / 2 - 1, kHeight - 1}};
    MotionWindow right{true, false, uint8_t(noise.next() % 5), {kWidth / 2, 0, kWidth - 1, kHeight - 1}};
    return VideoExtensionBytes({left, right, MotionWindow{}});
}

// One NAL unit behind a 4-byte length: an IDR slice for a sync sample.
Bytes VideoSample(bool sync, Noise& noise) {
    const size_t size = sync ? 6000 + noise.next() % 2000 : 700 + noise.next() % 900;
    Bytes unit{uint8_t(sync ? 0x65 : 0x41)};
    noise.fill(unit, size - 1);
    return Concat({ByteWriter().u32(uint32_t(unit.size())).take(), unit});
}

class Simulator {
public:
    explicit Simulator(const Options& options) : options_(options), file_(options.output) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        clock_.startMs = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        totalFrames_ = std::max<uint64_t>(1, uint64_t(std::llround(options.seconds * options.fps)));
        framesPerChunk_ = std::max<uint64_t>(1, uint64_t(std::llround(options.chunkSeconds * options.fps)));
        videoConfiguration_ = H264ConfigurationArea(MinimalAvcSps(kWidth, kHeight), {MinimalAvcPps()});
        audioConfiguration_ = AacAudioSpecificConfig(2, kAudioRate, 1);
    }

    void run() {
        std::fprintf(stderr, "record_simulator - %s: %llu frames at %g fps, %llu per chunk%s%s\n",
                     options_.output.c_str(), (unsigned long long)totalFrames_, options_.fps,
                     (unsigned long long)framesPerChunk_, options_.audio ? ", audio" : "",
                     options_.splitWrites ? ", split writes" : "");
        file_.appendHead(InProgressRecording());
        const Clock::time_point start = Clock::now();
        for (uint64_t first = 0; first < totalFrames_; first += framesPerChunk_) {
            const uint64_t last = std::min(totalFrames_, first + framesPerChunk_);
            const uint64_t fromMs = FrameMs(first);
            const uint64_t toMs = FrameMs(last);
            // A camera writes a chunk once its media time has passed.
            if (!options_.fast) std::this_thread::sleep_until(start + std::chrono::milliseconds(toMs));
            write(VideoChunk(first, last), "H264", fromMs, toMs);
            if (options_.audio) {
                Chunk audio = AudioChunk(fromMs, toMs);
                if (audio.sampleCount() > 0) write(audio, "AAC4", fromMs, toMs);
            }
        }
        if (options_.endWithSkip) {
            file_.appendSkipBox();
            std::fprintf(stderr, "record_simulator - skip box at %llu\n", (unsigned long long)(file_.size() - 8));
        }
    }

private:
    uint64_t FrameMs(uint64_t frame) const { return uint64_t(std::llround(double(frame) * 1000.0 / options_.fps)); }

    Chunk VideoChunk(uint64_t first, uint64_t last) {
        Chunk chunk = Chunk::Video("H264", kWidth, kHeight);
        chunk.configuration(videoConfiguration_);
        for (uint64_t frame = first; frame < last; ++frame) {
            const uint64_t ms = FrameMs(frame);
            const bool sync = frame == first;
            MediaHeader header = HeaderAt(clock_, ms, options_.zoneIndex, "h264");
            header.frameType = sync ? 0 : 1;
            header.digitalInputs = EventsAt(ms).input ? 1 : 0;
            header.extension = VideoExtensionAt(ms, noise_);
            chunk.sample(VideoSample(sync, noise_), FrameInfoRecord(header, FrameUserData(clock_, ms)));
        }
        return chunk;
    }

    // The audio frames that start in [fromMs, toMs).
    Chunk AudioChunk(uint64_t fromMs, uint64_t toMs) {
        Chunk chunk = Chunk::Audio("AAC4");
        chunk.configuration(audioConfiguration_);
        for (;; ++audioFrame_) {
            const uint64_t ms = audioFrame_ * kAudioFrameSamples * 1000 / kAudioRate;
            if (ms >= toMs) break;
            if (ms < fromMs) continue;
            Bytes payload;
            noise_.fill(payload, 180 + noise_.next() % 120);
            AudioExtension extension;
            extension.frameSizes = {uint16_t(payload.size())};
            extension.sampleRate = kAudioRate;
            extension.channels = 1;
            MediaHeader header = HeaderAt(clock_, ms, options_.zoneIndex, "aac ");
            header.extension = AudioExtensionBytes(extension);
            chunk.sample(payload, FrameInfoRecord(header, FrameUserData(clock_, ms)));
        }
        return chunk;
    }

    void write(const Chunk& chunk, const char* tag, uint64_t fromMs, uint64_t toMs) {
        std::vector<uint64_t> cuts;
        if (options_.splitWrites) {
            // Half the samples, then the trailer and half the records: both
            // leave a chunk that a reader must not take yet.
            const ChunkLayout layout = chunk.layout();
            cuts = {layout.samplesStart + (layout.trailerStart - layout.samplesStart) / 2,
                    layout.recordsStart + (layout.end - layout.recordsStart) / 2};
        }
        // Short enough that the pauses of a video and an audio chunk take at
        // most half the chunk's media time, so the pacing keeps up.
        const auto pause = std::chrono::milliseconds(std::min<uint64_t>(150, (toMs - fromMs) / 8));
        const ChunkLayout placed =
            file_.appendChunk(chunk, cuts, [pause](uint64_t) { std::this_thread::sleep_for(pause); });
        std::fprintf(
            stderr, "record_simulator - chunk %u %s: %zu samples, media %llu.%03llu-%llu.%03llu s, bytes %llu-%llu\n",
            ++chunkCount_, tag, chunk.sampleCount(), (unsigned long long)(fromMs / 1000),
            (unsigned long long)(fromMs % 1000), (unsigned long long)(toMs / 1000), (unsigned long long)(toMs % 1000),
            (unsigned long long)placed.start, (unsigned long long)placed.end);
    }

    Options options_;
    InProgressFile file_;
    WallClock clock_;
    Noise noise_;
    uint64_t totalFrames_ = 0;
    uint64_t framesPerChunk_ = 0;
    uint64_t audioFrame_ = 0;
    unsigned chunkCount_ = 0;
    Bytes videoConfiguration_;
    Bytes audioConfiguration_;
};

}  // namespace

int main(int argc, char** argv) {
    try {
        std::optional<Options> options = ParseOptions(argc, argv);
        if (!options) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        Simulator(*options).run();
        return 0;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "record_simulator - %s\n%s", error.what(), kUsage);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "record_simulator - %s\n", error.what());
        return 1;
    }
}

// Follows a recording that a camera is still writing, with the
// view-while-recording reader (libstampwalk-viewwhilerecording): prints each
// packet as soon as its chunk is complete on disk, and stops once the writer
// has added nothing for a while.
//
//   follow_recording RECORDING [--idle-seconds S] [--poll-ms M]
//
// The reader never waits: when it has handed out every packet it knows and
// finds no new complete chunk, it answers "no new data" and the caller asks
// again later. Here that is every M milliseconds (default 100), until S
// seconds (default 5) pass without a new packet. The file itself may appear
// late or still lack its media data box; that is waited for the same way.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "viewwhilerecording/ViewWhileRec.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Arguments {
    const char* path = nullptr;
    double idleSeconds = 5;
    long pollMs = 100;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        char* end = nullptr;
        if (word == "--idle-seconds" && i + 1 < argc) {
            arguments.idleSeconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(arguments.idleSeconds >= 0 && arguments.idleSeconds <= 3600)) return false;
        } else if (word == "--poll-ms" && i + 1 < argc) {
            arguments.pollMs = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || arguments.pollMs < 1 || arguments.pollMs > 60000) return false;
        } else if (!arguments.path && word.compare(0, 2, "--") != 0) {
            arguments.path = argv[i];
        } else {
            return false;
        }
    }
    return arguments.path != nullptr;
}

const char* CodecName(uint32_t codecType) {
    static const struct {
        uint32_t type;
        const char* name;
    } kNames[] = {{kCodecJpeg, "JPEG"}, {kCodecH263, "H263"},  {kCodecMp4v, "MP4V"}, {kCodecH264, "H264"},
                  {kCodecHevc, "HEVC"}, {kCodecG7221, "G722"}, {kCodecG729, "G729"}, {kCodecAac, "AAC4"},
                  {kCodecSamr, "GAMR"}, {kCodecUlaw, "ULAW"},  {kCodecAlaw, "ALAW"}, {kCodecG726, "G726"},
                  {kCodecIva1, "IVA1"}, {kCodecMetx, "METX"},  {kCodecMetj, "METJ"}};
    for (const auto& entry : kNames)
        if (entry.type == codecType) return entry.name;
    return "????";
}

char FrameLetter(int32_t frameType) { return frameType >= 0 && frameType <= 2 ? "IPB"[frameType] : '?'; }

bool NothingNewYet(int32_t status) { return status == kNoNewData || status == kReachedSkipBox; }

class IdleTimer {
public:
    explicit IdleTimer(double seconds) : limit_(std::chrono::duration<double>(seconds)) {}
    void reset() { since_ = Clock::now(); }
    bool expired() const { return Clock::now() - since_ >= limit_; }

private:
    std::chrono::duration<double> limit_;
    Clock::time_point since_ = Clock::now();
};

}  // namespace

const char kUsage[] =
    "usage: follow_recording RECORDING [--idle-seconds S] [--poll-ms M]\n"
    "  Prints each packet of a recording in progress as soon as its chunk is complete.\n";

int main(int argc, char** argv) {
    Arguments arguments;
    const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    if (help || !ParseArguments(argc, argv, arguments)) {
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const auto poll = std::chrono::milliseconds(arguments.pollMs);
    IdleTimer idle(arguments.idleSeconds);

    // Until the writer has put down the boxes before its media data, the
    // open says "no new data"; a file not there yet is an I/O error.
    VIEWWHILEREC_HANDLE parser = nullptr;
    int32_t status;
    while ((status = VIEWWHILEREC_InitParser(&parser, arguments.path)) != kOk) {
        if ((!NothingNewYet(status) && status != kIOError) || idle.expired()) {
            std::fprintf(stderr, "follow_recording: cannot open %s: status %x\n", arguments.path, unsigned(status));
            return 1;
        }
        std::this_thread::sleep_for(poll);
    }

    uint32_t count = 0;
    bool waiting = false;
    idle.reset();
    for (;;) {
        TMediaPacket* packet = nullptr;
        status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
        if (status == kOk) {
            // The packet stays the parser's; it is valid until the next call.
            std::printf("%5u %s %c %u.%03u payload %u\n", ++count, CodecName(packet->codecType),
                        FrameLetter(packet->frameType), packet->seconds, packet->milliseconds, packet->payloadSize);
            waiting = false;
            idle.reset();
            continue;
        }
        if (!NothingNewYet(status)) {
            std::fprintf(stderr, "follow_recording: reading stopped after %u packets: status %x\n", count,
                         unsigned(status));
            VIEWWHILEREC_ReleaseParser(&parser);
            return 1;
        }
        if (idle.expired()) break;
        if (!waiting) {
            std::printf("waiting for the writer after %u packets\n", count);
            std::fflush(stdout);
            waiting = true;
        }
        std::this_thread::sleep_for(poll);
    }
    std::printf("no new data for %g s: %u packets\n", arguments.idleSeconds, count);
    VIEWWHILEREC_ReleaseParser(&parser);
    return 0;
}

// Counts the bytes the reader of recordings in progress reads. The count is
// the kernel's (rchar of /proc/self/io: every byte a read call returned to
// this process), so it takes in what the reader's stdio buffers fetch around
// the bytes it asks for, and nothing in the library changes for it. Only the
// reader runs between two looks at the counter; the look itself is taken off.
//
//   vwr_scan RECORDING [--grow-into COPY] [--piece BYTES]
//
// Four measurements, one line each (vwr_report.sh reads them: keep the wording):
//   scan    InitParser, then a seek to a time after the end. Knowing no packet
//           yet, the seek scans every complete chunk, then puts the track past
//           its last packet: the whole index scan, and no packet is built.
//   idle    one OutputRawPacket after that: the known packets are used up, so
//           it is a rescan that finds nothing new.
//   grow    (with --grow-into) RECORDING copied to COPY piece by piece, as a
//           camera appends it, with one rescan after every piece on a parser
//           that was sought past the end, so that the rescans only index.
//           Pieces (default 1,000,000 bytes) end anywhere, so rescans
//           also meet chunks that are not complete yet. Afterwards the
//           packets are read back, unmeasured, to check that the rescans
//           indexed every one.
//   read    a new parser: InitParser and OutputRawPacket until a status other
//           than 0, every packet built: the reader's whole run.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/HelpOption.h"
#include "viewwhilerecording/ViewWhileRec.h"

namespace {

constexpr uint64_t kAfterTheEnd = std::numeric_limits<uint64_t>::max();
// About one chunk, and, like a camera's writes, not a multiple of the 4 KiB
// blocks that stdio reads in.
constexpr uint64_t kDefaultPiece = 1000000;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Hex(int32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", uint32_t(status));
    return text;
}

// The process's read counters, looked at through one descriptor kept open.
class ReadCounter {
public:
    ReadCounter() : descriptor_(::open("/proc/self/io", O_RDONLY | O_CLOEXEC)) {
        if (descriptor_ < 0) throw Failure(std::string("/proc/self/io: ") + std::strerror(errno));
    }
    ~ReadCounter() { ::close(descriptor_); }
    ReadCounter(const ReadCounter&) = delete;
    ReadCounter& operator=(const ReadCounter&) = delete;

    struct Reading {
        uint64_t bytes = 0;     // rchar
        uint64_t calls = 0;     // syscr
        uint64_t ownBytes = 0;  // what this look itself read; the counters show it only at the next look
    };

    Reading Look() const {
        char text[1024];
        const ssize_t length = ::pread(descriptor_, text, sizeof text - 1, 0);
        if (length <= 0) throw Failure("cannot read /proc/self/io");
        text[length] = '\0';
        Reading reading;
        reading.bytes = Field(text, "rchar:");
        reading.calls = Field(text, "syscr:");
        reading.ownBytes = uint64_t(length);
        return reading;
    }

private:
    static uint64_t Field(const char* text, const char* name) {
        const char* at = std::strstr(text, name);
        if (!at) throw Failure(std::string("/proc/self/io has no ") + name);
        return std::strtoull(at + std::strlen(name), nullptr, 10);
    }

    int descriptor_;
};

struct Cost {
    uint64_t bytes = 0;
    uint64_t calls = 0;
    double seconds = 0;
    Cost& operator+=(const Cost& other) {
        bytes += other.bytes;
        calls += other.calls;
        seconds += other.seconds;
        return *this;
    }
};

// What `work` reads, the counter's own look before it taken off.
template <class Work>
Cost Measure(const ReadCounter& counter, Work&& work) {
    const ReadCounter::Reading before = counter.Look();
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    const ReadCounter::Reading after = counter.Look();
    return {after.bytes - before.bytes - before.ownBytes, after.calls - before.calls - 1,
            std::chrono::duration<double>(end - start).count()};
}

uint64_t FileSize(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) throw Failure(path + ": " + std::strerror(errno));
    return uint64_t(status.st_size);
}

double Percent(uint64_t part, uint64_t whole) { return whole ? 100.0 * double(part) / double(whole) : 0.0; }

void PrintCost(const char* what, const Cost& cost, uint64_t fileSize) {
    std::printf("%s: %" PRIu64 " bytes in %" PRIu64 " read calls (%.3f%% of the file), %.1f ms", what, cost.bytes,
                cost.calls, Percent(cost.bytes, fileSize), cost.seconds * 1000);
}

VIEWWHILEREC_HANDLE Open(const std::string& path, int32_t& status) {
    VIEWWHILEREC_HANDLE parser = nullptr;
    status = VIEWWHILEREC_InitParser(&parser, path.c_str());
    return status == kOk ? parser : nullptr;
}

// Packets handed out from here on, until a status other than 0.
uint64_t CountPackets(VIEWWHILEREC_HANDLE parser, uint64_t* payloadBytes, int32_t* finalStatus) {
    uint64_t packets = 0;
    TMediaPacket* packet = nullptr;
    int32_t status;
    while ((status = VIEWWHILEREC_OutputRawPacket(parser, &packet)) == kOk) {
        ++packets;
        if (payloadBytes) *payloadBytes += packet->payloadSize;
    }
    if (finalStatus) *finalStatus = status;
    return packets;
}

void Scan(const ReadCounter& counter, const std::string& path, uint64_t fileSize) {
    int32_t initStatus = 0;
    int32_t seekStatus = 0;
    VIEWWHILEREC_HANDLE parser = nullptr;
    const Cost scan = Measure(counter, [&] {
        parser = Open(path, initStatus);
        if (parser) seekStatus = VIEWWHILEREC_Seek(parser, kAfterTheEnd);
    });
    if (!parser) throw Failure("InitParser on " + path + " gave " + Hex(initStatus));
    if (seekStatus != kOk) throw Failure("the seek past the end gave " + Hex(seekStatus));
    PrintCost("scan", scan, fileSize);
    std::printf("\n");

    int32_t idleStatus = 0;
    TMediaPacket* packet = nullptr;
    const Cost idle = Measure(counter, [&] { idleStatus = VIEWWHILEREC_OutputRawPacket(parser, &packet); });
    PrintCost("idle", idle, fileSize);
    std::printf(", status %s\n", Hex(idleStatus).c_str());
    VIEWWHILEREC_ReleaseParser(&parser);
}

// Appends bytes to a file with plain writes, which the reader sees at once.
class GrowingCopy {
public:
    GrowingCopy(const std::string& source, const std::string& copy)
        : in_(::open(source.c_str(), O_RDONLY | O_CLOEXEC)),
          out_(::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
        if (in_ < 0) throw Failure(source + ": " + std::strerror(errno));
        if (out_ < 0) throw Failure(copy + ": " + std::strerror(errno));
    }
    ~GrowingCopy() {
        ::close(in_);
        ::close(out_);
    }
    GrowingCopy(const GrowingCopy&) = delete;
    GrowingCopy& operator=(const GrowingCopy&) = delete;

    // The next piece of at most `size` bytes; false when the source is used up.
    bool Append(uint64_t size) {
        buffer_.resize(size);
        const ssize_t got = ::read(in_, buffer_.data(), size);
        if (got < 0) throw Failure(std::string("read: ") + std::strerror(errno));
        if (got == 0) return false;
        for (ssize_t done = 0; done < got;) {
            const ssize_t wrote = ::write(out_, buffer_.data() + done, size_t(got - done));
            if (wrote < 0) throw Failure(std::string("write: ") + std::strerror(errno));
            done += wrote;
        }
        return true;
    }

private:
    int in_;
    int out_;
    std::vector<uint8_t> buffer_;
};

void Grow(const ReadCounter& counter, const std::string& path, const std::string& copyPath, uint64_t piece,
          uint64_t fileSize, uint64_t expectedPackets) {
    GrowingCopy copy(path, copyPath);
    VIEWWHILEREC_HANDLE parser = nullptr;
    bool sought = false;
    uint64_t pieces = 0;
    uint64_t looks = 0;
    uint64_t handedOut = 0;
    Cost total;
    Cost largest;
    // One look after every piece, and one more after the last.
    for (bool more = true; more;) {
        more = copy.Append(piece);
        pieces += more ? 1 : 0;
        int32_t status = 0;
        const Cost cost = Measure(counter, [&] {
            TMediaPacket* packet = nullptr;
            if (!parser)
                parser = Open(copyPath, status);
            else if (!sought)
                sought = (status = VIEWWHILEREC_Seek(parser, kAfterTheEnd)) == kOk;
            else if ((status = VIEWWHILEREC_OutputRawPacket(parser, &packet)) == kOk)
                ++handedOut;
        });
        total += cost;
        ++looks;
        if (cost.bytes > largest.bytes) largest = cost;
        if (status != kOk && status != kNoNewData) throw Failure("a rescan of the growing copy gave " + Hex(status));
    }
    if (!parser) throw Failure("InitParser never found the media data of the growing copy");

    // Every packet the rescans indexed, read from the start.
    int32_t status = VIEWWHILEREC_Seek(parser, 0);
    if (status != kOk) throw Failure("the seek to the start of the copy gave " + Hex(status));
    const uint64_t indexed = CountPackets(parser, nullptr, nullptr);
    VIEWWHILEREC_ReleaseParser(&parser);

    PrintCost("grow", total, fileSize);
    std::printf(", %" PRIu64 " looks (InitParser, seeks, rescans) after %" PRIu64 " pieces of %" PRIu64
                " bytes, largest look %" PRIu64 " bytes, %" PRIu64 " packets indexed\n",
                looks, pieces, piece, largest.bytes, indexed);
    if (handedOut != 0) std::printf("grow: WARNING: %" PRIu64 " packets handed out during the rescans\n", handedOut);
    if (indexed != expectedPackets)
        std::printf("grow: WARNING: %" PRIu64 " packets indexed, the whole file has %" PRIu64 "\n", indexed,
                    expectedPackets);
}

// The reader's whole run; the number of packets.
uint64_t Read(const ReadCounter& counter, const std::string& path, uint64_t fileSize) {
    uint64_t packets = 0;
    uint64_t payloadBytes = 0;
    int32_t initStatus = 0;
    int32_t finalStatus = 0;
    VIEWWHILEREC_HANDLE parser = nullptr;
    const Cost read = Measure(counter, [&] {
        parser = Open(path, initStatus);
        if (parser) packets = CountPackets(parser, &payloadBytes, &finalStatus);
    });
    if (!parser) throw Failure("InitParser on " + path + " gave " + Hex(initStatus));
    VIEWWHILEREC_ReleaseParser(&parser);
    PrintCost("read", read, fileSize);
    std::printf(", %" PRIu64 " packets, payload %" PRIu64 " bytes, final status %s\n", packets, payloadBytes,
                Hex(finalStatus).c_str());
    return packets;
}

const char kUsage[] =
    "usage: vwr_scan RECORDING [--grow-into COPY] [--piece BYTES]\n"
    "  Counts the bytes the index scan of a recording in progress reads.\n";

int Usage() { return helpoption::Usage(kUsage, false); }

}  // namespace

int main(int argc, char** argv) {
    if (helpoption::AsksForHelp(argc, argv)) return helpoption::Usage(kUsage, true);
    std::string path;
    std::string copyPath;
    uint64_t piece = kDefaultPiece;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--grow-into") == 0 && i + 1 < argc) {
            copyPath = argv[++i];
        } else if (std::strcmp(argv[i], "--piece") == 0 && i + 1 < argc) {
            char* end = nullptr;
            piece = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || piece == 0 || piece > (uint64_t(1) << 30)) return Usage();
        } else if (argv[i][0] != '-' && path.empty()) {
            path = argv[i];
        } else {
            return Usage();
        }
    }
    if (path.empty()) return Usage();

    try {
        const ReadCounter counter;
        const uint64_t fileSize = FileSize(path);
        std::printf("file: %s, %" PRIu64 " bytes\n", path.c_str(), fileSize);
        Scan(counter, path, fileSize);
        const uint64_t packets = Read(counter, path, fileSize);
        if (!copyPath.empty()) Grow(counter, path, copyPath, piece, fileSize, packets);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vwr_scan: %s\n", error.what());
        return 1;
    }
    return 0;
}

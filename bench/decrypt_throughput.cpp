// Decryption throughput of the ISO reader. "make" writes a protected
// recording of about 300 MB: H.264-like video at 25 fps whose samples are 2
// to 4 length-prefixed units, encrypted by sub-samples (each unit's prefix
// and header byte clear), and AAC-like audio encrypted whole; AES-128 in
// counter mode with one 8-byte IV per sample, the counter starting at IV || 0
// and running on across a sample's protected ranges. "read" checks a few
// decrypted payloads against the clear bytes, then times opening the file,
// setting the key of both tracks and reading every packet, and reports the
// sample data per second; the same without a key (samples handed out as
// stored) and libcrypto's AES-128-CTR alone are shown beside it.
//
//   decrypt_throughput make FILE [--megabytes N]
//   decrypt_throughput read FILE [--runs N]

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "isom/AVReader.h"
#include "tools/HelpOption.h"
#include "writer/IsoBoxes.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

using namespace writer;

namespace {

// FIPS-197's example AES-128 key; the key identifier reads "decrypt_bench_01".
constexpr uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                              0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
constexpr char kKeyId[] = "decrypt_bench_01";

constexpr uint32_t kVideoTimescale = 90000;
constexpr uint32_t kFrameDuration = 3600;  // 25 fps
constexpr uint32_t kSyncInterval = 25;
constexpr uint32_t kAudioRate = 16000;
constexpr uint32_t kAudioFrameDuration = 1024;
constexpr uint32_t kPrefixSize = 4;
constexpr unsigned kClearBytesPerUnit = kPrefixSize + 1;  // the length prefix and the unit's header byte
// 2024-03-01 00:00:00 UTC.
constexpr uint64_t kCreationTime = kIsoEpochOffset + 1709251200;

uint64_t Mix(uint64_t x) {  // splitmix64's finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Key frames of 200 to 260 KB, others of 30 to 50 KB: about 40 KB a sample.
uint32_t VideoSampleSize(uint32_t index) {
    const uint64_t r = Mix(index);
    return index % kSyncInterval == 0 ? 200000 + uint32_t(r % 60000) : 30000 + uint32_t(r % 20000);
}

uint32_t AudioSampleSize(uint32_t index) { return 300 + uint32_t(Mix(index + 0x5000000) % 200); }

// The lengths of a video sample's units (prefixes not counted): 2 to 4 of
// them, the last taking what is left.
std::vector<uint32_t> UnitLengths(uint32_t index, uint32_t size) {
    const uint32_t units = 2 + uint32_t(Mix(index + 0x9000000) % 3);
    std::vector<uint32_t> lengths;
    uint32_t left = size;
    for (uint32_t k = 0; k + 1 < units; ++k) {
        const uint32_t share = size / units;
        lengths.push_back(share - kPrefixSize);
        left -= share;
    }
    lengths.push_back(left - kPrefixSize);
    return lengths;
}

// Clear bytes: pseudo-random words, which libcrypto neither knows nor cares about.
void FillBytes(uint64_t seed, uint8_t* out, uint32_t size) {
    uint64_t state = seed;
    uint32_t i = 0;
    for (; i + 8 <= size; i += 8) {
        state = Mix(state);
        std::memcpy(out + i, &state, 8);
    }
    state = Mix(state);
    for (; i < size; ++i) out[i] = uint8_t(state >> (8 * (i % 8)));
}

void ClearVideoBytes(uint32_t index, uint8_t* out, uint32_t size) {
    FillBytes(index, out, size);
    uint32_t at = 0;
    for (uint32_t length : UnitLengths(index, size)) {
        out[at] = uint8_t(length >> 24);
        out[at + 1] = uint8_t(length >> 16);
        out[at + 2] = uint8_t(length >> 8);
        out[at + 3] = uint8_t(length);
        out[at + 4] = index % kSyncInterval == 0 ? 0x65 : 0x41;  // IDR or non-IDR slice
        at += kPrefixSize + length;
    }
}

void ClearAudioBytes(uint32_t index, uint8_t* out, uint32_t size) { FillBytes(index + 0x7000000, out, size); }

Bytes SampleIv(uint32_t track, uint32_t index) {
    const uint64_t value = Mix((uint64_t(track) << 32) | index);
    Bytes iv(8);
    for (int i = 0; i < 8; ++i) iv[i] = uint8_t(value >> (56 - 8 * i));
    return iv;
}

struct Range {
    uint32_t offset;
    uint32_t size;
};

std::vector<Range> VideoProtectedRanges(uint32_t index, uint32_t size) {
    std::vector<Range> ranges;
    uint32_t at = 0;
    for (uint32_t length : UnitLengths(index, size)) {
        ranges.push_back({at + kClearBytesPerUnit, length - 1});
        at += kPrefixSize + length;
    }
    return ranges;
}

// AES-128-CTR through EVP, one key stream per sample from IV || 0.
class CtrEncryptor {
public:
    CtrEncryptor() : context_(EVP_CIPHER_CTX_new()) {
        if (!context_ || EVP_EncryptInit_ex(context_, EVP_aes_128_ctr(), nullptr, kKey, nullptr) != 1)
            throw std::runtime_error("EVP AES-128-CTR set-up failed");
    }
    ~CtrEncryptor() { EVP_CIPHER_CTX_free(context_); }
    CtrEncryptor(const CtrEncryptor&) = delete;
    CtrEncryptor& operator=(const CtrEncryptor&) = delete;

    void StartSample(const Bytes& iv) {
        uint8_t counter[16] = {};
        std::memcpy(counter, iv.data(), 8);
        if (EVP_EncryptInit_ex(context_, nullptr, nullptr, nullptr, counter) != 1)
            throw std::runtime_error("EVP IV set-up failed");
    }
    void Apply(uint8_t* bytes, uint32_t size) {
        int written = 0;
        if (size && EVP_EncryptUpdate(context_, bytes, &written, bytes, int(size)) != 1)
            throw std::runtime_error("EVP encryption failed");
    }

private:
    EVP_CIPHER_CTX* context_;
};

TencFields Tenc() {
    TencFields tenc;
    tenc.defaultKeyId.assign(kKeyId, kKeyId + 16);
    return tenc;
}

// Video samples until their bytes reach the target; audio for the same time.
void Make(const std::string& output, uint64_t megabytes) {
    const uint64_t target = megabytes * 1000000;
    uint32_t videoCount = 0;
    uint64_t videoBytes = 0;
    while (videoBytes < target) videoBytes += VideoSampleSize(videoCount++);
    const uint32_t audioCount =
        uint32_t(uint64_t(videoCount) * kFrameDuration * kAudioRate / kVideoTimescale / kAudioFrameDuration);

    Recording recording;
    recording.movie.timescale = 1000;
    recording.movie.creationTime = kCreationTime;

    Track& video = recording.addTrack(
        VideoTrack(Protect(Avc1(640, 480, {MinimalAvcSps(640, 480)}, {MinimalAvcPps()}), "encv", Tenc()),
                   kVideoTimescale, 640, 480));
    video.creationTime = kCreationTime;
    video.samplesPerChunk = 5;
    std::vector<EncryptionRecord> videoRecords;
    std::vector<uint8_t> videoInfoSizes;
    for (uint32_t i = 0; i < videoCount; ++i) {
        const uint32_t size = VideoSampleSize(i);
        video.addSized(size, kFrameDuration, i % kSyncInterval == 0);
        EncryptionRecord record{SampleIv(0, i), {}};
        for (const Range& range : VideoProtectedRanges(i, size))
            record.subSamples.push_back({uint16_t(kClearBytesPerUnit), range.size});
        videoInfoSizes.push_back(uint8_t(8 + 2 + 6 * record.subSamples.size()));
        videoRecords.push_back(std::move(record));
    }
    video.moreSampleTableBoxes = {Saiz(0, videoCount, videoInfoSizes), Senc(videoRecords, true)};
    auto videoEncryptor = std::make_shared<CtrEncryptor>();
    video.sampleBytes = [videoEncryptor](uint32_t index, uint8_t* out, uint32_t size) {
        ClearVideoBytes(index, out, size);
        videoEncryptor->StartSample(SampleIv(0, index));
        for (const Range& range : VideoProtectedRanges(index, size))
            videoEncryptor->Apply(out + range.offset, range.size);
    };

    Track& audio = recording.addTrack(AudioTrack(
        Protect(Mp4a(AudioFields{1, 16, kAudioRate}, AacAudioSpecificConfig(2, kAudioRate, 1)), "enca", Tenc()),
        kAudioRate));
    audio.creationTime = kCreationTime;
    audio.samplesPerChunk = 8;
    std::vector<EncryptionRecord> audioRecords;
    for (uint32_t i = 0; i < audioCount; ++i) {
        audio.addSized(AudioSampleSize(i), kAudioFrameDuration);
        audioRecords.push_back({SampleIv(1, i), {}});
    }
    audio.moreSampleTableBoxes = {Saiz(8, audioCount), Senc(audioRecords, false)};
    auto audioEncryptor = std::make_shared<CtrEncryptor>();
    audio.sampleBytes = [audioEncryptor](uint32_t index, uint8_t* out, uint32_t size) {
        ClearAudioBytes(index, out, size);
        audioEncryptor->StartSample(SampleIv(1, index));
        audioEncryptor->Apply(out, size);
    };

    const std::string partial = output + ".partial";
    recording.writeFile(partial);
    if (std::rename(partial.c_str(), output.c_str()) != 0) throw std::runtime_error("cannot rename " + partial);
    uint64_t audioBytes = 0;
    for (uint32_t i = 0; i < audioCount; ++i) audioBytes += AudioSampleSize(i);
    std::printf("%s: %u video samples (%.1f MB), %u audio samples (%.1f MB), %.1f s\n", output.c_str(), videoCount,
                videoBytes / 1e6, audioCount, audioBytes / 1e6, double(videoCount) / 25.0);
}

// ---- reading ---------------------------------------------------------------

struct ReaderHandle {
    AVReader* reader = nullptr;
    explicit ReaderHandle(const std::string& path) {
        if (AVReaderOpen(&reader, path.c_str(), kOpenPairCompanionTracks) != kReaderOk)
            throw std::runtime_error("cannot open " + path);
    }
    ~ReaderHandle() { reader->Release(); }
    ReaderHandle(const ReaderHandle&) = delete;
    ReaderHandle& operator=(const ReaderHandle&) = delete;
};

void SetKeys(AVReader& reader) {
    for (uint32_t i = 0; i < reader.GetTrackCount(); ++i)
        if (reader.SetTrackKey(i, kKey, 16) != kReaderOk) throw std::runtime_error("SetTrackKey refused");
}

// The payload a decrypted sample must have: audio as made, video with each
// 4-byte length prefix turned into a start code and no parameter sets.
std::vector<uint8_t> ExpectedPayload(bool videoTrack, uint32_t index) {
    std::vector<uint8_t> bytes(videoTrack ? VideoSampleSize(index) : AudioSampleSize(index));
    if (!videoTrack) {
        ClearAudioBytes(index, bytes.data(), uint32_t(bytes.size()));
        return bytes;
    }
    ClearVideoBytes(index, bytes.data(), uint32_t(bytes.size()));
    uint32_t at = 0;
    for (uint32_t length : UnitLengths(index, uint32_t(bytes.size()))) {
        const uint8_t startCode[4] = {0, 0, 0, 1};
        std::memcpy(bytes.data() + at, startCode, 4);
        at += kPrefixSize + length;
    }
    return bytes;
}

bool Checked(uint32_t index, uint32_t count) { return index < 3 || index % 997 == 0 || index + 1 == count; }

// One untimed pass: every packet's size and, for a few samples of each
// track, its bytes. Returns the number of samples compared.
uint32_t Verify(const std::string& path) {
    ReaderHandle handle(path);
    AVReader& reader = *handle.reader;
    if (reader.GetTrackCount() != 2 || reader.GetTrackCodecType(0) != kCodecH264 ||
        reader.GetTrackCodecType(1) != kCodecAac || !reader.IsTrackProtected(0) || !reader.IsTrackProtected(1))
        throw std::runtime_error("expected a protected H.264 track and a protected AAC track");
    SetKeys(reader);
    reader.SeekTime(0, 0);
    uint32_t seen[2] = {0, 0};
    uint32_t compared = 0;
    TMediaPacket* packet = nullptr;
    int32_t status;
    while ((status = reader.ReadPacket(&packet)) == kReaderOk) {
        const bool videoTrack = packet->codecType == kCodecH264;
        const uint32_t track = videoTrack ? 0 : 1;
        const uint32_t index = seen[track]++;
        const uint32_t expectedSize = videoTrack ? VideoSampleSize(index) : AudioSampleSize(index);
        if (packet->payloadSize != expectedSize)
            throw std::runtime_error("track " + std::to_string(track) + " sample " + std::to_string(index) +
                                     ": payload of " + std::to_string(packet->payloadSize) + " bytes, expected " +
                                     std::to_string(expectedSize));
        if (Checked(index, reader.GetTrackSampleCount(track))) {
            const std::vector<uint8_t> expected = ExpectedPayload(videoTrack, index);
            if (std::memcmp(packet->frameData + packet->headerSize, expected.data(), expected.size()) != 0)
                throw std::runtime_error("track " + std::to_string(track) + " sample " + std::to_string(index) +
                                         ": decrypted bytes are not the clear ones");
            ++compared;
        }
    }
    if (status != kEndOfStream) throw std::runtime_error("reading ended with status " + std::to_string(status));
    if (seen[0] != reader.GetTrackSampleCount(0) || seen[1] != reader.GetTrackSampleCount(1))
        throw std::runtime_error("not every sample was handed out");
    return compared;
}

struct Timing {
    double seconds = 0;
    uint64_t payloadBytes = 0;
};

// Open, keys (when asked), every packet; the release is outside the clock.
Timing TimedRead(const std::string& path, bool withKey) {
    const auto start = std::chrono::steady_clock::now();
    ReaderHandle handle(path);
    AVReader& reader = *handle.reader;
    if (withKey) SetKeys(reader);
    reader.SeekTime(0, 0);
    Timing timing;
    TMediaPacket* packet = nullptr;
    int32_t status;
    while ((status = reader.ReadPacket(&packet)) == kReaderOk) timing.payloadBytes += packet->payloadSize;
    timing.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != kEndOfStream) throw std::runtime_error("reading ended with status " + std::to_string(status));
    return timing;
}

// libcrypto's AES-128-CTR over a 1 MiB buffer, as much data as the file's.
double CipherAloneSeconds(uint64_t bytes) {
    std::vector<uint8_t> buffer(1 << 20, 0x5A);
    CtrEncryptor encryptor;
    encryptor.StartSample(SampleIv(2, 0));
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < bytes; done += buffer.size())
        encryptor.Apply(buffer.data(), uint32_t(std::min<uint64_t>(buffer.size(), bytes - done)));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintRuns(const char* what, std::vector<Timing> runs) {
    std::sort(runs.begin(), runs.end(), [](const Timing& a, const Timing& b) { return a.seconds < b.seconds; });
    const Timing& best = runs.front();
    const double median = runs.size() % 2 ? runs[runs.size() / 2].seconds
                                          : (runs[runs.size() / 2 - 1].seconds + runs[runs.size() / 2].seconds) / 2;
    std::printf("%-28s best %7.3f s  %8.1f MB/s   median %7.3f s  %8.1f MB/s\n", what, best.seconds,
                best.payloadBytes / best.seconds / 1e6, median, best.payloadBytes / median / 1e6);
}

void Read(const std::string& path, int runs) {
    const uint32_t compared = Verify(path);
    std::printf("checked: every payload size, and %u decrypted payloads byte for byte against the clear bytes\n",
                compared);
    std::vector<Timing> withKey;
    std::vector<Timing> withoutKey;
    for (int run = 0; run < runs; ++run) {
        withKey.push_back(TimedRead(path, true));
        withoutKey.push_back(TimedRead(path, false));
    }
    const uint64_t bytes = withKey.front().payloadBytes;
    std::printf("sample data: %.1f MB (MB = 10^6 bytes); %d runs each, warm page cache\n", bytes / 1e6, runs);
    PrintRuns("open + keys + every packet", withKey);
    PrintRuns("open + every packet, no key", withoutKey);
    double cipher = CipherAloneSeconds(bytes);
    for (int run = 1; run < runs; ++run) cipher = std::min(cipher, CipherAloneSeconds(bytes));
    std::printf("%-28s best %7.3f s  %8.1f MB/s\n", "AES-128-CTR alone (EVP)", cipher, bytes / cipher / 1e6);
    const double best = std::min_element(withKey.begin(), withKey.end(), [](const Timing& a, const Timing& b) {
                            return a.seconds < b.seconds;
                        })->seconds;
    const double rate = bytes / best / 1e9;
    std::printf("decryption throughput %.2f GB/s, target >= 2 GB/s: %s\n", rate, rate >= 2.0 ? "met" : "MISSED");
}

const char kUsage[] =
    "usage: decrypt_throughput make FILE [--megabytes N]\n"
    "       decrypt_throughput read FILE [--runs N]\n"
    "  make writes a protected recording of N MB (default 300); read times reading it with the key.\n";

int Usage() { return helpoption::Usage(kUsage, false); }

}  // namespace

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc < 3) return helpoption::Usage(kUsage, help);
    const std::string mode = argv[1];
    const std::string path = argv[2];
    uint64_t megabytes = 300;
    int runs = 5;
    for (int i = 3; i < argc; ++i) {
        if (mode == "make" && std::strcmp(argv[i], "--megabytes") == 0 && i + 1 < argc) {
            megabytes = std::strtoull(argv[++i], nullptr, 10);
        } else if (mode == "read" && std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            return Usage();
        }
    }
    if ((mode != "make" && mode != "read") || megabytes < 1 || megabytes > 3000 || runs < 1 || runs > 100)
        return Usage();
    try {
        if (mode == "make")
            Make(path, megabytes);
        else
            Read(path, runs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "decrypt_throughput: %s\n", error.what());
        return 1;
    }
    return 0;
}

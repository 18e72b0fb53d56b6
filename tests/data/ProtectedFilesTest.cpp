// The reader on ffmpeg's protected copies of two clear files of this
// directory (h264_cenc.mp4 of h264_nobframes.mp4, aac_cenc.m4a of aac.m4a;
// AES-128 counter mode, the key and key identifier in cenc_key.txt). Without
// a key the samples come out exactly as stored; with it they come out as the
// reader hands out the clear file's samples, except that decrypted H.264 key
// frames get no stored parameter sets in front. README.md tells how the
// files were made and why the expectations hold.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "FigureFile.h"
#include "isom/AVReader.h"

using datatest::FigureFile;
using datatest::FigureLine;
using datatest::ReadFigureFile;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

struct ProtectedFile {
    const char* name;
    const char* clearName;  // the file it was encrypted from, sample for sample
    uint32_t codecType;
    bool avc;  // H.264 with 4-byte length prefixes, encrypted by sub-samples
};

void PrintTo(const ProtectedFile& file, std::ostream* out) { *out << file.name; }

constexpr ProtectedFile kProtectedFiles[] = {
    {"h264_cenc.mp4", "h264_nobframes.mp4", kCodecH264, true},
    {"aac_cenc.m4a", "aac.m4a", kCodecAac, false},
};

// ---- the data --------------------------------------------------------------

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw std::runtime_error("odd hexadecimal text " + hex);
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// As ffprobe writes data hashes.
std::string CrcText(uint32_t crc) {
    char text[16];
    std::snprintf(text, sizeof text, "CRC32:%08x", crc);
    return text;
}

uint32_t BigWord(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

FigureFile Figures(const std::string& name, const char* kind) {
    return ReadFigureFile(kDataDir + "/" + name + "." + kind + ".txt");
}

struct Keys {
    std::string key;    // 16 bytes
    std::string keyId;  // 16 bytes
};

Keys ReadKeys() {
    const FigureFile file = ReadFigureFile(kDataDir + "/cenc_key.txt");
    const FigureLine& line = file.Single("cenc");
    return {FromHex(line.Text("key")), FromHex(line.Text("kid"))};
}

// The same key with its last bit turned over.
std::string WrongKey(const Keys& keys) {
    std::string wrong = keys.key;
    wrong.back() = static_cast<char>(wrong.back() ^ 1);
    return wrong;
}

struct StoredSample {
    std::string bytes;  // as the file stores them, at ffprobe's pos and size
    bool key = false;   // ffprobe's K flag
};

// ffprobe's packets of a one-track file, which are its samples in order. The
// stored bytes must have ffprobe's CRC, or the figures do not describe the file.
std::vector<StoredSample> StoredSamples(const std::string& name) {
    const std::string file = ReadWholeFile(kDataDir + "/" + name);
    std::vector<StoredSample> samples;
    const FigureFile ffprobe = Figures(name, "ffprobe");
    for (const FigureLine* packet : ffprobe.Section("packet")) {
        const uint64_t pos = packet->Unsigned("pos");
        const uint64_t size = packet->Unsigned("size");
        if (pos > file.size() || size > file.size() - pos) throw std::runtime_error("packet outside " + name);
        StoredSample sample;
        sample.bytes = file.substr(pos, size);
        sample.key = packet->Text("flags")[0] == 'K';
        EXPECT_EQ(CrcText(Crc(sample.bytes)), packet->Text("data_hash")) << name << " packet at " << pos;
        samples.push_back(std::move(sample));
    }
    return samples;
}

struct Range {
    uint64_t offset = 0;
    uint64_t size = 0;
    bool protectedBytes = false;
};

// Each sample's clear and protected byte ranges, from its encryption record
// in "senc": the sub-sample pairs in order, or the whole sample protected
// when the track has no sub-sample map.
std::vector<std::vector<Range>> SampleRanges(const std::string& name, const std::vector<StoredSample>& stored) {
    std::vector<std::vector<Range>> ranges;
    const FigureFile boxes = Figures(name, "boxes");
    for (const FigureLine* record : boxes.Section("encryption")) {
        const size_t sample = ranges.size();
        if (record->Unsigned("sample") != sample || sample >= stored.size())
            throw std::runtime_error("encryption records out of step in " + name);
        std::vector<Range> sampleRanges;
        const std::string& map = record->Text("subsamples");
        uint64_t at = 0;
        if (map == "none") {
            sampleRanges.push_back({0, stored[sample].bytes.size(), true});
            at = stored[sample].bytes.size();
        } else {
            for (size_t start = 0; start < map.size();) {
                size_t end = map.find(',', start);
                if (end == std::string::npos) end = map.size();
                const std::string pair = map.substr(start, end - start);
                const size_t colon = pair.find(':');
                const uint64_t clearBytes = std::stoull(pair.substr(0, colon));
                const uint64_t protectedBytes = std::stoull(pair.substr(colon + 1));
                sampleRanges.push_back({at, clearBytes, false});
                sampleRanges.push_back({at + clearBytes, protectedBytes, true});
                at += clearBytes + protectedBytes;
                start = end + 1;
            }
        }
        EXPECT_EQ(at, stored[sample].bytes.size()) << "the sub-samples of sample " << sample << " of " << name;
        ranges.push_back(std::move(sampleRanges));
    }
    return ranges;
}

// ---- the reader ------------------------------------------------------------

struct ReleaseReader {
    void operator()(AVReader* reader) const { reader->Release(); }
};
using Reader = std::unique_ptr<AVReader, ReleaseReader>;

Reader Open(const std::string& name) {
    AVReader* reader = nullptr;
    const int32_t status = AVReaderOpen(&reader, (kDataDir + "/" + name).c_str(), kOpenPairCompanionTracks);
    EXPECT_EQ(status, kReaderOk) << name;
    return Reader(status == kReaderOk ? reader : nullptr);
}

int32_t SetKey(AVReader& reader, const std::string& key) {
    return reader.SetTrackKey(0, reinterpret_cast<const uint8_t*>(key.data()), static_cast<uint32_t>(key.size()));
}

struct Packet {
    std::string payload;
    int32_t frameType = -1;
};

// Every packet from the cursors on; the reading must end at the end of the
// stream, not on an error.
std::vector<Packet> ReadToEnd(AVReader& reader) {
    std::vector<Packet> packets;
    TMediaPacket* packet = nullptr;
    int32_t status = kReaderOk;
    while ((status = reader.ReadPacket(&packet)) == kReaderOk && packets.size() < 100000) {
        const char* payload = reinterpret_cast<const char*>(packet->frameData) + packet->headerSize;
        packets.push_back({std::string(payload, packet->payloadSize), packet->frameType});
    }
    EXPECT_EQ(status, kEndOfStream);
    return packets;
}

std::vector<Packet> ReadAll(AVReader& reader) {
    reader.SeekTime(0, 0);
    return ReadToEnd(reader);
}

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size()
                                         << "; the first difference at byte " << at;
}

// ---- the expected clear payloads -------------------------------------------

bool TakesParameterSets(unsigned avcUnitType) {
    return avcUnitType == 1 || avcUnitType == 5 || avcUnitType == 6 || avcUnitType == 14;
}

// A clear AVC key frame is handed out with the stored parameter sets in
// front of its first slice or SEI unit (types 1, 5, 6, 14); a decrypted
// protected one is not. The place follows from the stored sample: every
// 4-byte length prefix before that unit became a 4-byte start code, so the
// sets start where that unit's prefix starts. Returns the clear payload
// without them; fails when they are not there.
std::string WithoutInsertedParameterSets(const std::string& clearPayload, const std::string& stored,
                                         const std::string& parameterSets) {
    for (size_t at = 0; at + 5 <= stored.size();) {
        const uint32_t length = BigWord(stored, at);
        if (length == 0 || length > stored.size() - at - 4) break;
        const unsigned type = static_cast<uint8_t>(stored[at + 4]) & 0x1F;
        // In-band sets before that unit would be kept or dropped by rules this
        // data does not exercise.
        EXPECT_NE(type, 7u);
        EXPECT_NE(type, 8u);
        if (TakesParameterSets(type)) {
            if (clearPayload.compare(at, parameterSets.size(), parameterSets) != 0) break;
            return clearPayload.substr(0, at) + clearPayload.substr(at + parameterSets.size());
        }
        at += 4 + length;
    }
    ADD_FAILURE() << "no stored parameter sets where the clear key frame should carry them";
    return clearPayload;
}

struct Expected {
    std::vector<std::string> payloads;  // per sample, what decryption must give
    std::vector<int32_t> frameTypes;
    size_t keyFramesWithoutSets = 0;
};

// The clear file's packets through the reader, the AVC key frames without the
// sets that only clear samples get.
Expected ExpectedDecrypted(const ProtectedFile& file) {
    Expected expected;
    Reader clear = Open(file.clearName);
    if (!clear) return expected;
    const std::vector<Packet> packets = ReadAll(*clear);
    const std::vector<StoredSample> stored = StoredSamples(file.clearName);
    EXPECT_EQ(packets.size(), stored.size()) << file.clearName;
    std::string parameterSets;
    if (file.avc) {
        const FigureFile boxes = Figures(file.clearName, "boxes");
        const FigureLine& track = boxes.Single("track");
        EXPECT_EQ(track.Unsigned("nal_length_size"), 4u);
        parameterSets = FromHex(track.Text("parameter_sets"));
    }
    for (size_t i = 0; i < packets.size() && i < stored.size(); ++i) {
        std::string payload = packets[i].payload;
        if (file.avc && stored[i].key) {
            payload = WithoutInsertedParameterSets(payload, stored[i].bytes, parameterSets);
            ++expected.keyFramesWithoutSets;
        }
        expected.payloads.push_back(std::move(payload));
        expected.frameTypes.push_back(packets[i].frameType);
    }
    return expected;
}

void ExpectPayloads(const std::vector<Packet>& packets, const std::vector<std::string>& expected, const char* what) {
    ASSERT_EQ(packets.size(), expected.size()) << what;
    for (size_t i = 0; i < packets.size(); ++i)
        EXPECT_TRUE(SameBytes(packets[i].payload, expected[i])) << what << ", sample " << i;
}

std::vector<std::string> StoredBytes(const std::vector<StoredSample>& samples) {
    std::vector<std::string> bytes;
    for (const StoredSample& sample : samples) bytes.push_back(sample.bytes);
    return bytes;
}

// ---- the tests -------------------------------------------------------------

class ProtectedFiles : public ::testing::TestWithParam<ProtectedFile> {
protected:
    const Keys keys = ReadKeys();
};

TEST_P(ProtectedFiles, OpenAsProtectedTracksWithTheirKeyIdAndTheClearFilesSampleCount) {
    const ProtectedFile& file = GetParam();
    Reader reader = Open(file.name);
    Reader clear = Open(file.clearName);
    ASSERT_TRUE(reader && clear);
    ASSERT_EQ(reader->GetTrackCount(), 1u);
    EXPECT_EQ(reader->IsTrackProtected(0), 1u);
    EXPECT_EQ(clear->IsTrackProtected(0), 0u);
    // The codec is that of the entry "frma" names, not of "encv" / "enca".
    EXPECT_EQ(reader->GetTrackCodecType(0), file.codecType);

    const uint8_t* keyId = nullptr;
    uint32_t keyIdSize = 0;
    ASSERT_EQ(reader->GetTrackKeyId(0, &keyId, &keyIdSize), kReaderOk);
    ASSERT_EQ(keyIdSize, 16u);
    ASSERT_NE(keyId, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(keyId), 16), keys.keyId);
    EXPECT_EQ(Figures(file.name, "boxes").Single("protection").Text("default_kid"),
              ReadFigureFile(kDataDir + "/cenc_key.txt").Single("cenc").Text("kid"))
        << "the key identifier in tenc is the one given to ffmpeg";
    EXPECT_EQ(reader->GetTrackKeyId(0, nullptr, &keyIdSize), kInvalidArgument);
    EXPECT_EQ(reader->GetTrackKeyId(0, &keyId, nullptr), kInvalidArgument);

    const uint64_t clearSamples = Figures(file.clearName, "ffprobe").Single("stream").Unsigned("nb_frames");
    EXPECT_EQ(reader->GetTrackSampleCount(0), clearSamples);
    EXPECT_EQ(clear->GetTrackSampleCount(0), clearSamples);
    EXPECT_EQ(Figures(file.name, "ffprobe").Section("packet").size(), clearSamples);
}

TEST_P(ProtectedFiles, WithoutAKeySamplesComeOutAsStored) {
    const ProtectedFile& file = GetParam();
    Reader reader = Open(file.name);
    ASSERT_TRUE(reader);
    const std::vector<StoredSample> stored = StoredSamples(file.name);
    ASSERT_FALSE(stored.empty());
    // Encrypted and still length-prefixed: the bytes at ffprobe's position,
    // the size ffprobe gives.
    ExpectPayloads(ReadAll(*reader), StoredBytes(stored), "without a key");
    // Not the clear bytes, or the comparison above would prove nothing.
    EXPECT_NE(stored[0].bytes, StoredSamples(file.clearName)[0].bytes);
}

TEST_P(ProtectedFiles, WithTheKeySamplesComeOutAsTheClearFileGivesThem) {
    const ProtectedFile& file = GetParam();
    Reader reader = Open(file.name);
    ASSERT_TRUE(reader);
    ASSERT_EQ(SetKey(*reader, keys.key), kReaderOk);
    const std::vector<Packet> packets = ReadAll(*reader);
    const Expected expected = ExpectedDecrypted(file);
    ExpectPayloads(packets, expected.payloads, "with the key");
    for (size_t i = 0; i < packets.size() && i < expected.frameTypes.size(); ++i)
        EXPECT_EQ(packets[i].frameType, expected.frameTypes[i]) << "sample " << i;
    // h264_nobframes.mp4 has key frames at 0, 1, 2 and 3 s.
    if (file.avc) {
        EXPECT_EQ(expected.keyFramesWithoutSets, 4u);
    }
}

TEST_P(ProtectedFiles, SeekingBackGivesTheSameClearBytesAgain) {
    const ProtectedFile& file = GetParam();
    Reader reader = Open(file.name);
    ASSERT_TRUE(reader);
    ASSERT_EQ(SetKey(*reader, keys.key), kReaderOk);
    const std::vector<Packet> first = ReadAll(*reader);
    ASSERT_FALSE(first.empty());

    std::vector<std::string> firstPayloads;
    for (const Packet& packet : first) firstPayloads.push_back(packet.payload);
    // After the whole file, and after a few samples, back to the start.
    ExpectPayloads(ReadAll(*reader), firstPayloads, "read again");
    reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(reader->ReadPacket(&packet), kReaderOk);
    ExpectPayloads(ReadAll(*reader), firstPayloads, "read again after three samples");

    // Into the middle: the first sample read is not sample 0.
    reader->SeekTime(1, 500);
    const std::vector<Packet> tail = ReadToEnd(*reader);
    ASSERT_FALSE(tail.empty());
    ASSERT_LT(tail.size(), first.size());
    const size_t from = first.size() - tail.size();
    // 1.5 s lies between the key frames at 1 s (sample 25) and 2 s.
    if (file.avc) {
        EXPECT_EQ(from, 25u);
    }
    ExpectPayloads(tail, std::vector<std::string>(firstPayloads.begin() + from, firstPayloads.end()),
                   "read from 1.5 s");
}

TEST_P(ProtectedFiles, AWrongKeyChangesTheProtectedBytesOnly) {
    const ProtectedFile& file = GetParam();
    const std::vector<StoredSample> stored = StoredSamples(file.name);
    const std::vector<std::vector<Range>> ranges = SampleRanges(file.name, stored);
    const std::vector<std::string> right = ExpectedDecrypted(file).payloads;
    ASSERT_EQ(ranges.size(), right.size());

    Reader reader = Open(file.name);
    ASSERT_TRUE(reader);
    ASSERT_EQ(SetKey(*reader, WrongKey(keys)), kReaderOk);
    const std::vector<Packet> wrong = ReadAll(*reader);
    ASSERT_EQ(wrong.size(), right.size());
    for (size_t i = 0; i < wrong.size(); ++i) {
        // The length prefixes are clear, so the start-code form has the same
        // layout; each 4-byte prefix became a 4-byte start code, so the
        // ranges keep their offsets.
        ASSERT_EQ(wrong[i].payload.size(), right[i].size()) << "sample " << i;
        for (const Range& range : ranges[i]) {
            if (range.size == 0) continue;
            const bool same =
                wrong[i].payload.compare(range.offset, range.size, right[i], range.offset, range.size) == 0;
            EXPECT_EQ(same, !range.protectedBytes)
                << "sample " << i << ", bytes " << range.offset << " to " << range.offset + range.size;
        }
    }

    // The right key replaces the wrong one.
    ASSERT_EQ(SetKey(*reader, keys.key), kReaderOk);
    ExpectPayloads(ReadAll(*reader), right, "with the right key after the wrong one");
}

TEST_P(ProtectedFiles, KeysOfOtherThanSixteenBytesAreRefusedAndChangeNothing) {
    const ProtectedFile& file = GetParam();
    Reader reader = Open(file.name);
    ASSERT_TRUE(reader);
    const std::string wrong = WrongKey(keys);
    const auto refuse = [&](const char* when) {
        EXPECT_EQ(SetKey(*reader, wrong.substr(0, 15)), kInvalidArgument) << when;
        EXPECT_EQ(SetKey(*reader, wrong + '\0'), kInvalidArgument) << when;
        EXPECT_EQ(reader->SetTrackKey(0, nullptr, 16), kInvalidArgument) << when;
        EXPECT_EQ(reader->SetTrackKey(0, reinterpret_cast<const uint8_t*>(wrong.data()), 0), kInvalidArgument) << when;
    };

    refuse("before any key");
    ExpectPayloads(ReadAll(*reader), StoredBytes(StoredSamples(file.name)), "after refused keys, no key");

    ASSERT_EQ(SetKey(*reader, keys.key), kReaderOk);
    refuse("after the right key");
    ExpectPayloads(ReadAll(*reader), ExpectedDecrypted(file).payloads, "after refused keys, the right key");
}

INSTANTIATE_TEST_SUITE_P(FfmpegCenc, ProtectedFiles, ::testing::ValuesIn(kProtectedFiles),
                         [](const ::testing::TestParamInfo<ProtectedFile>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <zlib.h>

#include <vector>

#include "RecordingFixture.h"
#include "common/PacketBlock.h"
#include "isom/AVReader.h"
#include "viewwhilerecording/ViewWhileRec.h"

namespace {

using namespace vwrtest;

const Bytes kKey = Hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");

// AES-128 counter mode from counter nonce || 0, as the camera applies it.
Bytes CounterMode(const Bytes& key, const Bytes& nonce, const Bytes& data) {
    Bytes iv = Concat({nonce, Bytes(8, 0)});
    Bytes out(data.size() + 16);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int length = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_ctr(), nullptr, key.data(), iv.data());
    EVP_EncryptUpdate(context, out.data(), &length, data.data(), int(data.size()));
    EVP_CIPHER_CTX_free(context);
    out.resize(size_t(length));
    return out;
}

// Raw deflate of data against a preset dictionary.
Bytes DeflateWithDictionary(const Bytes& data, const Bytes& dictionary) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    deflateSetDictionary(&stream, dictionary.data(), uInt(dictionary.size()));
    Bytes out(deflateBound(&stream, uLong(data.size())) + 64);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Chunk TwoVideoFrames() {
    Chunk chunk = Chunk::Video("H264", 640, 480);
    chunk.sample(Counting(6, 0x10), KeyAt(1000)).sample(Counting(7, 0x20), DeltaAt(1040));
    return chunk;
}

Chunk TwoAudioFrames() {
    Chunk chunk = Chunk::Audio("G711");
    chunk.sample(Counting(4, 0x30), KeyAt(1000, "G711")).sample(Counting(4, 0x40), KeyAt(1020, "G711"));
    return chunk;
}

TEST(RawPacketTest, TracksMergeByTimeAndTiesGoToTheSmallerTag) {
    OpenRecording open(InProgressRecording().chunk(TwoVideoFrames()).chunk(TwoAudioFrames()).bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    EXPECT_EQ(status, kNoNewData);
    ASSERT_EQ(packets.size(), 4u);
    // "G711" is 0x31313747, below "H264" 0x34363248.
    EXPECT_EQ(packets[0].codecType, kCodecUlaw);
    EXPECT_EQ(packets[0].milliseconds, 1000u);
    EXPECT_EQ(packets[1].codecType, kCodecH264);
    EXPECT_EQ(packets[1].milliseconds, 1000u);
    EXPECT_EQ(packets[2].codecType, kCodecUlaw);
    EXPECT_EQ(packets[2].milliseconds, 1020u);
    EXPECT_EQ(packets[3].codecType, kCodecH264);
    EXPECT_EQ(packets[3].milliseconds, 1040u);
    EXPECT_EQ(packets[0].payload, Counting(4, 0x30));
    EXPECT_EQ(packets[3].frameType, kFramePredicted);
}

TEST(RawPacketTest, VideoOnlyDropsTheAudioPackets) {
    OpenRecording open(InProgressRecording().chunk(TwoVideoFrames()).chunk(TwoAudioFrames()).bytes());
    open.reader->videoOnly = true;
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].milliseconds, 1000u);
    EXPECT_EQ(packets[1].milliseconds, 1040u);
    EXPECT_EQ(packets[1].codecType, kCodecH264);
}

TEST(RawPacketTest, BackwardMergeTakesTheLaterPacketFirst) {
    OpenRecording open(InProgressRecording().chunk(TwoVideoFrames()).chunk(TwoAudioFrames()).bytes());
    int32_t status = 0;
    ReadAll(*open.reader, &status);
    // Every track stands on its last packet; going backward starts before it.
    open.reader->direction = -1;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    EXPECT_EQ(status, kAtBeginning);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].codecType, kCodecUlaw);
    EXPECT_EQ(packets[0].milliseconds, 1000u);
    EXPECT_EQ(packets[1].codecType, kCodecH264);
    EXPECT_EQ(packets[1].milliseconds, 1000u);
}

struct StartCodeCase {
    const char* stored;
    const char* handedOut;
};

class StartCodeTest : public ::testing::TestWithParam<StartCodeCase> {};

TEST_P(StartCodeTest, LengthPrefixesBecomeStartCodes) {
    for (const char* tag : {"H264", "HEVC"}) {
        Chunk chunk = Chunk::Video(tag, 16, 16);
        chunk.sample(Hex(GetParam().stored), KeyAt(1000));
        OpenRecording open(InProgressRecording().chunk(chunk).bytes());
        int32_t status = 0;
        const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
        ASSERT_EQ(packets.size(), 1u) << tag;
        EXPECT_EQ(packets[0].payload, Hex(GetParam().handedOut)) << tag;
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, StartCodeTest,
                         ::testing::Values(
                             // Two units of 5 and 3 bytes: the length stays 16.
                             StartCodeCase{"00 00 00 05 65 01 02 03 04 00 00 00 03 41 05 06",
                                           "00 00 00 01 65 01 02 03 04 00 00 00 01 41 05 06"},
                             // Three bytes or fewer are copied as they are, with no start code.
                             StartCodeCase{"00 00 05", "00 00 05"},
                             StartCodeCase{"00 00 00 02 AA BB CC DD 01", "00 00 00 01 AA BB CC DD 01"},
                             // A prefix longer than the rest is cut to it.
                             StartCodeCase{"00 00 00 09 65 01 02 03", "00 00 00 01 65 01 02 03"},
                             // An empty unit is a bare start code.
                             StartCodeCase{"00 00 00 00 00 00 00 01 65", "00 00 00 01 00 00 00 01 65"},
                             StartCodeCase{"", ""}));

TEST(RawPacketTest, OtherCodecsAreCopiedAsStored) {
    Chunk chunk = Chunk::Video("JPEG", 16, 16);
    chunk.sample(Hex("00 00 00 02 FF D8 FF E0"), KeyAt(1000, "jpeg"));
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].payload, Hex("00 00 00 02 FF D8 FF E0"));
    EXPECT_EQ(packets[0].width, 16u);
}

TEST(RawPacketTest, PictureSizeComesFromTheCodecEntry) {
    OpenRecording open(InProgressRecording().chunk(TwoVideoFrames()).bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].width, 640u);
    EXPECT_EQ(packets[1].height, 480u);
}

// An encryption record and a chunk of two H.264 samples, each of a 5-byte
// and a 3-byte unit encrypted past its first byte; the second sample's key
// stream starts at the nonce plus one.
struct ProtectedRecording {
    Bytes nonce = Hex("01 02 03 04 05 06 07 FF");
    Bytes nextNonce = Hex("01 02 03 04 05 06 08 00");
    std::vector<Bytes> clear;   // the samples as handed out with the key
    std::vector<Bytes> stored;  // as written
    Bytes bytes;

    explicit ProtectedRecording(const char* tag = "H264") {
        const bool hevc = std::string(tag) == "HEVC";
        Chunk chunk = Chunk::Video(tag, 16, 16);
        for (int i = 0; i < 2; ++i) {
            const Bytes first = Counting(5, uint8_t(0x60 + i));
            const Bytes second = Counting(3, uint8_t(0x40 + i));
            const Bytes& iv = i == 0 ? nonce : nextNonce;
            clear.push_back(Concat({Hex("00 00 00 01"), first, Hex("00 00 00 01"), second}));
            const Bytes plain = Concat({Hex("00 00 00 05"), first, Hex("00 00 00 03"), second});
            Bytes sample;
            if (hevc) {
                sample = CounterMode(kKey, iv, plain);
            } else {
                const Bytes cipher = CounterMode(kKey, iv, Concat({Part(first, 1, 5), Part(second, 1, 3)}));
                sample = Concat({Hex("00 00 00 05"), Part(first, 0, 1), Part(cipher, 0, 4), Hex("00 00 00 03"),
                                 Part(second, 0, 1), Part(cipher, 4, 6)});
            }
            stored.push_back(sample);
            chunk.sample(sample, KeyAt(1000 + 40 * i, hevc ? "h265" : "h264"));
        }
        bytes = InProgressRecording().chunk(EncryptionRecordChunk(nonce, tag)).chunk(chunk).bytes();
    }
};

TEST(RawPacketTest, ProtectedSamplesWithoutAKeyAreHandedOutAsStored) {
    ProtectedRecording recording;
    OpenRecording open(recording.bytes);
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, recording.stored[0]);
    EXPECT_EQ(packets[1].payload, recording.stored[1]);
}

TEST(RawPacketTest, ProtectedH264SamplesAreDecryptedPastEachUnitsFirstByte) {
    ProtectedRecording recording;
    OpenRecording open(recording.bytes);
    open.reader->SetKey(kKey.data());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, recording.clear[0]);
    EXPECT_EQ(packets[1].payload, recording.clear[1]);
}

TEST(RawPacketTest, ProtectedHevcSamplesAreDecryptedWholeWithTheirPrefixes) {
    ProtectedRecording recording("HEVC");
    OpenRecording open(recording.bytes);
    open.reader->SetKey(kKey.data());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, recording.clear[0]);
    EXPECT_EQ(packets[1].payload, recording.clear[1]);
}

TEST(RawPacketTest, ProtectedSamplesOfOtherCodecsAreDecryptedWhole) {
    const Bytes nonce = Hex("AA AA AA AA 00 00 00 00");
    const Bytes plain = Counting(20, 0x80);
    Chunk audio = Chunk::Audio("G726");
    audio.sample(CounterMode(kKey, nonce, plain), KeyAt(1000, "G726"));
    OpenRecording open(InProgressRecording().chunk(EncryptionRecordChunk(nonce, "G726")).chunk(audio).bytes());
    open.reader->SetKey(kKey.data());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].payload, plain);
}

TEST(RawPacketTest, KeyWithoutNonceLeavesSamplesClear) {
    OpenRecording open(InProgressRecording().chunk(TwoAudioFrames()).bytes());
    open.reader->SetKey(kKey.data());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].payload, Counting(4, 0x40));
}

Chunk CompressedMetadata(const Bytes& configuration, const std::vector<Bytes>& samples) {
    Chunk chunk(ChunkTag("METT"), kNoFlagsIndex);
    chunk.configuration(configuration);
    for (size_t i = 0; i < samples.size(); ++i) chunk.sample(samples[i], KeyAt(1000 + 100 * i, "metj"));
    return chunk;
}

TEST(RawPacketTest, CompressedMetadataIsInflatedBeyondOneOutputBuffer) {
    const Bytes large = Counting(40000, 7);
    OpenRecording open(
        InProgressRecording()
            .chunk(CompressedMetadata(MettConfigurationArea(kDeflateEncoding), {RawDeflateStored(large)}))
            .bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].codecType, kCodecMetj);
    EXPECT_EQ(packets[0].payload.size(), 40000u);
    EXPECT_EQ(packets[0].payload, large);
    EXPECT_EQ(packets[0].width, 0u);
}

TEST(RawPacketTest, CompressedMetadataUsesTheDictionaryForEverySample) {
    const Bytes dictionary = Text("{\"objects\":[{\"id\":1,\"class\":\"person\",\"score\":");
    const Bytes first = Text("{\"objects\":[{\"id\":1,\"class\":\"person\",\"score\":0.9}]}");
    const Bytes second = Text("{\"objects\":[{\"id\":1,\"class\":\"person\",\"score\":0.8}]}");
    const Bytes area = MettDeflateConfigurationArea(RawDeflateStored(dictionary));
    OpenRecording open(InProgressRecording()
                           .chunk(CompressedMetadata(area, {DeflateWithDictionary(first, dictionary),
                                                            DeflateWithDictionary(second, dictionary)}))
                           .bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, first);
    EXPECT_EQ(packets[1].payload, second);
}

TEST(RawPacketTest, CorruptCompressedSampleGivesWhatWasInflated) {
    // A stored block that announces 100 bytes and holds 3 of them.
    const Bytes cut = Hex("01 64 00 9B FF 41 42 43");
    OpenRecording open(
        InProgressRecording()
            .chunk(CompressedMetadata(MettConfigurationArea(kDeflateEncoding), {cut, RawDeflateStored(Text("ok"))}))
            .bytes());
    int32_t status = 0;
    const std::vector<PacketView> packets = ReadAll(*open.reader, &status);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, Text("ABC"));
    EXPECT_EQ(packets[1].payload, Text("ok"));
}

TEST(RawPacketTest, PacketCarriesTheRecordsUserData) {
    UserData userData;
    userData.recordTime(1700000000, 250);
    Chunk chunk = Chunk::Audio("G711");
    chunk.sample(Counting(4), RecordAt(1000, 0, "G711", userData));
    OpenRecording open(InProgressRecording().chunk(chunk).bytes());
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(open.reader->OutputRawPacket(&packet), kOk);
    const Bytes block = userData.block();
    ASSERT_EQ(packet->userDataSize, block.size());
    EXPECT_EQ(Bytes(packet->userData, packet->userData + packet->userDataSize), block);
}

TEST(RawPacketTest, EachPacketReplacesTheOneBefore) {
    OpenRecording open(InProgressRecording().chunk(TwoAudioFrames()).bytes());
    const size_t before = ZENT::SDK::Utility::LivePacketBlockCount();
    TMediaPacket* first = nullptr;
    ASSERT_EQ(open.reader->OutputRawPacket(&first), kOk);
    first->releaseOps->addRef(first);  // kept beyond the next read
    TMediaPacket* second = nullptr;
    ASSERT_EQ(open.reader->OutputRawPacket(&second), kOk);
    EXPECT_EQ(ZENT::SDK::Utility::LivePacketBlockCount(), before + 2);
    EXPECT_EQ(ViewOf(*first).payload, Counting(4, 0x30));
    first->releaseOps->release(first);
    EXPECT_EQ(ZENT::SDK::Utility::LivePacketBlockCount(), before + 1);
    open.reader.reset();
    EXPECT_EQ(ZENT::SDK::Utility::LivePacketBlockCount(), before);
}

}  // namespace

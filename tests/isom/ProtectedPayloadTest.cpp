// Protected samples, decrypted when a key is set, and compressed metadata
// samples, inflated against their entry's dictionary.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <zlib.h>

#include "ReaderFixture.h"

using namespace writer;

namespace {

const Bytes kKey = Hex("2B 7E 15 16 28 AE D2 A6 AB F7 15 88 09 CF 4F 3C");

// AES-128-CTR from counter IV || 0, as a writer of protected samples does.
Bytes CtrEncrypt(const Bytes& iv8, const Bytes& clear) {
    Bytes counter = Concat({iv8, Bytes(8, 0)});
    Bytes out(clear.size());
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ctr(), nullptr, kKey.data(), counter.data());
    int n = 0;
    if (!clear.empty()) EVP_EncryptUpdate(ctx, out.data(), &n, clear.data(), int(clear.size()));
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

// A sample whose protected ranges are encrypted as one key stream.
Bytes EncryptRanges(const Bytes& iv8, const Bytes& clear, const std::vector<SubSample>& map) {
    Bytes protectedBytes;
    size_t position = 0;
    for (const SubSample& s : map) {
        position += s.clearBytes;
        protectedBytes.insert(protectedBytes.end(), clear.begin() + position,
                              clear.begin() + position + s.protectedBytes);
        position += s.protectedBytes;
    }
    Bytes stream = CtrEncrypt(iv8, protectedBytes);
    Bytes out = clear;
    position = 0;
    size_t used = 0;
    for (const SubSample& s : map) {
        position += s.clearBytes;
        std::copy(stream.begin() + used, stream.begin() + used + s.protectedBytes, out.begin() + position);
        used += s.protectedBytes;
        position += s.protectedBytes;
    }
    return out;
}

// Sample j's initialisation vector.
Bytes Iv(int j) { return Concat({Hex("A0 B1 C2 D3 E4 F5 06"), Bytes(1, uint8_t(j))}); }

Bytes Payload(const TMediaPacket* packet) {
    return Bytes(packet->frameData + packet->headerSize, packet->frameData + packet->headerSize + packet->payloadSize);
}

std::vector<Bytes> ReadPayloads(AVReader& reader) {
    std::vector<Bytes> payloads;
    reader.SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    while (reader.ReadPacket(&packet) == 0) payloads.push_back(Payload(packet));
    return payloads;
}

// Length-prefixed H.264 units: (header byte, body).
Bytes AvcSample(const std::vector<Bytes>& units) {
    Bytes out;
    for (const Bytes& unit : units) out = Concat({out, ByteWriter().u32(uint32_t(unit.size())).take(), unit});
    return out;
}

struct ProtectedAvc {
    Bytes file;
    std::vector<Bytes> clearStartCodes;  // what a key must give back
    std::vector<Bytes> stored;
};

// Two H.264 samples with sub-sample encryption: prefix and NAL header clear.
ProtectedAvc MakeProtectedAvc() {
    ProtectedAvc made;
    std::vector<Bytes> clear = {AvcSample({Hex("65 01 02 03 04 05 06 07 08 09"), Hex("06 AA BB")}),
                                AvcSample({Hex("41 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21")})};
    std::vector<std::vector<SubSample>> maps = {{{5, 9}, {5, 2}}, {{5, 17}}};
    made.clearStartCodes = {Concat({Hex("00 00 00 01 65 01 02 03 04 05 06 07 08 09 00 00 00 01 06 AA BB")}),
                            Concat({Hex("00 00 00 01 41 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21")})};
    TencFields tenc;
    tenc.defaultKeyId = Bytes(16, 0x42);
    Box entry = Protect(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), "encv", tenc);
    Track track = VideoTrack(entry, 1000);
    std::vector<EncryptionRecord> records;
    for (int j = 0; j < 2; ++j) {
        Bytes encrypted = EncryptRanges(Iv(j), clear[j], maps[j]);
        made.stored.push_back(encrypted);
        track.add(encrypted, 40, j == 0);
        records.push_back({Iv(j), maps[j]});
    }
    track.moreSampleTableBoxes.push_back(Saiz(0, 2,
                                              {uint8_t(EncryptionRecordBytes(records[0], true).size()),
                                               uint8_t(EncryptionRecordBytes(records[1], true).size())}));
    track.moreSampleTableBoxes.push_back(Senc(records, true));
    Recording recording;
    recording.addTrack(track);
    made.file = recording.bytes();
    return made;
}

}  // namespace

TEST(ProtectedPayload, WithoutAKeySamplesAreHandedOutAsStored) {
    ProtectedAvc made = MakeProtectedAvc();
    OpenedFile opened = OpenBytes(made.file);
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.reader->IsTrackProtected(0), 1u);
    EXPECT_EQ(ReadPayloads(*opened.reader), made.stored);
}

TEST(ProtectedPayload, KeyGivesClearStartCodeFramesWithoutParameterSets) {
    ProtectedAvc made = MakeProtectedAvc();
    OpenedFile opened = OpenBytes(made.file);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    EXPECT_EQ(ReadPayloads(*opened.reader), made.clearStartCodes);
    // Reading again after a seek gives the same bytes.
    EXPECT_EQ(ReadPayloads(*opened.reader), made.clearStartCodes);
}

TEST(ProtectedPayload, WrongKeyGivesOtherBytesWithoutFailing) {
    ProtectedAvc made = MakeProtectedAvc();
    OpenedFile opened = OpenBytes(made.file);
    Bytes wrong(16, 0x01);
    ASSERT_EQ(opened.reader->SetTrackKey(0, wrong.data(), 16), 0);
    std::vector<Bytes> payloads = ReadPayloads(*opened.reader);
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_NE(payloads, made.clearStartCodes);
    EXPECT_EQ(payloads[0].size(), made.clearStartCodes[0].size());
}

namespace {

// An AAC track whose whole samples are encrypted, with fixed 8-byte records.
Bytes ProtectedAudio(const std::vector<Bytes>& stored, Box senc, Box saiz) {
    AudioFields fields;
    fields.sampleRate = 16000;
    TencFields tenc;
    Box entry = Protect(Mp4a(fields, AacAudioSpecificConfig(2, 16000, 1)), "enca", tenc);
    Track track = AudioTrack(entry, 16000);
    for (size_t j = 0; j < stored.size(); ++j) track.add(stored[j], 1024);
    track.moreSampleTableBoxes.push_back(saiz);
    track.moreSampleTableBoxes.push_back(senc);
    Recording recording;
    recording.addTrack(track);
    return recording.bytes();
}

}  // namespace

TEST(ProtectedPayload, WholeSamplesWithFixedSizeRecords) {
    std::vector<Bytes> clear, stored;
    std::vector<EncryptionRecord> records;
    for (int j = 0; j < 3; ++j) {
        clear.push_back(Bytes(40 + j, uint8_t(0x30 + j)));
        stored.push_back(CtrEncrypt(Iv(j), clear.back()));
        records.push_back({Iv(j), {}});
    }
    Bytes file = ProtectedAudio(stored, Senc(records, false), Saiz(8, 3));
    OpenedFile opened = OpenBytes(file);
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(ReadPayloads(*opened.reader), stored);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    EXPECT_EQ(ReadPayloads(*opened.reader), clear);
}

TEST(ProtectedPayload, RecordSizeSixteenTakesEachIvAtSixteenTimesItsIndex) {
    std::vector<Bytes> clear, stored;
    Bytes data;
    for (int j = 0; j < 3; ++j) {
        clear.push_back(Bytes(20, uint8_t(0x50 + j)));
        stored.push_back(CtrEncrypt(Iv(j), clear.back()));
        data = Concat({data, Iv(j), Bytes(8, 0xEE)});  // 16-byte records, the last 8 bytes unused
    }
    Box senc = Box::Full("senc", 0, 0).u32(3).bytes(data);
    Bytes file = ProtectedAudio(stored, senc, Saiz(16, 3));
    OpenedFile opened = OpenBytes(file);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    EXPECT_EQ(ReadPayloads(*opened.reader), clear);
}

TEST(ProtectedPayload, EncryptionRecordOutsideTheStoredDataFailsThatPacket) {
    std::vector<Bytes> clear, stored;
    std::vector<EncryptionRecord> records;
    for (int j = 0; j < 3; ++j) {
        clear.push_back(Bytes(10, uint8_t(j)));
        stored.push_back(CtrEncrypt(Iv(j), clear.back()));
    }
    records = {{Iv(0), {}}, {Iv(1), {}}};  // no record for the third sample
    Bytes file = ProtectedAudio(stored, Senc(records, false), Saiz(8, 3));
    OpenedFile opened = OpenBytes(file);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(Payload(packet), clear[1]);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), -1);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), kEndOfStream);
}

TEST(ProtectedPayload, SubSampleCountsPastTheSampleStopAtItsEnd) {
    std::vector<Bytes> clear = {Bytes(12, 0x77)};
    // The map claims 4 clear and 100 protected bytes: only 8 exist.
    Bytes encrypted = Concat({Bytes(4, 0x77), CtrEncrypt(Iv(0), Bytes(8, 0x77))});
    std::vector<Bytes> stored = {encrypted};
    std::vector<EncryptionRecord> records = {{Iv(0), {{4, 100}, {60000, 5}}}};
    Bytes file =
        ProtectedAudio(stored, Senc(records, true), Saiz(uint8_t(EncryptionRecordBytes(records[0], true).size()), 1));
    OpenedFile opened = OpenBytes(file);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    EXPECT_EQ(ReadPayloads(*opened.reader), clear);
}

TEST(ProtectedPayload, SubSampleMapPastTheStoredDataFailsThatPacket) {
    std::vector<Bytes> clear = {Bytes(12, 0x77)};
    std::vector<Bytes> stored = {Bytes(12, 0x77)};
    // Count 200 sub-samples, with 6 bytes of map stored.
    Box senc = Box::Full("senc", 0, 2).u32(1).bytes(Concat({Iv(0), Hex("00 C8 00 04 00 00 00 08")}));
    Bytes file = ProtectedAudio(stored, senc, Saiz(16, 1));
    OpenedFile opened = OpenBytes(file);
    ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), -1);
}

namespace {

// Raw deflate, optionally against a preset dictionary.
Bytes Deflate(const Bytes& data, const Bytes& dictionary = {}) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (!dictionary.empty()) deflateSetDictionary(&z, dictionary.data(), uInt(dictionary.size()));
    Bytes out(deflateBound(&z, uLong(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes Json(size_t n, uint8_t seed) {
    Bytes text;
    uint32_t x = seed;
    while (text.size() < n) {
        x = x * 1103515245 + 12345;
        std::string item = "{\"event\":\"motion\",\"level\":" + std::to_string((x >> 16) % 100) + "},";
        text.insert(text.end(), item.begin(), item.end());
    }
    text.resize(n);
    return text;
}

OpenedFile OpenMetadata(const Box& entry, const std::vector<Bytes>& samples) {
    Track track = MetadataTrack(entry, 1000);
    for (const Bytes& sample : samples) track.add(sample, 100);
    Recording recording;
    recording.addTrack(track);
    return OpenBytes(recording.bytes());
}

}  // namespace

TEST(CompressedMetadata, SamplesAreInflatedAgainstTheEntryDictionary) {
    Bytes dictionary = Text("{\"event\":\"motion\",\"level\":");
    std::vector<Bytes> clear = {Bytes(), Json(1000, 1), Json(32768, 2), Json(100001, 3), Json(500, 4)};
    std::vector<Bytes> samples;
    for (const Bytes& c : clear) samples.push_back(Deflate(c, dictionary));
    OpenedFile opened = OpenMetadata(MettDeflate(Deflate(dictionary)), samples);
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.reader->GetTrackCount(), 1u);
    EXPECT_EQ(opened.reader->GetTrackCodecType(0), kCodecMetj);
    EXPECT_EQ(opened.reader->GetMediaType(), kMediaMetadata);
    std::vector<Bytes> payloads = ReadPayloads(*opened.reader);
    ASSERT_EQ(payloads.size(), clear.size());
    for (size_t j = 0; j < clear.size(); ++j) EXPECT_EQ(payloads[j], clear[j]) << "sample " << j;
}

TEST(CompressedMetadata, EntryWithoutDictionaryInflatesWithAnEmptyOne) {
    std::vector<Bytes> clear = {Json(300, 9)};
    OpenedFile opened = OpenMetadata(MettDeflate(), {Deflate(clear[0])});
    EXPECT_EQ(ReadPayloads(*opened.reader), clear);
}

TEST(CompressedMetadata, CorruptSampleGivesWhatWasProducedAndTheNextIsWhole) {
    Bytes good = Json(5000, 5);
    Bytes broken = Deflate(good);
    broken.resize(broken.size() / 2);
    OpenedFile opened = OpenMetadata(MettDeflate(), {broken, Deflate(good)});
    std::vector<Bytes> payloads = ReadPayloads(*opened.reader);
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_LT(payloads[0].size(), good.size());
    EXPECT_EQ(payloads[0], Bytes(good.begin(), good.begin() + payloads[0].size()));
    EXPECT_EQ(payloads[1], good);
}

TEST(CompressedMetadata, PlainMetadataPassesAsStored) {
    std::vector<Bytes> samples = {Text("{\"a\":1}"), Text("{\"b\":2}")};
    OpenedFile opened = OpenMetadata(MettPlain(), samples);
    EXPECT_EQ(ReadPayloads(*opened.reader), samples);
}

TEST(CompressedMetadata, BuiltHeaderCarriesTheInflatedLength) {
    Bytes clear = Json(777, 6);
    OpenedFile opened = OpenMetadata(MettDeflate(), {Deflate(clear)});
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(packet->payloadSize, 777u);
    EXPECT_EQ(packet->headerSize, 24u);
    // The header's length word: H + L - 4.
    EXPECT_EQ(Bytes(packet->frameData, packet->frameData + 8), Hex("00 00 03 1D 6D 65 74 6A"));
}

TEST(ProtectedPayload, FragmentSamplesDecryptWithTheirFragmentsRecords) {
    // Four H.264 samples, two to a movie fragment, each fragment with a senc
    // of its own samples' records: whole samples or sub-samples (prefix and
    // NAL header clear), with a saiz or with the records' places found from
    // the records themselves.
    const std::vector<std::vector<Bytes>> units = {{Hex("65 01 02 03 04 05 06 07 08 09"), Hex("06 AA BB")},
                                                   {Hex("41 11 12 13 14 15 16")},
                                                   {Hex("65 21 22 23 24 25 26 27")},
                                                   {Hex("41 31 32"), Hex("41 33 34 35")}};
    const struct {
        bool subSamples;
        bool withSizes;
    } rows[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.subSamples ? "sub-samples" : "whole samples") +
                     (row.withSizes ? " with saiz" : " without saiz"));
        TencFields tenc;
        tenc.defaultKeyId = Bytes(16, 0x42);
        Track track =
            VideoTrack(Protect(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), "encv", tenc), 1000);
        FragmentEncryption encryption;
        encryption.subSamples = row.subSamples;
        encryption.withSizes = row.withSizes;
        std::vector<Bytes> stored, clearStartCodes;
        for (size_t j = 0; j < units.size(); ++j) {
            std::vector<SubSample> map;
            Bytes startCodes;
            for (const Bytes& unit : units[j]) {
                map.push_back({5, uint32_t(unit.size() - 1)});
                startCodes = Concat({startCodes, Hex("00 00 00 01"), unit});
            }
            const Bytes clear = AvcSample(units[j]);
            stored.push_back(row.subSamples ? EncryptRanges(Iv(int(j)), clear, map) : CtrEncrypt(Iv(int(j)), clear));
            // Decrypted samples get start codes and no parameter sets.
            clearStartCodes.push_back(startCodes);
            track.add(stored.back(), 40, j % 2 == 0);
            encryption.records.push_back({Iv(int(j)), row.subSamples ? map : std::vector<SubSample>{}});
        }
        FragmentedRecording recording;
        recording.plan.samplesPerFragment = 2;
        recording.addTrack(track);
        recording.encryption[0] = encryption;
        OpenedFile opened = OpenBytes(recording.bytes());
        ASSERT_EQ(opened.status, 0);
        EXPECT_EQ(opened.reader->IsTrackProtected(0), 1u);
        EXPECT_EQ(ReadPayloads(*opened.reader), stored);
        ASSERT_EQ(opened.reader->SetTrackKey(0, kKey.data(), 16), 0);
        EXPECT_EQ(ReadPayloads(*opened.reader), clearStartCodes);
    }
}

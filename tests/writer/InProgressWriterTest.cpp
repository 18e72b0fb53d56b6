// The writer of recordings in progress, against bits and offsets worked out
// by hand from the chunk layout.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

#include "support/TempFile.h"
#include "writer/InProgressRecording.h"
#include "writer/IsoBoxes.h"
#include "writer/MediaHeaderExtensions.h"

using namespace writer;
using namespace testsupport;

namespace {

// A reader of the records, written apart from the writer so that the tests
// of forced fields need not spell out every bit. The hand-worked records
// below pin it down too.
class RecordBits {
public:
    explicit RecordBits(Bytes data) : data_(std::move(data)) {}
    uint32_t bits(unsigned count) {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            size_t byte = position_ / 8;
            if (byte >= data_.size()) throw std::out_of_range("record ends early");
            value = (value << 1) | ((data_[byte] >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return value;
    }
    uint32_t ue() {
        unsigned zeros = 0;
        while (bits(1) == 0) ++zeros;
        if (zeros > 31) throw std::runtime_error("overlong code");
        return uint32_t((uint64_t(1) << zeros) - 1 + bits(zeros));
    }
    size_t bytesUsed() const { return (position_ + 7) / 8; }

private:
    Bytes data_;
    size_t position_ = 0;
};

struct DecodedRecord {
    uint32_t flagIndex = 0;
    uint32_t tag = 0;
    std::vector<uint32_t> sizes;
    uint32_t gap = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    size_t length = 0;
};

DecodedRecord Decode(const Bytes& data, size_t from = 0) {
    RecordBits bits(Bytes(data.begin() + from, data.end()));
    DecodedRecord record;
    record.flagIndex = bits.ue();
    record.tag = bits.bits(32);
    uint32_t count = bits.ue();
    for (uint32_t i = 0; i < count; ++i) record.sizes.push_back(bits.ue());
    if (record.tag != ChunkTag("NORV")) {
        record.gap = bits.ue();
        if (FlagsOfIndex(record.flagIndex) & 0x01) {
            record.width = bits.ue();
            record.height = bits.ue();
        }
    }
    record.length = bits.bytesUsed();
    return record;
}

Bytes Filled(size_t size, uint8_t value) { return Bytes(size, value); }

// Three samples of 5, 6 and 7 bytes with 36-byte records (the default
// record: 16 bytes of lengths, a 20-byte header).
Chunk ThreeSampleVideoChunk() {
    Chunk chunk = Chunk::Video("H264", 2, 1);
    chunk.sample(Filled(5, 0xA1), FrameInfoRecord()).sample(Filled(6, 0xA2), FrameInfoRecord());
    chunk.sample(Filled(7, 0xA3), FrameInfoRecord());
    return chunk;
}

uint64_t FileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw std::runtime_error("no file " + path);
    return uint64_t(info.st_size);
}

}  // namespace

TEST(ChunkTags, LittleEndianValues) {
    EXPECT_EQ(ChunkTag("H264"), 0x34363248u);
    EXPECT_EQ(ChunkTag("NORV"), 0x56524F4Eu);
    EXPECT_EQ(ChunkTag("METT"), 0x5454454Du);
    EXPECT_EQ(ChunkTag("G711"), 0x31313747u);
    EXPECT_EQ(ChunkTagText(0x43564548), "HEVC");
    EXPECT_THROW(ChunkTag("H26"), std::invalid_argument);
}

TEST(ChunkTags, FlagIndexes) {
    EXPECT_EQ(FlagsOfIndex(kVideoFlagIndex), 0x01);
    EXPECT_EQ(FlagsOfIndex(kAudioFlagIndex), 0x02);
    EXPECT_EQ(FlagsOfIndex(kPassOverFlagIndex), 0x40);
    EXPECT_EQ(FlagsOfIndex(kEncryptionFlagIndex), 0x80);
    EXPECT_EQ(FlagsOfIndex(kNoFlagsIndex), 0x00);
    EXPECT_EQ(FlagsOfIndex(31), 0x00);
    EXPECT_EQ(FlagsOfIndex(32), 0x01);  // k is taken modulo 32
}

TEST(IndexRecords, SmallUeCodes) {
    // Flag index 8 (no flags, no dimensions), a zero tag, count 8, sizes 0 to
    // 7 and gap 8, coded 1, 010, 011, 00100, 00101, 00110, 00111, 0001000,
    // 0001001 for 0 to 8:
    // 0001001 | 32 zeros | 0001001 | 1 010 011 00100 00101 00110 00111 0001000 | 0001001 | 0
    IndexRecord record;
    record.flagIndex = kNoFlagsIndex;
    record.tag = 0;
    record.sizes = {0, 1, 2, 3, 4, 5, 6, 7};
    record.gap = 8;
    EXPECT_EQ(IndexRecordBytes(record), Hex("12 00 00 00 00 26 99 0A 63 88 12"));
}

TEST(IndexRecords, VideoRecordByteByByte) {
    // 1 | 0011 0100 0011 0110 0011 0010 0100 1000 ("H264") | 00100 (3) |
    // 00110 (5) 00111 (6) 0001000 (7) | 1 (gap 0) | 011 (width 2) 010 (height 1) | 00
    IndexRecord record;
    record.flagIndex = kVideoFlagIndex;
    record.tag = ChunkTag("H264");
    record.sizes = {5, 6, 7};
    record.width = 2;
    record.height = 1;
    EXPECT_EQ(IndexRecordBytes(record), Hex("9A 1B 19 24 10 C7 11 68"));
}

TEST(IndexRecords, TrailerCarriesNoGapOrDimensions) {
    // 1 | 0101 0110 0101 0010 0100 1111 0100 1110 ("NORV") | 011 (2) |
    // 00000101001 (40) 00000101010 (41) | 000000
    IndexRecord record;
    record.flagIndex = kVideoFlagIndex;
    record.tag = kTrailerTag;
    record.sizes = {40, 41};
    record.gap = 99;
    record.width = 7;
    EXPECT_EQ(IndexRecordBytes(record), Hex("AB 29 27 A7 30 52 0A 80"));
}

TEST(IndexRecords, TagBitsAreTheCharactersInReverse) {
    // Behind the one-bit flag index the 32 tag bits read, as a big-endian
    // number, like the bytes "462H".
    IndexRecord record;
    record.tag = ChunkTag("H264");
    Bytes bytes = IndexRecordBytes(record);
    RecordBits bits(bytes);
    EXPECT_EQ(bits.bits(1), 1u);
    EXPECT_EQ(bits.bits(32), ReadU32(Text("462H"), 0));
}

TEST(IndexRecords, DimensionsFollowFlagBitZero) {
    IndexRecord record;
    record.sizes = {1};
    record.width = 1920;
    record.height = 1080;
    record.flagIndex = 32;  // flags 0x01 again
    EXPECT_EQ(Decode(IndexRecordBytes(record)).width, 1920u);
    record.flagIndex = kAudioFlagIndex;
    Bytes audio = IndexRecordBytes(record);
    // 010 | 32 tag bits | 010 (1) 010 (1) 1 (gap 0): 42 bits, nothing after.
    EXPECT_EQ(audio.size(), 6u);
    record.dimensions = true;
    EXPECT_EQ(IndexRecordBytes(record).size(), 11u);  // + ue(1920) and ue(1080), 21 bits each
}

TEST(IndexRecords, OverlongCodeHas32LeadingZeros) {
    IndexRecord record;
    record.flagIndex = kOverlongCode;
    Bytes bytes = IndexRecordBytes(record);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(BytesBetween(bytes, 0, 5), Hex("00 00 00 00 80"));
    RecordBits bits(bytes);
    EXPECT_THROW(bits.ue(), std::runtime_error);
}

TEST(ConfigurationAreas, H264AndHevcParameterSets) {
    EXPECT_EQ(H264ConfigurationArea(Hex("67 42 00 1E"), {Hex("68 CE 38 80")}), Hex("0004 6742001E 01 0004 68CE3880"));
    EXPECT_EQ(H264ConfigurationArea(Hex("67"), {}), Hex("0001 67 00"));
    EXPECT_EQ(
        HevcConfigurationArea({{32, {Hex("40 01 0C")}}, {33, {Hex("42 01")}}, {34, {Hex("44 01 C1"), Hex("44")}}}),
        Hex("03 20 0001 0003 40010C 21 0001 0002 4201 22 0002 0003 4401C1 0001 44"));
}

TEST(ConfigurationAreas, MetadataTypes) {
    Bytes plain = MettConfigurationArea();
    ASSERT_EQ(plain.size(), 23u);
    EXPECT_EQ(plain[0], 0);
    EXPECT_EQ(BytesBetween(plain, 1, 22), Text("text/vnd.norvate.metj"));
    EXPECT_EQ(plain[22], 0);

    Bytes compressed = MettConfigurationArea(kDeflateEncoding);
    ASSERT_EQ(compressed.size(), 54u);
    EXPECT_EQ(BytesBetween(compressed, 0, 31), Text("application/vnd.norvate.deflate"));

    Bytes dictionary = Hex("01 02 00 FD FF 7B 7D");
    Bytes withDictionary = MettDeflateConfigurationArea(dictionary);
    ASSERT_EQ(withDictionary.size(), 66u + 7u);
    EXPECT_EQ(BytesBetween(withDictionary, 0, 54), compressed);
    EXPECT_EQ(ReadU32(withDictionary, 54), 19u);  // box header 8, four zero bytes, 7 bytes
    EXPECT_EQ(ReadFourCC(withDictionary, 58), "txtC");
    EXPECT_EQ(ReadU32(withDictionary, 62), 0u);
    EXPECT_EQ(BytesBetween(withDictionary, 66, 73), dictionary);
}

TEST(ConfigurationAreas, StoredDeflateBlocks) {
    EXPECT_EQ(RawDeflateStored(Text("{}")), Hex("01 0200 FDFF 7B7D"));
    EXPECT_EQ(RawDeflateStored({}), Hex("01 0000 FFFF"));
    // 70000 bytes: a full block of 65535, then a last one of 4465 (0x1171).
    Bytes big = RawDeflateStored(Bytes(70000, 0x55));
    ASSERT_EQ(big.size(), 70000u + 10u);
    EXPECT_EQ(BytesBetween(big, 0, 5), Hex("00 FFFF 0000"));
    EXPECT_EQ(BytesBetween(big, 5 + 65535, 10 + 65535), Hex("01 7111 8EEE"));
}

TEST(Chunks, PartsAndOffsets) {
    Chunk chunk = ThreeSampleVideoChunk();
    ChunkLayout layout = chunk.layout(100);
    // Index record: the 8 bytes of VideoRecordByteByByte. Trailer: 1 + 32 +
    // 5 (count 3) + 3 x 11 (ue(36)) = 71 bits, 9 bytes.
    EXPECT_EQ(layout.start, 100u);
    EXPECT_EQ(layout.configurationStart, 108u);
    EXPECT_EQ(layout.samplesStart, 108u);
    EXPECT_EQ(layout.sampleStarts, (std::vector<uint64_t>{108, 113, 119}));
    EXPECT_EQ(layout.trailerStart, 126u);
    EXPECT_EQ(layout.recordsStart, 135u);
    EXPECT_EQ(layout.recordStarts, (std::vector<uint64_t>{135, 171, 207}));
    EXPECT_EQ(layout.end, 243u);

    Bytes bytes = chunk.bytes();
    ASSERT_EQ(bytes.size(), 143u);
    EXPECT_EQ(BytesBetween(bytes, 0, 8), Hex("9A 1B 19 24 10 C7 11 68"));
    EXPECT_EQ(BytesBetween(bytes, 8, 26), Concat({Filled(5, 0xA1), Filled(6, 0xA2), Filled(7, 0xA3)}));
    DecodedRecord trailer = Decode(bytes, 26);
    EXPECT_EQ(trailer.tag, ChunkTag("NORV"));
    EXPECT_EQ(trailer.sizes, (std::vector<uint32_t>{36, 36, 36}));
    EXPECT_EQ(trailer.length, 9u);
    EXPECT_EQ(BytesBetween(bytes, 35, 71), FrameInfoRecord().bytes());
}

TEST(Chunks, ConfigurationAreaSetsTheGap) {
    Chunk chunk = Chunk::Video("H264", 640, 480);
    Bytes area = H264ConfigurationArea(Hex("67 42 00 1E"), {Hex("68 CE 38 80")});
    chunk.configuration(area).sample(Filled(4, 1), FrameInfoRecord());
    Bytes bytes = chunk.bytes();
    DecodedRecord index = Decode(bytes);
    EXPECT_EQ(index.gap, 13u);
    EXPECT_EQ(index.width, 640u);
    EXPECT_EQ(index.height, 480u);
    ChunkLayout layout = chunk.layout();
    EXPECT_EQ(layout.configurationStart, index.length);
    EXPECT_EQ(layout.samplesStart, index.length + 13);
    EXPECT_EQ(BytesBetween(bytes, layout.configurationStart, layout.samplesStart), area);
}

TEST(Chunks, MalformedFields) {
    Chunk chunk = ThreeSampleVideoChunk();
    chunk.forceGap(1000).forceCount(2).trailerTag(ChunkTag("NORW")).trailerCount(4);
    Bytes bytes = chunk.bytes();
    // Count 2 is written, yet the three sizes follow it, then the gap.
    RecordBits bits(bytes);
    bits.ue();
    bits.bits(32);
    EXPECT_EQ(bits.ue(), 2u);
    EXPECT_EQ(bits.ue(), 5u);
    EXPECT_EQ(bits.ue(), 6u);
    EXPECT_EQ(bits.ue(), 7u);
    EXPECT_EQ(bits.ue(), 1000u);
    ChunkLayout layout = chunk.layout();
    // The bytes stay where they were: the configuration area is empty.
    EXPECT_EQ(layout.samplesStart, layout.configurationStart);
    RecordBits trailer(BytesBetween(bytes, layout.trailerStart, layout.recordsStart));
    trailer.ue();
    EXPECT_EQ(trailer.bits(32), ChunkTag("NORW"));
    EXPECT_EQ(trailer.ue(), 4u);

    Chunk sizes = ThreeSampleVideoChunk();
    sizes.forceSizes({5, 6}).trailerSizes({36, 10, 36}).trailerFlagIndex(kNoFlagsIndex);
    Bytes sizeBytes = sizes.bytes();
    EXPECT_EQ(Decode(sizeBytes).sizes, (std::vector<uint32_t>{5, 6}));
    DecodedRecord trailerRecord = Decode(sizeBytes, sizes.layout().trailerStart);
    EXPECT_EQ(trailerRecord.sizes, (std::vector<uint32_t>{36, 10, 36}));
    EXPECT_EQ(trailerRecord.flagIndex, kNoFlagsIndex);
}

TEST(Chunks, RawRecordsReplaceTheFields) {
    Chunk chunk = ThreeSampleVideoChunk();
    chunk.indexRecordBytes(Hex("00 00 00 00 80")).trailerRecordBytes(Hex("FF"));
    Bytes bytes = chunk.bytes();
    ChunkLayout layout = chunk.layout();
    EXPECT_EQ(BytesBetween(bytes, 0, 5), Hex("00 00 00 00 80"));
    EXPECT_EQ(layout.samplesStart, 5u);
    EXPECT_EQ(layout.trailerStart, 23u);
    EXPECT_EQ(bytes[23], 0xFF);
    EXPECT_EQ(layout.recordsStart, 24u);
}

TEST(Chunks, ShortRecordsAreKeptAsGiven) {
    Chunk chunk = Chunk::Video("H264", 2, 1);
    chunk.sample(Filled(3, 7), Filled(19, 9)).sample(Filled(2, 8), Bytes{});
    EXPECT_EQ(chunk.trailerRecord().sizes, (std::vector<uint32_t>{19, 0}));
    ChunkLayout layout = chunk.layout();
    EXPECT_EQ(layout.recordStarts[1] - layout.recordStarts[0], 19u);
    EXPECT_EQ(layout.end, layout.recordStarts[1]);
}

TEST(Chunks, EncryptionAndPassOver) {
    Bytes nonce = Hex("00 00 00 00 00 00 00 FF");
    Chunk encryption = EncryptionRecordChunk(nonce, "H264", Hex("AA BB"));
    Bytes bytes = encryption.bytes();
    // 0001000 (k = 7) then the tag's first bit 0.
    EXPECT_EQ(bytes[0], 0x10);
    DecodedRecord index = Decode(bytes);
    EXPECT_EQ(index.flagIndex, 7u);
    EXPECT_EQ(index.sizes, (std::vector<uint32_t>{10}));
    ChunkLayout layout = encryption.layout();
    EXPECT_EQ(BytesBetween(bytes, layout.trailerStart - 8, layout.trailerStart), nonce);
    DecodedRecord trailer = Decode(bytes, layout.trailerStart);
    EXPECT_EQ(trailer.tag, ChunkTag("NORV"));
    EXPECT_EQ(trailer.sizes, (std::vector<uint32_t>{0}));
    EXPECT_EQ(layout.end, layout.recordsStart);
    EXPECT_THROW(EncryptionRecordChunk(Hex("01 02")), std::invalid_argument);

    Bytes passed = PassOver(ThreeSampleVideoChunk()).bytes();
    // 00111 (k = 6) then the tag's first three bits 001.
    EXPECT_EQ(passed[0], 0x39);
    EXPECT_EQ(Decode(passed).width, 0u);  // flags 0x40: no dimensions
}

TEST(Recordings, HeadChunksAndSkipBox) {
    InProgressRecording recording;
    recording.chunk(ThreeSampleVideoChunk()).chunk(ThreeSampleVideoChunk()).skipBox(Hex("01 02"));
    RecordingLayout layout = recording.layout();
    // ftyp: 8 + major brand, minor version and four brands = 32 bytes.
    EXPECT_EQ(layout.mdatStart, 32u);
    EXPECT_EQ(BytesBetween(layout.bytes, 32, 40), Hex("00000000 6D646174"));
    EXPECT_EQ(layout.mdatPayloadStart, 40u);
    ASSERT_EQ(layout.chunks.size(), 2u);
    EXPECT_EQ(layout.chunks[0].start, 40u);
    EXPECT_EQ(layout.chunks[0].end, 183u);
    EXPECT_EQ(layout.chunks[1].start, 183u);
    EXPECT_EQ(layout.chunks[1].trailerStart, 183u + 26u);
    EXPECT_EQ(layout.chunks[1].end, 326u);
    EXPECT_EQ(layout.otherStarts, (std::vector<uint64_t>{326}));
    EXPECT_EQ(BytesBetween(layout.bytes, 326, 336), Hex("0000000A 736B6970 0102"));
    EXPECT_EQ(layout.end, 336u);
    EXPECT_EQ(recording.head(), BytesBetween(layout.bytes, 0, 40));
}

TEST(Recordings, MdatSizeForms) {
    InProgressRecording given;
    given.noBoxesBefore().mdatSize(0x1234).chunk(ThreeSampleVideoChunk());
    EXPECT_EQ(BytesBetween(given.bytes(), 0, 8), Hex("00001234 6D646174"));

    InProgressRecording large;
    large.noBoxesBefore().boxBefore(Free(4)).mdatLargeSize(0x100000000).chunk(ThreeSampleVideoChunk());
    RecordingLayout largeLayout = large.layout();
    EXPECT_EQ(BytesBetween(largeLayout.bytes, 0, 12), Hex("0000000C 66726565 00000000"));
    EXPECT_EQ(BytesBetween(largeLayout.bytes, 12, 28), Hex("00000001 6D646174 0000000100000000"));
    EXPECT_EQ(largeLayout.mdatPayloadStart, 28u);

    InProgressRecording toEnd;
    toEnd.noBoxesBefore().mdatSizeToEnd().chunk(ThreeSampleVideoChunk()).bytes(Hex("00 00"));
    EXPECT_EQ(ReadU32(toEnd.bytes(), 0), 8u + 143u + 2u);
    InProgressRecording toEndLarge;
    toEndLarge.noBoxesBefore().mdatSizeToEnd(true).chunk(ThreeSampleVideoChunk());
    EXPECT_EQ(ReadU64(toEndLarge.bytes(), 8), 16u + 143u);
}

TEST(Recordings, SplitWritesGrowTheFileAndEndWithTheSameBytes) {
    TempFile file;
    Chunk first = ThreeSampleVideoChunk();
    Chunk second = Chunk::Audio("G711").sample(Filled(160, 0xD5), FrameInfoRecord());
    InProgressRecording recording;
    recording.chunk(first).chunk(second).skipBox();

    InProgressFile out(file.path());
    out.appendHead(recording);
    EXPECT_EQ(FileSize(file.path()), 40u);
    std::vector<uint64_t> seen;
    ChunkLayout layout = out.appendChunk(first, {3, 26}, [&](uint64_t written) {
        seen.push_back(written);
        seen.push_back(FileSize(file.path()));
    });
    // Cut inside the index record, then after the samples.
    EXPECT_EQ(seen, (std::vector<uint64_t>{3, 43, 26, 66}));
    EXPECT_EQ(layout.start, 40u);
    EXPECT_EQ(layout.end, 183u);
    EXPECT_EQ(out.appendChunk(second).start, 183u);
    out.appendSkipBox();
    EXPECT_EQ(out.size(), recording.layout().end);
    EXPECT_EQ(file.read(), recording.bytes());
    EXPECT_THROW(out.appendChunk(first, {10, 5}), std::invalid_argument);
}

TEST(MediaHeaderExtensions, VideoWindows) {
    EXPECT_EQ(VideoExtensionBytes(), Hex("00"));
    EXPECT_EQ(VideoExtensionBytes({}, true), Hex("10"));
    // 1 1 0011110 | 0000000001 0000000010 0000000011 0000000100 | 0 0 | 0 | 0000
    MotionWindow window{true, true, 30, {1, 2, 3, 4}};
    EXPECT_EQ(VideoExtensionBytes({window, MotionWindow{}, MotionWindow{}}), Hex("CF 00 20 10 06 02 00"));
}

TEST(MediaHeaderExtensions, AudioFields) {
    AudioExtension aac;
    aac.uniform = false;
    aac.frameSizes = {100};
    aac.sampleRate = 16000;
    aac.channels = 2;
    EXPECT_EQ(AudioExtensionBytes(aac), Hex("40 01 0064 003E80 02"));
    AudioExtension frames;
    frames.uniform = false;
    frames.frameCount = 2;
    frames.frameSizes = {10, 20};
    frames.optionalValue = 0x123456;
    EXPECT_EQ(AudioExtensionBytes(frames), Hex("20 02 000A 0014 123456"));
}

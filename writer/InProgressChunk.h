// One chunk of a recording in progress: the bit-coded index record, the
// configuration area, the samples, the trailer record and one
// frame-information record per sample, with the offsets of every part.
#ifndef STAMPWALK_WRITER_INPROGRESSCHUNK_H
#define STAMPWALK_WRITER_INPROGRESSCHUNK_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "writer/ByteWriter.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/SampleEntries.h"  // kMetjMimeType, kDeflateEncoding

namespace writer {

// ---- tags and flags --------------------------------------------------------

// The four characters read as a little-endian number: "H264" is 0x34363248,
// so a byte-aligned tag field shows the bytes "462H".
constexpr uint32_t ChunkTag(std::string_view text) {
    if (text.size() != 4) throw std::invalid_argument("a chunk tag has 4 characters");
    return uint32_t(uint8_t(text[0])) | (uint32_t(uint8_t(text[1])) << 8) | (uint32_t(uint8_t(text[2])) << 16) |
           (uint32_t(uint8_t(text[3])) << 24);
}
// The four characters of a tag value, first character from the low byte.
std::string ChunkTagText(uint32_t tag);

inline constexpr uint32_t kTrailerTag = ChunkTag("NORV");

// A record's flag index k stands for the flags 1 << k kept to 8 bits.
inline constexpr uint32_t kVideoFlagIndex = 0;       // 0x01: width and height follow
inline constexpr uint32_t kAudioFlagIndex = 1;       // 0x02
inline constexpr uint32_t kPassOverFlagIndex = 6;    // 0x40: the chunk is passed over
inline constexpr uint32_t kEncryptionFlagIndex = 7;  // 0x80: the samples end with a nonce
inline constexpr uint32_t kNoFlagsIndex = 8;         // 1 << 8 kept to 8 bits is 0
constexpr uint8_t FlagsOfIndex(uint32_t flagIndex) { return uint8_t(1u << (flagIndex % 32)); }

// Any ue field given this value is written with 32 leading zero bits, one
// more than a reader accepts.
inline constexpr uint32_t kOverlongCode = 0xFFFFFFFF;

// ---- index and trailer records ---------------------------------------------

struct IndexRecord {
    uint32_t flagIndex = kVideoFlagIndex;
    uint32_t tag = ChunkTag("H264");
    std::vector<uint32_t> sizes;
    std::optional<uint32_t> count;  // written in place of sizes.size()
    // gap, and width and height when the flags have 0x01, are written only
    // when the tag is not "NORV".
    uint32_t gap = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    std::optional<bool> dimensions;  // forces width and height in or out
};

// The fields MSB first as ue codes (the tag as 32 plain bits), zero bits to
// the next byte boundary.
Bytes IndexRecordBytes(const IndexRecord& record);
// Whether width and height are written for this record.
bool WritesDimensions(const IndexRecord& record);

// ---- configuration areas ---------------------------------------------------

// u16 length and the sequence parameter set, u8 count, then each picture
// parameter set with a u16 length.
Bytes H264ConfigurationArea(const Bytes& sps, const std::vector<Bytes>& ppsList);

struct HevcParameterArray {
    uint8_t nalUnitType = 0;
    std::vector<Bytes> units;
};
// u8 array count; per array the type byte, a u16 unit count and the units
// with u16 lengths.
Bytes HevcConfigurationArea(const std::vector<HevcParameterArray>& arrays);

// Content encoding, a zero, the MIME type, a zero: 23 bytes for the empty
// encoding, 54 for the deflate one.
Bytes MettConfigurationArea(std::string_view contentEncoding = "", std::string_view mimeType = kMetjMimeType);
// The compressed form followed by a "txtC" box (u32 size, "txtC", four zero
// bytes, the raw-deflate dictionary), which puts "txtC" at byte 58 and the
// dictionary at byte 66.
Bytes MettDeflateConfigurationArea(const Bytes& compressedDictionary);
// A raw deflate stream of stored blocks (no compression) that inflates to
// data: 0x01 on the last block, 0x00 on others, u16 LEN and its complement
// little-endian, the bytes.
Bytes RawDeflateStored(const Bytes& data);

// ---- chunks ------------------------------------------------------------------

// Offsets of a chunk's parts as written, counted from the file start when the
// chunk starts at `start`. Forced fields (gap, count, sizes) do not move them:
// they say where the bytes are, not what the records claim.
struct ChunkLayout {
    uint64_t start = 0;               // the index record's first byte
    uint64_t configurationStart = 0;  // right after the index record
    uint64_t samplesStart = 0;        // right after the configuration area
    std::vector<uint64_t> sampleStarts;
    uint64_t trailerStart = 0;  // right after the samples
    uint64_t recordsStart = 0;  // right after the trailer record
    std::vector<uint64_t> recordStarts;
    uint64_t end = 0;  // where the next chunk starts
};

class Chunk {
public:
    Chunk(uint32_t tag, uint32_t flagIndex);
    // Flag 0x01 with width and height.
    static Chunk Video(std::string_view tag, uint32_t width, uint32_t height);
    // Flag 0x02.
    static Chunk Audio(std::string_view tag);

    // The configuration area; gap is its size unless forced.
    Chunk& configuration(const Bytes& area);
    // A sample and its frame-information record, which may have any size.
    Chunk& sample(const Bytes& payload, const Bytes& record);
    Chunk& sample(const Bytes& payload, const FrameInfoRecord& record) { return sample(payload, record.bytes()); }
    Chunk& dimensions(uint32_t width, uint32_t height);
    Chunk& flagIndex(uint32_t flagIndex);

    // Fields written other than the content says, for malformed chunks.
    // Each changes one field only: a forced count is followed by the sizes
    // all the same (force those too for a record that reads consistently).
    Chunk& forceGap(uint32_t gap);
    Chunk& forceCount(uint32_t count);
    Chunk& forceSizes(const std::vector<uint32_t>& sizes);
    Chunk& forceDimensions(bool written);
    // The trailer carries the chunk's flag index, "NORV", the sample count
    // and the record sizes unless told otherwise.
    Chunk& trailerFlagIndex(uint32_t flagIndex);
    Chunk& trailerTag(uint32_t tag);
    Chunk& trailerCount(uint32_t count);
    Chunk& trailerSizes(const std::vector<uint32_t>& sizes);
    // Bytes written in place of a record, whatever the fields say.
    Chunk& indexRecordBytes(const Bytes& bytes);
    Chunk& trailerRecordBytes(const Bytes& bytes);

    IndexRecord indexRecord() const;
    IndexRecord trailerRecord() const;
    size_t sampleCount() const { return samples_.size(); }
    Bytes bytes() const;
    ChunkLayout layout(uint64_t start = 0) const;

private:
    Bytes indexBytes() const;
    Bytes trailerBytes() const;

    IndexRecord index_;
    Bytes configuration_;
    std::optional<uint32_t> gap_;
    std::optional<std::vector<uint32_t>> sizes_;
    std::vector<Bytes> samples_;
    std::vector<Bytes> records_;
    std::optional<uint32_t> trailerFlagIndex_;
    uint32_t trailerTag_ = kTrailerTag;
    std::optional<uint32_t> trailerCount_;
    std::optional<std::vector<uint32_t>> trailerSizes_;
    std::optional<Bytes> indexRecordBytes_;
    std::optional<Bytes> trailerRecordBytes_;
};

// An encryption record: flag 0x80, one sample made of `leading` and the
// 8 nonce bytes, an empty frame-information record. The tag is not read by
// anyone; the one of the media that follows is as good as any.
Chunk EncryptionRecordChunk(const Bytes& nonce, std::string_view tag = "H264", const Bytes& leading = {});
// The same chunk with flag 0x40, to be passed over.
Chunk PassOver(Chunk chunk);

}  // namespace writer

#endif

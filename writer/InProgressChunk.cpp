#include "writer/InProgressChunk.h"

#include <algorithm>
#include <limits>

namespace writer {

namespace {

uint32_t Size32(size_t size, const char* what) {
    if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error(std::string(what) + " above 32 bits");
    return uint32_t(size);
}

void PutU16(ByteWriter& out, size_t value, const char* what) {
    if (value > 0xFFFF) throw std::length_error(std::string(what) + " above 16 bits");
    out.u16(uint16_t(value));
}

std::vector<uint32_t> SizesOf(const std::vector<Bytes>& parts, const char* what) {
    std::vector<uint32_t> sizes;
    sizes.reserve(parts.size());
    for (const Bytes& part : parts) sizes.push_back(Size32(part.size(), what));
    return sizes;
}

}  // namespace

std::string ChunkTagText(uint32_t tag) {
    std::string text(4, '\0');
    for (int i = 0; i < 4; ++i) text[i] = char(uint8_t(tag >> (8 * i)));
    return text;
}

bool WritesDimensions(const IndexRecord& record) {
    if (record.tag == kTrailerTag) return false;
    if (record.dimensions) return *record.dimensions;
    return (FlagsOfIndex(record.flagIndex) & 0x01) != 0;
}

Bytes IndexRecordBytes(const IndexRecord& record) {
    BitWriter bits;
    bits.ue(record.flagIndex).bits(record.tag, 32);
    bits.ue(record.count ? *record.count : Size32(record.sizes.size(), "sample count"));
    for (uint32_t size : record.sizes) bits.ue(size);
    if (record.tag != kTrailerTag) {
        bits.ue(record.gap);
        if (WritesDimensions(record)) bits.ue(record.width).ue(record.height);
    }
    return bits.bytes();
}

Bytes H264ConfigurationArea(const Bytes& sps, const std::vector<Bytes>& ppsList) {
    ByteWriter out;
    PutU16(out, sps.size(), "sequence parameter set");
    out.bytes(sps);
    if (ppsList.size() > 0xFF) throw std::length_error("more than 255 picture parameter sets");
    out.u8(uint8_t(ppsList.size()));
    for (const Bytes& pps : ppsList) {
        PutU16(out, pps.size(), "picture parameter set");
        out.bytes(pps);
    }
    return out.take();
}

Bytes HevcConfigurationArea(const std::vector<HevcParameterArray>& arrays) {
    ByteWriter out;
    if (arrays.size() > 0xFF) throw std::length_error("more than 255 parameter arrays");
    out.u8(uint8_t(arrays.size()));
    for (const HevcParameterArray& array : arrays) {
        out.u8(array.nalUnitType);
        PutU16(out, array.units.size(), "parameter set count");
        for (const Bytes& unit : array.units) {
            PutU16(out, unit.size(), "parameter set");
            out.bytes(unit);
        }
    }
    return out.take();
}

Bytes MettConfigurationArea(std::string_view contentEncoding, std::string_view mimeType) {
    return ByteWriter().cstr(contentEncoding).cstr(mimeType).take();
}

Bytes MettDeflateConfigurationArea(const Bytes& compressedDictionary) {
    ByteWriter out;
    out.bytes(MettConfigurationArea(kDeflateEncoding, kMetjMimeType));
    out.u32(Size32(12 + uint64_t(compressedDictionary.size()), "txtC box")).fourcc("txtC").u32(0);
    out.bytes(compressedDictionary);
    return out.take();
}

Bytes RawDeflateStored(const Bytes& data) {
    ByteWriter out;
    size_t offset = 0;
    do {
        size_t length = std::min<size_t>(data.size() - offset, 0xFFFF);
        bool last = offset + length == data.size();
        out.u8(last ? 0x01 : 0x00).u16le(uint16_t(length)).u16le(uint16_t(~length));
        out.bytes(data.data() + offset, length);
        offset += length;
    } while (offset < data.size());
    return out.take();
}

Chunk::Chunk(uint32_t tag, uint32_t flagIndex) {
    index_.tag = tag;
    index_.flagIndex = flagIndex;
}

Chunk Chunk::Video(std::string_view tag, uint32_t width, uint32_t height) {
    Chunk chunk(ChunkTag(tag), kVideoFlagIndex);
    chunk.dimensions(width, height);
    return chunk;
}

Chunk Chunk::Audio(std::string_view tag) { return Chunk(ChunkTag(tag), kAudioFlagIndex); }

Chunk& Chunk::configuration(const Bytes& area) {
    configuration_ = area;
    return *this;
}

Chunk& Chunk::sample(const Bytes& payload, const Bytes& record) {
    samples_.push_back(payload);
    records_.push_back(record);
    return *this;
}

Chunk& Chunk::dimensions(uint32_t width, uint32_t height) {
    index_.width = width;
    index_.height = height;
    return *this;
}

Chunk& Chunk::flagIndex(uint32_t flagIndex) {
    index_.flagIndex = flagIndex;
    return *this;
}

Chunk& Chunk::forceGap(uint32_t gap) {
    gap_ = gap;
    return *this;
}

Chunk& Chunk::forceCount(uint32_t count) {
    index_.count = count;
    return *this;
}

Chunk& Chunk::forceSizes(const std::vector<uint32_t>& sizes) {
    sizes_ = sizes;
    return *this;
}

Chunk& Chunk::forceDimensions(bool written) {
    index_.dimensions = written;
    return *this;
}

Chunk& Chunk::trailerFlagIndex(uint32_t flagIndex) {
    trailerFlagIndex_ = flagIndex;
    return *this;
}

Chunk& Chunk::trailerTag(uint32_t tag) {
    trailerTag_ = tag;
    return *this;
}

Chunk& Chunk::trailerCount(uint32_t count) {
    trailerCount_ = count;
    return *this;
}

Chunk& Chunk::trailerSizes(const std::vector<uint32_t>& sizes) {
    trailerSizes_ = sizes;
    return *this;
}

Chunk& Chunk::indexRecordBytes(const Bytes& bytes) {
    indexRecordBytes_ = bytes;
    return *this;
}

Chunk& Chunk::trailerRecordBytes(const Bytes& bytes) {
    trailerRecordBytes_ = bytes;
    return *this;
}

IndexRecord Chunk::indexRecord() const {
    IndexRecord record = index_;
    record.sizes = sizes_ ? *sizes_ : SizesOf(samples_, "sample");
    record.gap = gap_ ? *gap_ : Size32(configuration_.size(), "configuration area");
    return record;
}

IndexRecord Chunk::trailerRecord() const {
    IndexRecord record;
    record.flagIndex = trailerFlagIndex_ ? *trailerFlagIndex_ : index_.flagIndex;
    record.tag = trailerTag_;
    record.sizes = trailerSizes_ ? *trailerSizes_ : SizesOf(records_, "frame-information record");
    record.count = trailerCount_;
    return record;
}

Bytes Chunk::indexBytes() const { return indexRecordBytes_ ? *indexRecordBytes_ : IndexRecordBytes(indexRecord()); }

Bytes Chunk::trailerBytes() const {
    return trailerRecordBytes_ ? *trailerRecordBytes_ : IndexRecordBytes(trailerRecord());
}

Bytes Chunk::bytes() const {
    ByteWriter out;
    out.bytes(indexBytes()).bytes(configuration_);
    for (const Bytes& sample : samples_) out.bytes(sample);
    out.bytes(trailerBytes());
    for (const Bytes& record : records_) out.bytes(record);
    return out.take();
}

ChunkLayout Chunk::layout(uint64_t start) const {
    ChunkLayout layout;
    uint64_t at = start;
    layout.start = at;
    at += indexBytes().size();
    layout.configurationStart = at;
    at += configuration_.size();
    layout.samplesStart = at;
    for (const Bytes& sample : samples_) {
        layout.sampleStarts.push_back(at);
        at += sample.size();
    }
    layout.trailerStart = at;
    at += trailerBytes().size();
    layout.recordsStart = at;
    for (const Bytes& record : records_) {
        layout.recordStarts.push_back(at);
        at += record.size();
    }
    layout.end = at;
    return layout;
}

Chunk EncryptionRecordChunk(const Bytes& nonce, std::string_view tag, const Bytes& leading) {
    if (nonce.size() != 8) throw std::invalid_argument("a nonce has 8 bytes");
    Chunk chunk(ChunkTag(tag), kEncryptionFlagIndex);
    chunk.sample(Concat({leading, nonce}), Bytes{});
    return chunk;
}

Chunk PassOver(Chunk chunk) { return chunk.flagIndex(kPassOverFlagIndex); }

}  // namespace writer

// A box's bytes held in memory and read through a cursor that can never pass
// the box's end: a child read is clamped to its parent, and a field that would
// run past the end is a format error, not a read of the next box.
#ifndef STAMPWALK_FORMAT_BOXVIEW_H
#define STAMPWALK_FORMAT_BOXVIEW_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/BadFormat.h"
#include "format/ByteOrder.h"

namespace ZENT::SDK::Format {

class BoxView {
public:
    // [data, data + size) holds the bytes at file positions [filePosition, filePosition + size).
    BoxView(const uint8_t* data, uint64_t size, uint64_t filePosition)
        : data_(data), size_(size), filePosition_(filePosition) {}

    uint64_t offset() const { return offset_; }
    uint64_t size() const { return size_; }
    uint64_t remaining() const { return size_ - offset_; }
    uint64_t filePosition() const { return filePosition_ + offset_; }
    const uint8_t* current() const { return data_ + offset_; }

    void Need(uint64_t n) const {
        if (n > remaining()) throw Pelagor2::MP4Parser::bad_format("box too short");
    }
    // clang-format off
    void Skip(uint64_t n) { Need(n); offset_ += n; }
    void SeekTo(uint64_t offset) {
        if (offset > size_) throw Pelagor2::MP4Parser::bad_format("box too short");
        offset_ = offset;
    }
    uint8_t U8() { Need(1); return data_[offset_++]; }
    uint16_t U16() { Need(2); uint16_t v = LoadU16(data_ + offset_); offset_ += 2; return v; }
    uint32_t U24() { Need(3); uint32_t v = LoadU24(data_ + offset_); offset_ += 3; return v; }
    uint32_t U32() { Need(4); uint32_t v = LoadU32(data_ + offset_); offset_ += 4; return v; }
    uint64_t U64() { Need(8); uint64_t v = LoadU64(data_ + offset_); offset_ += 8; return v; }
    // clang-format on
    std::vector<uint8_t> Bytes(uint64_t n) {
        Need(n);
        std::vector<uint8_t> bytes(data_ + offset_, data_ + offset_ + n);
        offset_ += n;
        return bytes;
    }
    std::vector<uint8_t> Rest() { return Bytes(remaining()); }

    // The view of [offset, offset + n) as a box of its own.
    BoxView Sub(uint64_t offset, uint64_t n) const {
        if (offset > size_ || n > size_ - offset) throw Pelagor2::MP4Parser::bad_format("box too short");
        return BoxView(data_ + offset, n, filePosition_ + offset);
    }

private:
    const uint8_t* data_;
    uint64_t size_;
    uint64_t filePosition_;
    uint64_t offset_ = 0;
};

}  // namespace ZENT::SDK::Format

#endif

// Byte and bit writers that tests assemble file bytes with, big-endian unless
// a name says otherwise.
#ifndef STAMPWALK_WRITER_BYTEWRITER_H
#define STAMPWALK_WRITER_BYTEWRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace writer {

using Bytes = std::vector<uint8_t>;

// Bytes from hexadecimal text; spaces, commas and line breaks are ignored:
// Hex("00 00 00 01 67") is five bytes. Throws std::invalid_argument on odd or
// non-hex text.
Bytes Hex(std::string_view text);

// The characters of a text, without a terminating zero.
Bytes Text(std::string_view text);

// a followed by b (and more).
Bytes Concat(std::initializer_list<Bytes> parts);

// Big-endian and little-endian reads from a byte buffer, for checking
// written bytes. Throw std::out_of_range past the end.
uint16_t ReadU16(const Bytes& data, size_t offset);
uint32_t ReadU24(const Bytes& data, size_t offset);
uint32_t ReadU32(const Bytes& data, size_t offset);
uint64_t ReadU64(const Bytes& data, size_t offset);
uint32_t ReadU32LE(const Bytes& data, size_t offset);
uint64_t ReadU64LE(const Bytes& data, size_t offset);
std::string ReadFourCC(const Bytes& data, size_t offset);

// Appending writer shared by ByteWriter and Box: every method returns the
// derived object, so calls chain on either.
template <class Self>
class ByteSink {
public:
    Self& u8(uint8_t value) { return put(value); }
    Self& u16(uint16_t value) { return putBig(value, 2); }
    Self& u24(uint32_t value) { return putBig(value, 3); }
    Self& u32(uint32_t value) { return putBig(value, 4); }
    Self& u64(uint64_t value) { return putBig(value, 8); }
    Self& i16(int16_t value) { return putBig(uint16_t(value), 2); }
    Self& i32(int32_t value) { return putBig(uint32_t(value), 4); }
    Self& i64(int64_t value) { return putBig(uint64_t(value), 8); }
    Self& u16le(uint16_t value) { return putLittle(value, 2); }
    Self& u32le(uint32_t value) { return putLittle(value, 4); }
    Self& u64le(uint64_t value) { return putLittle(value, 8); }
    Self& bytes(const Bytes& data) { return bytes(data.data(), data.size()); }
    Self& bytes(const uint8_t* data, size_t size) {
        append(data, size);
        return self();
    }
    Self& zeros(size_t count) { return fill(0, count); }
    Self& fill(uint8_t value, size_t count) {
        buffer_.insert(buffer_.end(), count, value);
        return self();
    }
    // The characters only.
    Self& str(std::string_view text) {
        append(text.data(), text.size());
        return self();
    }
    // The characters and a terminating zero.
    Self& cstr(std::string_view text) { return str(text).u8(0); }
    // Exactly four characters; throws std::invalid_argument otherwise.
    Self& fourcc(std::string_view code);
    // A 16.16 fixed-point value with the given integer part.
    Self& fixed16(uint32_t integerPart) { return u32(integerPart << 16); }

    // Overwrite already written bytes (offsets count from this object's
    // first written byte); throw std::out_of_range past the end.
    Self& patchU8(size_t offset, uint8_t value);
    Self& patchU32(size_t offset, uint32_t value);
    Self& patchU64(size_t offset, uint64_t value);

    size_t size() const { return buffer_.size(); }
    const Bytes& data() const { return buffer_; }

protected:
    Bytes buffer_;

private:
    Self& self() { return static_cast<Self&>(*this); }
    // resize and memcpy rather than a range insert, which GCC 12 warns about
    // wrongly (-Wstringop-overflow) once inlined.
    void append(const void* data, size_t size) {
        if (size == 0) return;
        size_t old = buffer_.size();
        buffer_.resize(old + size);
        std::memcpy(buffer_.data() + old, data, size);
    }
    Self& put(uint8_t value) {
        buffer_.push_back(value);
        return self();
    }
    Self& putBig(uint64_t value, int width) {
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) buffer_.push_back(uint8_t(value >> shift));
        return self();
    }
    Self& putLittle(uint64_t value, int width) {
        for (int i = 0; i < width; ++i) buffer_.push_back(uint8_t(value >> (8 * i)));
        return self();
    }
    void patchBig(size_t offset, uint64_t value, int width);
};

class ByteWriter : public ByteSink<ByteWriter> {
public:
    ByteWriter() = default;
    Bytes take() { return std::move(buffer_); }
};

// Most significant bit first, as camera headers pack their extension areas.
class BitWriter {
public:
    // The low `count` bits of value (count up to 64).
    BitWriter& bits(uint64_t value, unsigned count);
    BitWriter& flag(bool value) { return bits(value ? 1 : 0, 1); }
    // Exp-Golomb codes as H.264 parameter sets use them.
    BitWriter& ue(uint32_t value);
    BitWriter& se(int32_t value);
    // Zero bits up to the next byte boundary.
    BitWriter& alignZero();
    // H.264/HEVC rbsp_trailing_bits: a one bit, then zeros to the boundary.
    BitWriter& trailingBits();
    bool aligned() const { return bitCount_ % 8 == 0; }
    // The bytes so far; a partly filled last byte is padded with zeros.
    Bytes bytes() const { return buffer_; }

private:
    Bytes buffer_;
    uint64_t bitCount_ = 0;
};

template <class Self>
Self& ByteSink<Self>::fourcc(std::string_view code) {
    if (code.size() != 4) throw std::invalid_argument("four-character code needs 4 characters: " + std::string(code));
    return str(code);
}

template <class Self>
void ByteSink<Self>::patchBig(size_t offset, uint64_t value, int width) {
    if (offset > buffer_.size() || buffer_.size() - offset < size_t(width))
        throw std::out_of_range("patch past the end");
    for (int i = 0; i < width; ++i) buffer_[offset + i] = uint8_t(value >> (8 * (width - 1 - i)));
}

template <class Self>
Self& ByteSink<Self>::patchU8(size_t offset, uint8_t value) {
    patchBig(offset, value, 1);
    return self();
}

template <class Self>
Self& ByteSink<Self>::patchU32(size_t offset, uint32_t value) {
    patchBig(offset, value, 4);
    return self();
}

template <class Self>
Self& ByteSink<Self>::patchU64(size_t offset, uint64_t value) {
    patchBig(offset, value, 8);
    return self();
}

}  // namespace writer

#endif

// Box headers: the size word (with runs of zero bytes passed over), the type,
// the 64-bit largesize and the uuid extended type.
#ifndef STAMPWALK_FORMAT_BOXHEADER_H
#define STAMPWALK_FORMAT_BOXHEADER_H

#include <cstdint>

#include "format/BoxView.h"
#include "format/FourCC.h"

namespace ZENT::SDK::Format {

// Box types are big-endian numbers ("mdat" is 0x6D646174).
struct BoxHeader {
    uint64_t start = 0;  // position of the size word
    uint64_t end = 0;    // start + size, modulo 2^64
    uint64_t size = 0;
    uint64_t headerSize = 0;  // 8, 16 with a largesize, 16 more for uuid
    uint32_t type = 0;
};

constexpr uint32_t kPlainHeaderSize = 8;  // size word and type
constexpr uint32_t kLargeSizeLength = 8;
constexpr uint32_t kUserTypeLength = 16;
constexpr uint32_t kBoxUuid = FourCC("uuid");

// How many of a header's bytes carry its size, judged from its first eight:
// 8, or 16 when the size word is 1 and a largesize follows.
uint32_t SizeFieldsLength(const uint8_t* bytes);

// The header of a box at position start, from its first SizeFieldsLength
// bytes. headerSize counts the 16 bytes of a uuid's extended type as well,
// which follow and are not read.
BoxHeader DecodeBoxHeader(const uint8_t* bytes, uint64_t start);

// Whether the box holds at least its own header and ends before 2^64.
inline bool HasValidSize(const BoxHeader& header) {
    return header.size >= header.headerSize && header.size <= UINT64_MAX - header.start;
}

// The same as a format error, "box size < 8", for a box tree.
void RequireValidSize(const BoxHeader& header);

// After a run of zero bytes the first non-zero 32-bit word can start up to
// three bytes before the next box, when that box's size has leading zero
// bytes of its own. Given the bytes from the first non-zero word on, returns
// how far past it the box starts: the first place whose type field reads as
// a four-character code, else 0.
unsigned BoxStartAfterZeros(const uint8_t* bytes, uint64_t available);

// The index of the first non-zero byte of [bytes, bytes + length), or length
// when all are zero. Zero size words are passed over one byte at a time,
// which is the same as starting the next word 3 bytes before this byte.
uint64_t FirstNonZeroByte(const uint8_t* bytes, uint64_t length);

// Reads the next child header of a container held in memory. Returns false
// when fewer than 8 bytes are left before the container's end (zero padding
// at the end included); the view is then at its end. A size smaller than its
// header, or a child that runs past the container, is a format error.
// On success the view stands after the header; the payload is
// view.Sub(header.start + header.headerSize, header.size - header.headerSize).
bool ReadChildHeader(BoxView& view, BoxHeader& header);

// The payload of a child just read by ReadChildHeader, as a view of its own.
inline BoxView PayloadOf(const BoxView& parent, const BoxHeader& header) {
    return parent.Sub(header.start + header.headerSize, header.size - header.headerSize);
}

}  // namespace ZENT::SDK::Format

#endif

// Box headers: the size word (with runs of zero bytes passed over), the type,
// the 64-bit largesize and the uuid extended type.
#ifndef STAMPWALK_ISOM_BOXHEADER_H
#define STAMPWALK_ISOM_BOXHEADER_H

#include <cstdint>

#include "isom/BoxView.h"
#include "isom/ParserInput.h"

namespace ZENT::SDK::Pelagor2 {

struct BoxHeader {
    uint64_t start = 0;       // position of the size word
    uint64_t end = 0;         // start + size
    uint64_t size = 0;
    uint64_t headerSize = 0;  // 8, 16 with a largesize, 16 more for uuid
    uint32_t type = 0;
};

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

// Where the next box starts after a zero size word at zeroWordAt of the
// file, zero words being passed over one byte at a time; streamSize() when
// only zeros follow. The input's position is left anywhere.
uint64_t BoxStartAfterZeroWord(ParserInput& input, uint64_t zeroWordAt);

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

// Reads a top-level box header from the file. A size below its header length
// or an end past 2^64 is "box size < 8".
BoxHeader ReadTopLevelHeader(ParserInput& input);

}  // namespace ZENT::SDK::Pelagor2

#endif

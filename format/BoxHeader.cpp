#include "format/BoxHeader.h"

#include <cstring>

#include "format/BadFormat.h"
#include "format/ByteOrder.h"

namespace ZENT::SDK::Format {

namespace {

constexpr uint32_t kLargeSizeMarker = 1;

bool IsTypeCharacter(uint8_t c) { return (c >= 0x20 && c <= 0x7E) || c == 0xA9; }

}  // namespace

uint32_t SizeFieldsLength(const uint8_t* bytes) {
    return LoadU32(bytes) == kLargeSizeMarker ? kPlainHeaderSize + kLargeSizeLength : kPlainHeaderSize;
}

BoxHeader DecodeBoxHeader(const uint8_t* bytes, uint64_t start) {
    BoxHeader header;
    header.start = start;
    header.size = LoadU32(bytes);
    header.type = LoadU32(bytes + 4);
    header.headerSize = kPlainHeaderSize;
    if (header.size == kLargeSizeMarker) {
        header.size = LoadU64(bytes + kPlainHeaderSize);
        header.headerSize += kLargeSizeLength;
    }
    if (header.type == kBoxUuid) header.headerSize += kUserTypeLength;
    header.end = start + header.size;
    return header;
}

void RequireValidSize(const BoxHeader& header) {
    if (!HasValidSize(header)) throw Pelagor2::MP4Parser::bad_format("box size < 8");
}

unsigned BoxStartAfterZeros(const uint8_t* bytes, uint64_t available) {
    for (unsigned shift = 0; shift < 4 && shift + 8 <= available; ++shift) {
        const uint8_t* type = bytes + shift + 4;
        if (IsTypeCharacter(type[0]) && IsTypeCharacter(type[1]) && IsTypeCharacter(type[2]) &&
            IsTypeCharacter(type[3]))
            return shift;
    }
    return 0;
}

uint64_t FirstNonZeroByte(const uint8_t* bytes, uint64_t length) {
    uint64_t i = 0;
    // Four words at a time: cameras pre-allocate files, so runs of zeros can
    // be gigabytes long.
    for (; length - i >= 32; i += 32) {
        uint64_t words[4];
        std::memcpy(words, bytes + i, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0) break;
    }
    for (; i < length; ++i)
        if (bytes[i] != 0) return i;
    return length;
}

bool ReadChildHeader(BoxView& view, BoxHeader& header) {
    // Zero size words are passed over one byte at a time; the box starts
    // where the non-zero size word is found.
    if (view.remaining() >= 8 && LoadU32(view.current()) == 0) {
        const uint64_t firstNonZero = view.offset() + 4 + FirstNonZeroByte(view.current() + 4, view.remaining() - 4);
        if (firstNonZero + 5 > view.size()) {
            view.SeekTo(view.size());
            return false;
        }
        view.SeekTo(firstNonZero - 3);
        view.Skip(BoxStartAfterZeros(view.current(), view.remaining()));
    } else if (view.remaining() < 8) {
        view.SeekTo(view.size());
        return false;
    }
    view.Need(kPlainHeaderSize);
    view.Need(SizeFieldsLength(view.current()));
    header = DecodeBoxHeader(view.current(), view.offset());
    view.Skip(header.headerSize);
    RequireValidSize(header);
    if (header.end > view.size()) throw Pelagor2::MP4Parser::bad_format("box runs past its parent");
    return true;
}

}  // namespace ZENT::SDK::Format

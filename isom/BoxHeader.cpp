#include "isom/BoxHeader.h"

#include <cstring>
#include <ios>

#include "isom/BadFormat.h"
#include "common/CodecTables.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::FourCC;

namespace {
constexpr uint32_t kUuid = FourCC("uuid");

void CheckSize(BoxHeader& header) {
    if (header.size < header.headerSize) throw MP4Parser::bad_format("box size < 8");
    if (header.size > UINT64_MAX - header.start) throw MP4Parser::bad_format("box size < 8");
    header.end = header.start + header.size;
}
bool IsTypeCharacter(uint8_t c) { return (c >= 0x20 && c <= 0x7E) || c == 0xA9; }

}  // namespace

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
    if (view.remaining() >= 8 && Format::LoadU32(view.current()) == 0) {
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
    header = BoxHeader();
    header.start = view.offset();
    header.size = view.U32();
    header.type = view.U32();
    header.headerSize = 8;
    if (header.size == 1) {
        header.size = view.U64();
        header.headerSize = 16;
    }
    if (header.type == kUuid) {
        view.Skip(16);
        header.headerSize += 16;
    }
    CheckSize(header);
    if (header.end > view.size()) throw MP4Parser::bad_format("box runs past its parent");
    return true;
}

uint64_t BoxStartAfterZeroWord(ParserInput& input, uint64_t zeroWordAt) {
    // The first non-zero word starts 3 bytes before the first non-zero byte
    // after the zero word.
    const uint64_t firstNonZero = input.FindNonZeroByte(zeroWordAt + 4);
    if (firstNonZero >= input.streamSize()) return input.streamSize();
    const uint64_t candidate = firstNonZero - 3;
    uint8_t window[11];
    const uint64_t available = input.streamSize() - candidate < sizeof window ? input.streamSize() - candidate
                                                                                : sizeof window;
    input.SeekTo(candidate);
    input.ReadExact(window, available);
    return candidate + BoxStartAfterZeros(window, available);
}

BoxHeader ReadTopLevelHeader(ParserInput& input) {
    uint8_t word[4];
    input.ReadExact(word, 4);
    if (Format::LoadU32(word) == 0) {
        const uint64_t start = BoxStartAfterZeroWord(input, input.position() - 4);
        // Stepping one byte at a time through zeros that run to the end of
        // the file meets the end of the file.
        if (start >= input.streamSize()) throw std::ios_base::failure("end of file");
        input.SeekTo(start);
        input.ReadExact(word, 4);
    }
    BoxHeader header;
    header.start = input.position() - 4;
    header.size = Format::LoadU32(word);
    header.type = input.U32();
    header.headerSize = 8;
    if (header.size == 1) {
        header.size = input.U64();
        header.headerSize = 16;
    }
    if (header.type == kUuid) {
        input.Skip(16);
        header.headerSize += 16;
    }
    CheckSize(header);
    return header;
}

}  // namespace ZENT::SDK::Pelagor2

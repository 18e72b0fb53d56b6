#include "isom/TopLevelBox.h"

#include <ios>

#include "format/ByteOrder.h"

namespace ZENT::SDK::Pelagor2 {

uint64_t BoxStartAfterZeroWord(ParserInput& input, uint64_t zeroWordAt) {
    // The first non-zero word starts 3 bytes before the first non-zero byte
    // after the zero word.
    const uint64_t firstNonZero = input.FindNonZeroByte(zeroWordAt + 4);
    if (firstNonZero >= input.streamSize()) return input.streamSize();
    const uint64_t candidate = firstNonZero - 3;
    uint8_t window[11];
    const uint64_t available =
        input.streamSize() - candidate < sizeof window ? input.streamSize() - candidate : sizeof window;
    input.SeekTo(candidate);
    input.ReadExact(window, available);
    return candidate + Format::BoxStartAfterZeros(window, available);
}

Format::BoxHeader ReadTopLevelHeader(ParserInput& input) {
    uint8_t bytes[Format::kPlainHeaderSize + Format::kLargeSizeLength];
    input.ReadExact(bytes, 4);
    if (Format::LoadU32(bytes) == 0) {
        const uint64_t start = BoxStartAfterZeroWord(input, input.position() - 4);
        // Stepping one byte at a time through zeros that run to the end of
        // the file meets the end of the file.
        if (start >= input.streamSize()) throw std::ios_base::failure("end of file");
        input.SeekTo(start);
        input.ReadExact(bytes, 4);
    }
    const uint64_t start = input.position() - 4;
    input.ReadExact(bytes + 4, 4);
    const uint32_t sizeFields = Format::SizeFieldsLength(bytes);
    if (sizeFields > Format::kPlainHeaderSize)
        input.ReadExact(bytes + Format::kPlainHeaderSize, Format::kLargeSizeLength);
    const Format::BoxHeader header = Format::DecodeBoxHeader(bytes, start);
    // The uuid's extended type is passed over, not read.
    if (header.headerSize > sizeFields) input.Skip(header.headerSize - sizeFields);
    Format::RequireValidSize(header);
    return header;
}

}  // namespace ZENT::SDK::Pelagor2

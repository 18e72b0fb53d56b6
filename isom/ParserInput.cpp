#include "isom/ParserInput.h"

#include <ios>
#include <limits>

#include "format/BoxHeader.h"
#include "format/ByteOrder.h"

namespace ZENT::SDK::Pelagor2 {

namespace {
[[noreturn]] void Fail(const char* what) { throw std::ios_base::failure(what); }

uint64_t SeekResult(std::streampos position) {
    std::streamoff offset = position;
    if (offset < 0) Fail("failed seeking");
    return uint64_t(offset);
}
}  // namespace

ParserInput::ParserInput(FileStreamBuffer& buffer) : buffer_(buffer) {
    position_ = SeekResult(buffer_.pubseekoff(0, std::ios_base::cur, std::ios_base::in));
    streamSize_ = SeekResult(buffer_.pubseekoff(0, std::ios_base::end, std::ios_base::in));
    SeekResult(buffer_.pubseekpos(std::streampos(std::streamoff(position_)), std::ios_base::in));
}

void ParserInput::ReadExact(void* destination, uint64_t n) {
    char* out = static_cast<char*>(destination);
    uint64_t done = 0;
    while (done < n) {
        uint64_t chunk = n - done;
        if (chunk > uint64_t(std::numeric_limits<std::streamsize>::max()))
            chunk = uint64_t(std::numeric_limits<std::streamsize>::max());
        std::streamsize got = buffer_.sgetn(out + done, std::streamsize(chunk));
        if (got <= 0) {
            if (done == 0) Fail("end of file");
            position_ += done;
            Fail("bad read");
        }
        done += uint64_t(got);
        if (uint64_t(got) < chunk) {
            position_ += done;
            Fail("bad read");
        }
    }
    position_ += n;
}

std::vector<uint8_t> ParserInput::ReadBytes(uint64_t n) {
    if (n > remaining()) Fail(remaining() == 0 ? "end of file" : "bad read");
    std::vector<uint8_t> bytes(n);
    ReadExact(bytes.data(), n);
    return bytes;
}

void ParserInput::Skip(uint64_t n) {
    if (n > uint64_t(std::numeric_limits<std::streamoff>::max()) - position_) Fail("failed seeking");
    SeekTo(position_ + n);
}

void ParserInput::SeekTo(uint64_t position) {
    if (position > uint64_t(std::numeric_limits<std::streamoff>::max())) Fail("failed seeking");
    position_ = SeekResult(buffer_.pubseekpos(std::streampos(std::streamoff(position)), std::ios_base::in));
}

uint64_t ParserInput::FindNonZeroByte(uint64_t from) {
    // Short runs (padding between boxes) cost a short read; long ones
    // (files pre-allocated on a card) are read in blocks of up to a megabyte.
    constexpr uint64_t kFirstBlock = 256;
    constexpr uint64_t kLargestBlock = 1 << 20;
    std::vector<uint8_t> block;
    uint64_t blockSize = kFirstBlock;
    uint64_t position = from;
    while (position < streamSize_) {
        // Holes of a sparse file are zeros without reading them.
        const uint64_t data = buffer_->nextDataAt(position);
        if (data >= streamSize_) break;
        position = data;
        uint64_t want = streamSize_ - position < blockSize ? streamSize_ - position : blockSize;
        block.resize(want);
        std::streamsize got = buffer_->readAt(reinterpret_cast<char*>(block.data()), std::streamsize(want), position);
        if (got <= 0) break;
        uint64_t found = Format::FirstNonZeroByte(block.data(), uint64_t(got));
        if (found < uint64_t(got)) return position + found;
        position += uint64_t(got);
        if (blockSize < kLargestBlock) blockSize *= 2;
    }
    return streamSize_;
}

uint8_t ParserInput::U8() {
    uint8_t b;
    ReadExact(&b, 1);
    return b;
}

uint16_t ParserInput::U16() {
    uint8_t b[2];
    ReadExact(b, 2);
    return Format::LoadU16(b);
}

uint32_t ParserInput::U32() {
    uint8_t b[4];
    ReadExact(b, 4);
    return Format::LoadU32(b);
}

uint64_t ParserInput::U64() {
    uint8_t b[8];
    ReadExact(b, 8);
    return Format::LoadU64(b);
}

}  // namespace ZENT::SDK::Pelagor2

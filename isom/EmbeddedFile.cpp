#include "EmbeddedFile.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "ByteOrder.h"
#include "CodecTables.h"
#include "BoxHeader.h"
#include "ParserInput.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::FourCC;

namespace {

constexpr uint64_t kTrailerSize = 16;

[[noreturn]] void BadFormat() { throw std::ios_base::failure("bad format"); }

// Reads up to n bytes; the count read.
uint64_t ReadSome(ParserInput& input, uint8_t* out, uint64_t n) {
    uint64_t available = input.remaining() < n ? input.remaining() : n;
    if (available == 0) return 0;
    input.ReadExact(out, available);
    return available;
}

// The first scan: top-level boxes of a plain file, until both the movie and
// the media data were seen or a box ends the scan.
bool LooksLikePlainFile(ParserInput& input) {
    bool movieSeen = false;
    bool mediaDataSeen = false;
    uint64_t position = 0;
    const uint64_t fileSize = input.streamSize();
    while (!(movieSeen && mediaDataSeen)) {
        input.SeekTo(position);
        uint8_t header[8];
        if (ReadSome(input, header, 8) != 8) break;
        // Zero size words are passed over one byte at a time, as the box
        // walk does, so that padding between boxes does not hide them.
        if (LoadU32(header) == 0) {
            // The first non-zero word starts 3 bytes before the first
            // non-zero byte after the zero word.
            const uint64_t firstNonZero = input.FindNonZeroByte(position + 4);
            if (firstNonZero >= fileSize) break;
            position = firstNonZero - 3;
            uint8_t window[11];
            input.SeekTo(position);
            uint64_t available = ReadSome(input, window, sizeof(window));
            position += BoxStartAfterZeros(window, available);
            continue;
        }
        uint64_t size = LoadU32(header);
        uint32_t type = LoadU32(header + 4);
        uint64_t headerSize = 8;
        if (type == FourCC("mdat")) {
            if (size == 0) break;
            mediaDataSeen = true;
        } else if (type == FourCC("moov")) {
            movieSeen = true;
        } else if (type != FourCC("ftyp") && type != FourCC("mfra") && type != FourCC("free") &&
                   type != FourCC("wide") && type != FourCC("skip") && type != FourCC("uuid") &&
                   type != FourCC("udta")) {
            break;
        }
        if (movieSeen && mediaDataSeen) break;
        if (size == 1) {
            uint8_t large[8];
            if (ReadSome(input, large, 8) != 8) break;
            size = LoadU64(large);
            headerSize = 16;
        }
        // A size smaller than its header would step back or stand still.
        if (size < headerSize) break;
        if (size > fileSize - position) break;
        position += size;
    }
    return movieSeen && mediaDataSeen;
}

struct Trailer {
    uint64_t baseOffset = 0;
    uint64_t totalSize = 0;
};

Trailer ReadTrailer(ParserInput& input) {
    if (input.streamSize() < kTrailerSize) throw std::ios_base::failure("bad read");
    input.SeekTo(input.streamSize() - kTrailerSize);
    uint8_t bytes[kTrailerSize];
    if (ReadSome(input, bytes, kTrailerSize) != kTrailerSize) throw std::ios_base::failure("bad read");
    Trailer trailer;
    if (std::memcmp(bytes + 4, "ZENT", 4) == 0) {
        trailer.baseOffset = LoadU32Little(bytes + 8);
        trailer.totalSize = LoadU32Little(bytes + 12);
    } else if (std::memcmp(bytes, "ZENT", 4) == 0) {
        trailer.baseOffset = LoadU32Little(bytes + 4);
        trailer.totalSize = LoadU64Little(bytes + 8);
    } else {
        BadFormat();
    }
    return trailer;
}

// Adds up the sizes of the boxes from the base offset to the end of the
// file, the trailer included, so that a last box that encloses the trailer
// counts whole. Empty when the walk meets a box it cannot pass: a size below
// its header, a header cut by the end of the file, or a sum past 2^64. A box
// that runs past the end of the file ends the walk.
std::optional<uint64_t> WalkBoxesToTheEnd(ParserInput& input, uint64_t baseOffset) {
    const uint64_t fileSize = input.streamSize();
    uint64_t position = baseOffset;
    uint64_t sum = 0;
    while (position < fileSize) {
        if (fileSize - position < 8) return std::nullopt;
        input.SeekTo(position);
        uint8_t header[16];
        input.ReadExact(header, 8);
        uint64_t size = LoadU32(header);
        if (size == 1) {
            if (fileSize - position < 16) return std::nullopt;
            input.ReadExact(header + 8, 8);
            size = LoadU64(header + 8);
            if (size < 16) return std::nullopt;
        } else if (size < 8) {
            return std::nullopt;
        }
        if (size > UINT64_MAX - sum) return std::nullopt;
        sum += size;
        if (size > fileSize - position) break;
        position += size;
    }
    return sum;
}

// Adds up the sizes of the boxes from the base offset up to the trailer: the
// reading of a trailer that no box encloses.
uint64_t WalkEmbeddedBoxes(ParserInput& input, uint64_t baseOffset) {
    const uint64_t limit = input.streamSize() - kTrailerSize;
    if (baseOffset > limit) BadFormat();
    uint64_t position = baseOffset;
    uint64_t sum = 0;
    while (position < limit) {
        if (limit - position < 8) throw std::ios_base::failure("bad read");
        input.SeekTo(position);
        uint8_t header[8];
        input.ReadExact(header, 8);
        uint64_t size = LoadU32(header);
        if (size == 1) {
            if (limit - position < 16) throw std::ios_base::failure("bad read");
            uint8_t large[8];
            input.ReadExact(large, 8);
            size = LoadU64(large);
            if (size < 16) BadFormat();
        } else if (size < 8) {
            BadFormat();
        }
        // A box that passes the trailer cannot add up to the total.
        if (size > limit - position) BadFormat();
        position += size;
        sum += size;
    }
    return sum;
}

}  // namespace

uint64_t LocateIsoData(const FilePath& path) {
    FileDescriptor device;
    device.open(path, 0);
    FileStreamBuffer buffer(device);
    ParserInput input(buffer);
    if (LooksLikePlainFile(input)) return 0;

    Trailer trailer = ReadTrailer(input);
    if (trailer.baseOffset <= input.streamSize()) {
        std::optional<uint64_t> wholeSum = WalkBoxesToTheEnd(input, trailer.baseOffset);
        if (wholeSum && *wholeSum == trailer.totalSize) return trailer.baseOffset;
    }
    uint64_t sum = WalkEmbeddedBoxes(input, trailer.baseOffset);
    // Writers differ on whether the total counts the trailer itself.
    if (trailer.totalSize != sum && trailer.totalSize != sum + kTrailerSize) BadFormat();
    return trailer.baseOffset;
}

FileDescriptor OpenWithEmbeddedCheck(const FilePath& path) {
    uint64_t baseOffset = LocateIsoData(path);
    FileDescriptor device;
    device.open(path, baseOffset);
    return device;
}

}  // namespace ZENT::SDK::Pelagor2

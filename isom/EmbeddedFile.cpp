#include "isom/EmbeddedFile.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "format/ByteOrder.h"
#include "format/FourCC.h"
#include "isom/ParserInput.h"
#include "isom/TopLevelBox.h"

namespace ZENT::SDK::Pelagor2 {

using Format::FourCC;

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

// Whether the movie box at [start, end) has a movie extends box among its
// children, read header by header; a child that cannot be read ends the
// look.
bool MovieAnnouncesFragments(ParserInput& input, uint64_t start, uint64_t end) {
    try {
        uint64_t position = start;
        while (position < end && end - position >= Format::kPlainHeaderSize) {
            input.SeekTo(position);
            const Format::BoxHeader child = ReadTopLevelHeader(input);
            if (child.end > end) return false;
            if (child.type == FourCC("mvex")) return true;
            position = child.end;
        }
    } catch (const std::exception&) {
        // A child header that cannot be read: no movie extends box is found.
    }
    return false;
}

// The first scan: top-level boxes of a plain file, until both the movie and
// the media data were seen or a box ends the scan. A movie that announces
// fragments ends the scan at once: what follows it is read as fragments,
// however far the file got.
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
        if (Format::LoadU32(header) == 0) {
            position = BoxStartAfterZeroWord(input, position);
            if (position >= fileSize) break;
            continue;
        }
        uint64_t size = Format::LoadU32(header);
        uint32_t type = Format::LoadU32(header + 4);
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
            size = Format::LoadU64(large);
            headerSize = 16;
        }
        // A size smaller than its header would step back or stand still.
        if (size < headerSize) break;
        if (size > fileSize - position) break;
        if (type == FourCC("moov") && MovieAnnouncesFragments(input, position + headerSize, position + size))
            return true;
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
        trailer.baseOffset = Format::LoadU32Little(bytes + 8);
        trailer.totalSize = Format::LoadU32Little(bytes + 12);
    } else if (std::memcmp(bytes, "ZENT", 4) == 0) {
        trailer.baseOffset = Format::LoadU32Little(bytes + 4);
        trailer.totalSize = Format::LoadU64Little(bytes + 8);
    } else {
        BadFormat();
    }
    return trailer;
}

// The sum of the sizes of the boxes from `from` up to `end`, or the text of
// the failure that ends the walk: a header cut by `end` ("bad read"), a size
// below its header, a start past `end` or a sum past 2^64 ("bad format"). A
// box that runs past `end` ends the walk, counted whole, when lastMayPass
// (a last box that encloses the trailer); otherwise it is a format error.
struct BoxSum {
    std::optional<uint64_t> sum;
    const char* failure = nullptr;
};

BoxSum SumBoxes(ParserInput& input, uint64_t from, uint64_t end, bool lastMayPass) {
    const auto failed = [](const char* text) { return BoxSum{std::nullopt, text}; };
    if (from > end) return failed("bad format");
    uint64_t position = from;
    uint64_t sum = 0;
    while (position < end) {
        if (end - position < 8) return failed("bad read");
        input.SeekTo(position);
        uint8_t header[16];
        input.ReadExact(header, 8);
        uint64_t size = Format::LoadU32(header);
        if (size == 1) {
            if (end - position < 16) return failed("bad read");
            input.ReadExact(header + 8, 8);
            size = Format::LoadU64(header + 8);
            if (size < 16) return failed("bad format");
        } else if (size < 8) {
            return failed("bad format");
        }
        if (size > UINT64_MAX - sum) return failed("bad format");
        sum += size;
        if (size > end - position) {
            if (lastMayPass) break;
            return failed("bad format");
        }
        position += size;
    }
    return BoxSum{sum};
}

}  // namespace

uint64_t LocateIsoData(const FilePath& path) {
    FileDescriptor device;
    device.open(path, 0);
    FileStreamBuffer buffer(device);
    ParserInput input(buffer);
    if (LooksLikePlainFile(input)) return 0;

    Trailer trailer = ReadTrailer(input);
    // The boxes to the end of the file, the trailer included.
    const BoxSum whole = SumBoxes(input, trailer.baseOffset, input.streamSize(), true);
    if (whole.sum && *whole.sum == trailer.totalSize) return trailer.baseOffset;
    // The boxes up to a trailer that no box encloses; writers differ on
    // whether the total counts the trailer itself.
    const BoxSum bare = SumBoxes(input, trailer.baseOffset, input.streamSize() - kTrailerSize, false);
    if (!bare.sum) throw std::ios_base::failure(bare.failure);
    if (trailer.totalSize != *bare.sum && trailer.totalSize != *bare.sum + kTrailerSize) BadFormat();
    return trailer.baseOffset;
}

FileDescriptor OpenWithEmbeddedCheck(const FilePath& path) {
    uint64_t baseOffset = LocateIsoData(path);
    FileDescriptor device;
    device.open(path, baseOffset);
    return device;
}

}  // namespace ZENT::SDK::Pelagor2

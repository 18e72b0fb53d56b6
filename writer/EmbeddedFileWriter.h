// ISO data placed after other bytes, found by a 16-byte little-endian
// trailer marked "ZENT".
#ifndef STAMPWALK_WRITER_EMBEDDEDFILEWRITER_H
#define STAMPWALK_WRITER_EMBEDDEDFILEWRITER_H

#include <cstdint>
#include <optional>

#include "writer/ByteWriter.h"

namespace writer {

enum class TrailerForm {
    Short,  // four lead bytes, "ZENT", base offset u32, total size u32
    Long,   // "ZENT", base offset u32, total size u64
};

struct TrailerFields {
    TrailerForm form = TrailerForm::Short;
    // The lead bytes of the short form. 00 00 00 10 makes the trailer read
    // as a 16-byte box.
    Bytes lead = Text("xxxx");
    // The stored numbers; by default the prefix size and the ISO data size.
    std::optional<uint32_t> baseOffset;
    std::optional<uint64_t> totalSize;
    // Count the trailer's own 16 bytes in the default total size.
    bool totalCountsTrailer = false;
    // End the ISO data with a "free" box of this many payload bytes, the
    // trailer being its last 16, so that the box encloses the trailer; the
    // default total size then counts that whole box.
    std::optional<uint32_t> enclosingFreeBoxPayload;
};

// The 16 trailer bytes.
Bytes Trailer(TrailerForm form, uint32_t baseOffset, uint64_t totalSize, const Bytes& lead = Text("xxxx"));

// prefix, then the ISO bytes, then the trailer.
Bytes Embed(const Bytes& prefix, const Bytes& iso, const TrailerFields& fields = {});

}  // namespace writer

#endif

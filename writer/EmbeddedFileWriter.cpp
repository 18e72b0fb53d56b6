#include "writer/EmbeddedFileWriter.h"

#include <limits>
#include <stdexcept>

namespace writer {

Bytes Trailer(TrailerForm form, uint32_t baseOffset, uint64_t totalSize, const Bytes& lead) {
    ByteWriter out;
    if (form == TrailerForm::Short) {
        if (lead.size() != 4) throw std::invalid_argument("the short trailer leads with 4 bytes");
        if (totalSize > std::numeric_limits<uint32_t>::max())
            throw std::invalid_argument("the short trailer holds a 32-bit total size");
        out.bytes(lead).str("ZENT").u32le(baseOffset).u32le(uint32_t(totalSize));
    } else {
        out.str("ZENT").u32le(baseOffset).u64le(totalSize);
    }
    return out.take();
}

Bytes Embed(const Bytes& prefix, const Bytes& iso, const TrailerFields& fields) {
    if (prefix.size() > std::numeric_limits<uint32_t>::max()) throw std::invalid_argument("prefix too large");
    uint32_t base = fields.baseOffset ? *fields.baseOffset : uint32_t(prefix.size());
    if (fields.enclosingFreeBoxPayload) {
        const uint32_t payload = *fields.enclosingFreeBoxPayload;
        if (payload < 16) throw std::invalid_argument("the enclosing box holds the 16 trailer bytes");
        const Bytes header = ByteWriter().u32(8 + payload).str("free").take();
        const Bytes padding(payload - 16, 0);
        const uint64_t total = fields.totalSize ? *fields.totalSize : iso.size() + 8 + payload;
        return Concat({prefix, iso, header, padding, Trailer(fields.form, base, total, fields.lead)});
    }
    uint64_t total = fields.totalSize ? *fields.totalSize : iso.size() + (fields.totalCountsTrailer ? 16 : 0);
    return Concat({prefix, iso, Trailer(fields.form, base, total, fields.lead)});
}

}  // namespace writer

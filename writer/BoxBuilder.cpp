#include "writer/BoxBuilder.h"

#include <limits>
#include <stdexcept>

namespace writer {

Box::Box(std::string_view type) { setType(type); }

Box Box::Full(std::string_view type, uint8_t version, uint32_t flags) {
    Box box(type);
    box.u8(version).u24(flags);
    return box;
}

Box Box::Uuid(const Bytes& extendedType) {
    if (extendedType.size() != 16) throw std::invalid_argument("a uuid extended type has 16 bytes");
    Box box("uuid");
    box.extendedType_ = extendedType;
    return box;
}

Box& Box::add(const Box& child) { return bytes(child.bytes()); }

Box& Box::add(const std::vector<Box>& children) {
    for (const Box& child : children) add(child);
    return *this;
}

Box& Box::largeSize(bool on) {
    largeSize_ = on;
    return *this;
}

Box& Box::forceSize(uint64_t size) {
    forcedSize_ = size;
    return *this;
}

Box& Box::setType(std::string_view type) {
    if (type.size() != 4) throw std::invalid_argument("box type needs 4 characters: " + std::string(type));
    type_ = std::string(type);
    return *this;
}

uint64_t Box::headerSize() const { return (largeSize_ ? 16 : 8) + extendedType_.size(); }

Bytes Box::headerFor(uint64_t contentSize) const {
    uint64_t size = forcedSize_ ? *forcedSize_ : headerSize() + contentSize;
    ByteWriter header;
    if (largeSize_) {
        header.u32(1).fourcc(type_).u64(size);
    } else {
        if (size > std::numeric_limits<uint32_t>::max())
            throw std::length_error("box " + type_ + " needs the largesize form");
        header.u32(uint32_t(size)).fourcc(type_);
    }
    header.bytes(extendedType_);
    return header.take();
}

Bytes Box::bytes() const {
    Bytes out = header();
    out.insert(out.end(), buffer_.begin(), buffer_.end());
    return out;
}

}  // namespace writer

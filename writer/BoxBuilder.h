// One ISO box: header, payload bytes and child boxes, serialised with its
// computed size unless a test forces another.
#ifndef STAMPWALK_WRITER_BOXBUILDER_H
#define STAMPWALK_WRITER_BOXBUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "writer/ByteWriter.h"

namespace writer {

// Payload writes (u8, u32, str, ...) and children (add) go into the content
// in the order they are made, so fixed fields followed by child boxes are
// written as they are read. A child is serialised when it is added: finish
// it first.
class Box : public ByteSink<Box> {
public:
    explicit Box(std::string_view type);
    // A full box: the content starts with version u8 and flags u24.
    static Box Full(std::string_view type, uint8_t version, uint32_t flags = 0);
    // A "uuid" box with its 16-byte extended type (counted in the size).
    static Box Uuid(const Bytes& extendedType);

    using ByteSink<Box>::bytes;  // appending raw bytes; bytes() serialises

    Box& add(const Box& child);
    Box& add(const std::vector<Box>& children);

    // Size word 1 followed by a 64-bit largesize.
    Box& largeSize(bool on = true);
    // Writes this value as the size (the largesize when largeSize() is on,
    // else the 32-bit word, which must then hold it); the content stays as
    // it is. For malformed boxes and for "mdat" with size 0.
    Box& forceSize(uint64_t size);
    Box& setType(std::string_view type);

    const std::string& type() const { return type_; }
    // 8, 16 with largesize, 16 more for "uuid".
    uint64_t headerSize() const;
    // The computed size: header plus content.
    uint64_t size() const { return headerSize() + buffer_.size(); }
    // The header as written, for writers that stream the content.
    Bytes header() const { return headerFor(buffer_.size()); }
    // Header bytes for a box of this kind whose content is contentSize bytes.
    Bytes headerFor(uint64_t contentSize) const;
    Bytes bytes() const;
    const Bytes& content() const { return buffer_; }

private:
    std::string type_;
    Bytes extendedType_;
    bool largeSize_ = false;
    std::optional<uint64_t> forcedSize_;
};

}  // namespace writer

#endif

// The box parser's view of the file: a stream buffer over the file device and
// a 64-bit position, with exact reads that fail with "end of file" or "bad read".
#ifndef STAMPWALK_ISOM_PARSERINPUT_H
#define STAMPWALK_ISOM_PARSERINPUT_H

#include <cstdint>
#include <vector>

#include "isom/FileDescriptor.h"

namespace ZENT::SDK::Pelagor2 {

class ParserInput {
public:
    // The stream buffer must be open; the position is taken from it once here.
    explicit ParserInput(FileStreamBuffer& buffer);

    uint64_t position() const { return position_; }
    // Bytes of the stream from position 0 to its end, measured once at construction.
    uint64_t streamSize() const { return streamSize_; }
    uint64_t remaining() const { return position_ < streamSize_ ? streamSize_ - position_ : 0; }

    void ReadExact(void* destination, uint64_t n);
    // Reads n bytes into a new vector; refuses (as "end of file") a length the
    // file cannot hold before allocating for it.
    std::vector<uint8_t> ReadBytes(uint64_t n);
    void Skip(uint64_t n);
    void SeekTo(uint64_t position);
    // The position of the first non-zero byte at or after from, or
    // streamSize() when there is none. Reads with large positioned reads,
    // whatever the stream's own buffer holds; the position is left as it is.
    uint64_t FindNonZeroByte(uint64_t from);

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();

    FileStreamBuffer& buffer() { return buffer_; }

private:
    FileStreamBuffer& buffer_;
    uint64_t position_ = 0;
    uint64_t streamSize_ = 0;
};

}  // namespace ZENT::SDK::Pelagor2

#endif

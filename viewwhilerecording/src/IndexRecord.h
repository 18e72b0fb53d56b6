// The bit-coded records of a chunk chain: the index record that opens a
// chunk and the "NORV" trailer record after its samples.
#ifndef STAMPWALK_VIEWWHILERECORDING_INDEXRECORD_H
#define STAMPWALK_VIEWWHILERECORDING_INDEXRECORD_H

#include <cstdint>
#include <vector>

#include "viewwhilerecording/DataReader"

namespace ZENT::SDK::ViewWhileRecording {

// The reader reuses one object per role, so fields a record does not carry
// keep the values of the record read before.
struct IndexRecord {
    uint8_t flags = 0;
    uint32_t tag = 0;
    uint32_t count = 0;
    std::vector<uint32_t> sizes;
    uint32_t gap = 0;    // not carried by "NORV" records
    uint16_t width = 0;  // only with kFlagVideo, not in "NORV" records
    uint16_t height = 0;
    // Derived: where the configuration area ends (the first sample or
    // record), and where the sizes end (the trailer or the next chunk).
    uint64_t dataStart = 0;
    uint64_t dataEnd = 0;
};

// Chunk flags, one bit per record.
constexpr uint8_t kFlagVideo = 0x01;
constexpr uint8_t kFlagAudio = 0x02;
constexpr uint8_t kFlagPassOver = 0x40;
constexpr uint8_t kFlagEncryption = 0x80;

// Reads a record at the reader's position, fetching one byte at a time, and
// leaves the reader after its last byte. Throws IOException when the file
// ends inside it, ViewWhileRecException for a code with more than 31 leading
// zero bits or a count that the rest of the file cannot hold.
void ReadIndexRecord(DataReader& reader, IndexRecord& record);

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

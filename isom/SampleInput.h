// Reading sample bytes from the file device: a read buffer of its own, reads of
// large samples straight into their destination, and a believed position that
// saves every seek a sample stored right after the previous one does not need.
#ifndef STAMPWALK_ISOM_SAMPLEINPUT_H
#define STAMPWALK_ISOM_SAMPLEINPUT_H

#include <cstdint>
#include <vector>

#include "FileDescriptor.h"

namespace ZENT::SDK::Pelagor2 {

class SampleInput {
public:
    SampleInput(const FileDescriptor& device, uint64_t fileSize);

    uint64_t fileSize() const { return fileSize_; }

    // Moves to a file position (relative to the ISO data). Within the bytes
    // already buffered nothing is read or sought.
    void Position(uint64_t position);
    // Exactly n bytes, or std::ios_base::failure: "end of file" when the file
    // ends before the first byte, else "bad read".
    void ReadExact(uint8_t* destination, uint64_t n);
    void Skip(uint64_t n);
    uint64_t position() const;

    // Device reads and seeks made so far (for checks of needless seeks).
    uint64_t deviceSeeks() const { return deviceSeeks_; }
    uint64_t deviceReads() const { return deviceReads_; }

private:
    uint64_t FillFromDevice(uint8_t* destination, uint64_t n);
    void SeekDevice(uint64_t position);

    FileDescriptor device_;
    uint64_t fileSize_;
    std::vector<uint8_t> buffer_;
    uint64_t bufferStart_ = 0;   // file position of buffer_[0]
    size_t bufferLength_ = 0;    // valid bytes in buffer_
    size_t bufferOffset_ = 0;    // next byte to hand out
    // Where the device stands; unknown after a failed read or seek, so that
    // the next read seeks there absolutely.
    uint64_t devicePosition_ = 0;
    bool devicePositionKnown_ = false;
    uint64_t deviceSeeks_ = 0;
    uint64_t deviceReads_ = 0;
};

}  // namespace ZENT::SDK::Pelagor2

#endif

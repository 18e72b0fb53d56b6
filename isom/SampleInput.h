// Reading sample bytes from the file device: positioned reads, so no seek is
// ever needed, one small read-ahead window per stream of samples, so that
// tracks whose chunks interleave do not throw away each other's buffered
// bytes, and large reads straight into their destination.
#ifndef STAMPWALK_ISOM_SAMPLEINPUT_H
#define STAMPWALK_ISOM_SAMPLEINPUT_H

#include <cstdint>
#include <vector>

#include "isom/FileDescriptor.h"

namespace ZENT::SDK::Pelagor2 {

class SampleInput {
public:
    SampleInput(const FileDescriptor& device, uint64_t fileSize);

    uint64_t fileSize() const { return fileSize_; }

    // Moves to a file position (relative to the ISO data) for reading a
    // sample of the given stream (a track index).
    void Position(uint64_t position, unsigned stream = 0);
    uint64_t position() const { return position_; }
    // Exactly n bytes, or std::ios_base::failure: "end of file" when the file
    // ends before the first byte, else "bad read".
    void ReadExact(uint8_t* destination, uint64_t n);

    // Device reads made so far (for checks of needless reads).
    uint64_t deviceReads() const { return deviceReads_; }

    // Sample bytes one pass through the recording may read: samples stored
    // apart take the file once; tables that point at the same bytes again
    // and again must not make a small file cost minutes.
    static uint64_t PassBudget(uint64_t fileSize);
    // A new pass (a seek) gets the whole budget again.
    void StartPass() { passLeft_ = PassBudget(fileSize_); }
    // Takes n bytes from the pass's budget; false, taking nothing, when
    // fewer are left.
    bool TakeFromPass(uint64_t n);

private:
    struct Window {
        std::vector<uint8_t> bytes;
        uint64_t start = 0;
        size_t length = 0;
    };
    uint64_t ReadFromDevice(uint8_t* destination, uint64_t n, uint64_t at);

    FileDescriptor device_;
    uint64_t fileSize_;
    std::vector<Window> windows_;
    Window* window_;
    uint64_t position_ = 0;
    uint64_t deviceReads_ = 0;
    uint64_t passLeft_;
};

}  // namespace ZENT::SDK::Pelagor2

#endif

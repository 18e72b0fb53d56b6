#include "SampleInput.h"

#include <cstring>
#include <ios>

namespace ZENT::SDK::Pelagor2 {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

SampleInput::SampleInput(const FileDescriptor& device, uint64_t fileSize)
    : device_(device), fileSize_(fileSize), buffer_(kBufferSize) {}

uint64_t SampleInput::position() const { return bufferStart_ + bufferOffset_; }

void SampleInput::SeekDevice(uint64_t position) {
    ++deviceSeeks_;
    devicePositionKnown_ = false;
    if (position > uint64_t(INT64_MAX)) throw std::ios_base::failure("failed seeking");
    std::streampos result = device_.seek(boost::iostreams::stream_offset(position), std::ios_base::beg);
    devicePosition_ = uint64_t(std::streamoff(result));
    devicePositionKnown_ = true;
}

void SampleInput::Position(uint64_t position) {
    if (position >= bufferStart_ && position <= bufferStart_ + bufferLength_) {
        bufferOffset_ = size_t(position - bufferStart_);
        return;
    }
    bufferStart_ = position;
    bufferLength_ = 0;
    bufferOffset_ = 0;
}

// Reads up to n bytes at the buffer's logical end from the device.
uint64_t SampleInput::FillFromDevice(uint8_t* destination, uint64_t n) {
    const uint64_t at = bufferStart_ + bufferLength_;
    if (!devicePositionKnown_ || devicePosition_ != at) SeekDevice(at);
    uint64_t done = 0;
    while (done < n) {
        uint64_t chunk = n - done;
        if (chunk > (uint64_t(1) << 30)) chunk = uint64_t(1) << 30;
        ++deviceReads_;
        std::streamsize got;
        try {
            got = device_.read(reinterpret_cast<char*>(destination + done), std::streamsize(chunk));
        } catch (...) {
            devicePositionKnown_ = false;
            throw;
        }
        if (got <= 0) break;
        done += uint64_t(got);
        devicePosition_ += uint64_t(got);
        // A regular file reads short only at its end.
        if (uint64_t(got) < chunk) break;
    }
    return done;
}

void SampleInput::ReadExact(uint8_t* destination, uint64_t n) {
    uint64_t done = 0;
    while (done < n) {
        size_t buffered = bufferLength_ - bufferOffset_;
        if (buffered > 0) {
            size_t take = n - done < buffered ? size_t(n - done) : buffered;
            std::memcpy(destination + done, buffer_.data() + bufferOffset_, take);
            bufferOffset_ += take;
            done += take;
            continue;
        }
        // The buffer is used up: move its window to the read position.
        bufferStart_ += bufferLength_;
        bufferLength_ = 0;
        bufferOffset_ = 0;
        uint64_t want = n - done;
        if (want >= kBufferSize / 2) {
            // A large read goes straight to its destination.
            uint64_t got = FillFromDevice(destination + done, want);
            bufferStart_ += got;
            done += got;
            if (got < want) break;
        } else {
            uint64_t got = FillFromDevice(buffer_.data(), kBufferSize);
            bufferLength_ = size_t(got);
            if (got == 0) break;
        }
    }
    if (done < n) throw std::ios_base::failure(done == 0 ? "end of file" : "bad read");
}

void SampleInput::Skip(uint64_t n) { Position(position() + n); }

}  // namespace ZENT::SDK::Pelagor2

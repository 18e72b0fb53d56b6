#include "isom/SampleInput.h"

#include <cstring>
#include <ios>

namespace ZENT::SDK::Pelagor2 {

namespace {
constexpr size_t kWindowSize = size_t(64) * 1024;
// Reads this large go straight to their destination, past the window.
constexpr uint64_t kDirectRead = uint64_t(16) * 1024;
constexpr unsigned kMaxStreams = 32;
// A pass may read the file this many times over, and this much besides.
constexpr uint64_t kPassReadsPerFileByte = 4;
constexpr uint64_t kPassReadsBeyondFileSize = uint64_t(64) << 20;
}  // namespace

SampleInput::SampleInput(const FileDescriptor& device, uint64_t fileSize)
    : device_(device), fileSize_(fileSize), windows_(1), window_(&windows_[0]), passLeft_(PassBudget(fileSize)) {}

uint64_t SampleInput::PassBudget(uint64_t fileSize) {
    if (fileSize > (UINT64_MAX - kPassReadsBeyondFileSize) / kPassReadsPerFileByte) return UINT64_MAX;
    return fileSize * kPassReadsPerFileByte + kPassReadsBeyondFileSize;
}

bool SampleInput::TakeFromPass(uint64_t n) {
    if (n > passLeft_) return false;
    passLeft_ -= n;
    return true;
}

void SampleInput::Position(uint64_t position, unsigned stream) {
    stream %= kMaxStreams;
    if (stream >= windows_.size()) windows_.resize(stream + 1);
    window_ = &windows_[stream];
    position_ = position;
}

uint64_t SampleInput::ReadFromDevice(uint8_t* destination, uint64_t n, uint64_t at) {
    uint64_t done = 0;
    while (done < n) {
        uint64_t chunk = n - done;
        if (chunk > (uint64_t(1) << 30)) chunk = uint64_t(1) << 30;
        ++deviceReads_;
        std::streamsize got =
            device_.readAt(reinterpret_cast<char*>(destination + done), std::streamsize(chunk), at + done);
        if (got <= 0) break;
        done += uint64_t(got);
        // A regular file reads short only at its end.
        if (uint64_t(got) < chunk) break;
    }
    return done;
}

void SampleInput::ReadExact(uint8_t* destination, uint64_t n) {
    uint64_t done = 0;
    while (done < n) {
        Window& w = *window_;
        if (position_ >= w.start && position_ < w.start + w.length) {
            uint64_t available = w.start + w.length - position_;
            uint64_t take = n - done < available ? n - done : available;
            std::memcpy(destination + done, w.bytes.data() + (position_ - w.start), take);
            position_ += take;
            done += take;
            continue;
        }
        uint64_t want = n - done;
        if (want >= kDirectRead) {
            uint64_t got = ReadFromDevice(destination + done, want, position_);
            position_ += got;
            done += got;
            if (got < want) break;
            continue;
        }
        if (w.bytes.empty()) w.bytes.resize(kWindowSize);
        w.start = position_;
        w.length = size_t(ReadFromDevice(w.bytes.data(), kWindowSize, position_));
        if (w.length == 0) break;
    }
    if (done < n) throw std::ios_base::failure(done == 0 ? "end of file" : "bad read");
}

}  // namespace ZENT::SDK::Pelagor2

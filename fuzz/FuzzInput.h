// Fuzz inputs handed to the readers as files: the readers open paths, so the
// bytes go into an anonymous in-memory file whose /proc path names it.
#ifndef STAMPWALK_FUZZ_FUZZINPUT_H
#define STAMPWALK_FUZZ_FUZZINPUT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "isom/AVReader.h"

// Reads every byte a packet claims, so that the sanitizers see each one.
inline void TouchPacket(const TMediaPacket& packet) {
    volatile uint8_t sum = 0;
    for (uint64_t i = 0; i < uint64_t(packet.headerSize) + packet.payloadSize; ++i) sum ^= packet.frameData[i];
    for (uint32_t i = 0; i < packet.userDataSize; ++i) sum ^= packet.userData[i];
}

class FuzzFile {
public:
    FuzzFile(const uint8_t* data, size_t size) {
        fd_ = memfd_create("stampwalk-fuzz", 0);
        if (fd_ < 0) return;
        size_t done = 0;
        while (done < size) {
            ssize_t n = write(fd_, data + done, size - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~FuzzFile() {
        if (fd_ >= 0) close(fd_);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    const char* path() const { return path_.c_str(); }

private:
    int fd_ = -1;
    std::string path_;
};

#endif

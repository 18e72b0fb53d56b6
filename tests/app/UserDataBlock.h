// Builders of user-data blocks and of buffers that end at an unreadable page.
#ifndef STAMPWALK_TESTS_APP_USERDATABLOCK_H
#define STAMPWALK_TESTS_APP_USERDATABLOCK_H

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

// A block: the big-endian length word, then the raw element bytes given.
class UserDataBlock {
public:
    UserDataBlock& Bytes(std::initializer_list<uint8_t> bytes) {
        elements_.insert(elements_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    UserDataBlock& Fill(size_t count, uint8_t value) {
        elements_.insert(elements_.end(), count, value);
        return *this;
    }
    // A time element (tag 0x61 record time, 0x60 stream time) with length byte 12.
    UserDataBlock& Time(uint8_t tag, uint32_t seconds, uint32_t milliseconds, uint16_t word1, uint16_t word2) {
        Bytes({tag, 12});
        Big32(seconds);
        Big32(milliseconds);
        Bytes({uint8_t(word1 >> 8), uint8_t(word1)});
        Bytes({uint8_t(word2 >> 8), uint8_t(word2)});
        return *this;
    }
    std::vector<uint8_t> Build() const {
        const uint32_t length = uint32_t(elements_.size());
        std::vector<uint8_t> block(4 + elements_.size());
        block[0] = uint8_t(length >> 24);
        block[1] = uint8_t(length >> 16);
        block[2] = uint8_t(length >> 8);
        block[3] = uint8_t(length);
        std::copy(elements_.begin(), elements_.end(), block.begin() + 4);
        return block;
    }

private:
    void Big32(uint32_t value) {
        Bytes({uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
    }
    std::vector<uint8_t> elements_;
};

// Bytes placed so that the byte after the last one lies on a page that
// cannot be read: a read past the end faults instead of passing unseen.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::vector<uint8_t>& bytes) {
        pageSize_ = size_t(sysconf(_SC_PAGESIZE));
        if (bytes.size() > pageSize_) throw std::length_error("guarded buffer larger than a page");
        void* pages = mmap(nullptr, 2 * pageSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) throw std::runtime_error("mmap failed");
        pages_ = static_cast<uint8_t*>(pages);
        mprotect(pages_ + pageSize_, pageSize_, PROT_NONE);
        data_ = pages_ + pageSize_ - bytes.size();
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBuffer() { munmap(pages_, 2 * pageSize_); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    uint8_t* data() const { return data_; }

private:
    size_t pageSize_;
    uint8_t* pages_;
    uint8_t* data_;
};

#endif

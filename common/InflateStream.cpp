#include "common/InflateStream.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace ZENT::SDK::Utility {

namespace {

std::atomic<size_t> liveBuffers{0};
std::atomic<size_t> allocatedBuffers{0};

uint8_t* AllocateBuffer(uint32_t size) {
    uint8_t* buffer = new uint8_t[size];
    liveBuffers.fetch_add(1, std::memory_order_relaxed);
    allocatedBuffers.fetch_add(1, std::memory_order_relaxed);
    return buffer;
}

void FreeBuffer(uint8_t* buffer) {
    if (buffer != nullptr) {
        delete[] buffer;
        liveBuffers.fetch_sub(1, std::memory_order_relaxed);
    }
}

uint32_t NextOutputCapacity(uint32_t capacity) {
    uint64_t step = kInflateGrowthStep;
    if (capacity >= kLinearGrowthLimit) {
        step = (uint64_t(capacity) / 2 + kInflateGrowthStep - 1) / kInflateGrowthStep * kInflateGrowthStep;
    }
    const uint64_t next = uint64_t(capacity) + step;
    return next < kMaxInflatedLength ? uint32_t(next) : kMaxInflatedLength;
}

// zlib takes non-const input pointers; it never writes through them.
Bytef* InputPointer(const uint8_t* data) { return const_cast<Bytef*>(data); }

// Ends every call on the stream, normally or by an exception: the stream
// forgets the caller's buffers and is reset for the next, independent,
// deflate stream (inflateReset also drops the window, so no sample sees
// another's bytes as history).
class StreamRewind {
public:
    explicit StreamRewind(z_stream& stream) : stream_(stream) {}
    ~StreamRewind() {
        stream_.next_in = Z_NULL;
        stream_.avail_in = 0;
        stream_.next_out = Z_NULL;
        stream_.avail_out = 0;
        inflateReset(&stream_);
    }
    StreamRewind(const StreamRewind&) = delete;
    StreamRewind& operator=(const StreamRewind&) = delete;

private:
    z_stream& stream_;
};

}  // namespace

InflateStream::InflateStream() {
    std::memset(&stream, 0, sizeof stream);
    outputStart = AllocateBuffer(kInflateGrowthStep);
    outputCapacity = kInflateGrowthStep;
    // A failed initialisation (out of memory) leaves a stream on which every
    // zlib call fails harmlessly: each sample then inflates to nothing.
    inflateInit2(&stream, -MAX_WBITS);
}

InflateStream::~InflateStream() {
    FreeBuffer(outputStart);
    inflateEnd(&stream);
}

uint32_t InflateStream::InflateDictionary(const uint8_t* data, uint32_t length, uint8_t* buffer) {
    StreamRewind rewind(stream);
    stream.next_in = InputPointer(data);
    stream.avail_in = length;
    stream.next_out = buffer;
    stream.avail_out = kDictionaryCapacity;
    inflate(&stream, Z_SYNC_FLUSH);
    return uint32_t(stream.next_out - buffer);
}

uint32_t InflateStream::InflateSample(const uint8_t* data, uint32_t length, const uint8_t* dictionary,
                                      uint32_t dictionaryLength, uint64_t outputLimit) {
    static const Bytef kNoDictionary = 0;
    StreamRewind rewind(stream);
    const uint64_t limit = outputLimit < kMaxInflatedLength ? outputLimit : kMaxInflatedLength;
    if (limit == 0) {
        return 0;
    }
    inflateSetDictionary(&stream, dictionary != nullptr ? dictionary : &kNoDictionary, dictionaryLength);
    stream.next_in = InputPointer(data);
    stream.avail_in = length;
    stream.next_out = outputStart;
    stream.avail_out = uint32_t(outputCapacity < limit ? outputCapacity : limit);
    for (;;) {
        const int result = inflate(&stream, Z_NO_FLUSH);
        // A full buffer may hide more output, even after the end of the
        // stream; the call after growing tells.
        const bool full = (result == Z_OK || result == Z_STREAM_END) && stream.avail_out == 0;
        const uint32_t produced = uint32_t(stream.next_out - outputStart);
        if (!full || produced >= limit) {
            break;
        }
        GrowOutput(produced);
        stream.avail_out = uint32_t((outputCapacity < limit ? outputCapacity : limit) - produced);
    }
    return uint32_t(stream.next_out - outputStart);
}

void InflateStream::GrowOutput(uint32_t produced) {
    const uint32_t capacity = NextOutputCapacity(outputCapacity);
    uint8_t* grown = AllocateBuffer(capacity);
    std::memcpy(grown, outputStart, produced);
    FreeBuffer(outputStart);
    outputStart = grown;
    outputCapacity = capacity;
    stream.next_out = grown + produced;
    stream.avail_out = capacity - produced;
}

void DictionaryInflateStream::LoadDictionary(const uint8_t* data, uint32_t length) {
    dictionaryLength = InflateDictionary(data, length, dictionary);
}

void DictionaryInflateStream::Inflate(const uint8_t* data, uint32_t length, const uint8_t** out, uint32_t* outLength,
                                      uint64_t outputLimit) {
    const uint32_t produced = InflateSample(data, length, dictionary, dictionaryLength, outputLimit);
    if (out != nullptr) {
        *out = Output();
    }
    if (outLength != nullptr) {
        *outLength = produced;
    }
}

RecordingInflateStream::~RecordingInflateStream() { FreeBuffer(inputStart); }

InflatedDictionary RecordingInflateStream::LoadDictionary(const uint8_t* data, uint32_t length) {
    InflatedDictionary result;
    result.bytes.reset(new uint8_t[kDictionaryCapacity]);
    result.length = InflateDictionary(data, length, result.bytes.get());
    return result;
}

uint8_t* RecordingInflateStream::PrepareInput(uint32_t length) {
    pendingLength = 0;
    if (length > kMaxCompressedLength) {
        throw std::length_error("compressed sample too large");
    }
    if (inputCapacity < length) {
        uint8_t* grown = AllocateBuffer(length);
        FreeBuffer(inputStart);
        inputStart = grown;
        inputCapacity = length;
    }
    pendingLength = length;
    // At the end, so that the sample's bytes always end where the buffer ends.
    return inputStart + (inputCapacity - length);
}

uint32_t RecordingInflateStream::InflateInput(const uint8_t* dictionary, uint32_t dictionaryLength) {
    const uint32_t length = pendingLength;
    pendingLength = 0;
    const uint8_t* data = inputStart != nullptr ? inputStart + (inputCapacity - length) : nullptr;
    return InflateSample(data, length, dictionary, dictionaryLength);
}

size_t LiveInflateBufferCount() { return liveBuffers.load(std::memory_order_relaxed); }

size_t InflateBufferAllocationCount() { return allocatedBuffers.load(std::memory_order_relaxed); }

}  // namespace ZENT::SDK::Utility

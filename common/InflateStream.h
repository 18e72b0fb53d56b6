// Raw-deflate inflation of compressed metadata samples. Every sample is an
// independent raw deflate stream compressed against one preset dictionary,
// which is itself stored raw-deflated in the track's sample description.
//
// InflateStream is the inflate loop with its growing output buffer;
// DictionaryInflateStream adds a dictionary held inside the object (the ISO
// reader's variant), RecordingInflateStream adds an input buffer the caller
// fills from the file and takes the dictionary from the caller (the
// view-while-recording reader's variant). The readers' nested ZStream types
// derive from the last two without adding anything:
//     struct ISOMParserImpl::ZStream : Utility::DictionaryInflateStream {};
//     struct ViewWhileRecImpl::ZStream : Utility::RecordingInflateStream {};
#ifndef STAMPWALK_COMMON_INFLATESTREAM_H
#define STAMPWALK_COMMON_INFLATESTREAM_H

#include <zlib.h>
#include <boost/shared_array.hpp>

#include <cstddef>
#include <cstdint>

namespace ZENT::SDK::Utility {

// The deflate window, and so the largest useful preset dictionary.
constexpr uint32_t kDictionaryCapacity = 32768;
// The first output buffer, and its growth step while it is small.
constexpr uint32_t kInflateGrowthStep = 32768;
// From this capacity on the output grows by half its size (rounded up to the
// step), so that a huge sample costs linear rather than quadratic copying.
constexpr uint32_t kLinearGrowthLimit = 1u << 20;
// A sample's inflated bytes are cut here: a deflate stream can expand about a
// thousandfold, and no metadata sample is anywhere near this large.
constexpr uint32_t kMaxInflatedLength = 64u << 20;
// Deflate data expand at most this many times (a 258-byte match coded in
// two bits): samples stored apart cannot inflate to more than this many
// bytes per byte of the file that holds them.
constexpr uint64_t kMaxDeflateExpansion = 1032;
// The largest compressed sample the own input buffer takes.
constexpr uint32_t kMaxCompressedLength = 64u << 20;

class InflateStream {
public:
    // A raw inflate stream (no zlib or gzip wrapper, 32 KiB window) with an
    // output buffer of kInflateGrowthStep bytes.
    InflateStream();
    ~InflateStream();

    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // Inflates a dictionary with a single sync-flush call into buffer, which
    // holds kDictionaryCapacity bytes; a longer result is cut there. Returns
    // the bytes produced (0 for data that fail to inflate).
    uint32_t InflateDictionary(const uint8_t* data, uint32_t length, uint8_t* buffer);

    // Inflates one sample against the dictionary (length 0: none) into the
    // output buffer, growing it while inflate fills it. Corrupt or truncated
    // data end the sample with what was produced; nothing is reported; so
    // does reaching outputLimit (or kMaxInflatedLength) bytes. Returns the
    // bytes produced; they are at Output() until the next sample.
    uint32_t InflateSample(const uint8_t* data, uint32_t length, const uint8_t* dictionary, uint32_t dictionaryLength,
                           uint64_t outputLimit = kMaxInflatedLength);

    const uint8_t* Output() const { return outputStart; }
    // Grows only; kept from sample to sample.
    uint32_t OutputCapacity() const { return outputCapacity; }

protected:
    // The stream comes first. Its buffer pointers are set on every call and
    // rewound when the call ends; the buffers themselves are known only
    // through the fields below, so an exception in the middle of a sample
    // cannot leave an interior pointer to be freed.
    z_stream stream;

private:
    void GrowOutput(uint32_t produced);

    uint8_t* outputStart = nullptr;
    uint32_t outputCapacity = 0;
};

// The ISO reader's variant: the dictionary is loaded once into the object and
// used for every sample (an empty one when none was loaded).
class DictionaryInflateStream : public InflateStream {
public:
    // Inflates the stored dictionary (cut at kDictionaryCapacity bytes).
    void LoadDictionary(const uint8_t* data, uint32_t length);

    // out gets the inflated bytes, valid until the next Inflate; at most
    // outputLimit of them.
    void Inflate(const uint8_t* data, uint32_t length, const uint8_t** out, uint32_t* outLength,
                 uint64_t outputLimit = kMaxInflatedLength);

    uint32_t DictionaryLength() const { return dictionaryLength; }
    const uint8_t* Dictionary() const { return dictionary; }

private:
    uint32_t dictionaryLength = 0;
    uint8_t dictionary[kDictionaryCapacity];
};

// A dictionary inflated into a buffer of its own, for the caller to keep.
struct InflatedDictionary {
    boost::shared_array<uint8_t> bytes;  // kDictionaryCapacity bytes
    uint32_t length = 0;                 // bytes in use
};

// The view-while-recording reader's variant: the compressed sample is read
// from the file straight into the stream's own input buffer, and the
// dictionary stays with the caller.
class RecordingInflateStream : public InflateStream {
public:
    RecordingInflateStream() = default;
    ~RecordingInflateStream();

    // Inflates the stored dictionary into a new buffer the caller keeps.
    InflatedDictionary LoadDictionary(const uint8_t* data, uint32_t length);

    // Room for a compressed sample of length bytes: the input buffer grows to
    // exactly length when it is smaller, otherwise the bytes go at its end.
    // The caller writes the length bytes at the pointer returned, then calls
    // InflateInput. Throws std::length_error above kMaxCompressedLength.
    uint8_t* PrepareInput(uint32_t length);

    // Inflates the bytes placed through PrepareInput (none when it was not
    // called since the previous sample). Returns the bytes produced, at
    // Output().
    uint32_t InflateInput(const uint8_t* dictionary, uint32_t dictionaryLength);

    const uint8_t* InputBuffer() const { return inputStart; }
    uint32_t InputCapacity() const { return inputCapacity; }

private:
    uint8_t* inputStart = nullptr;
    uint32_t inputCapacity = 0;
    uint32_t pendingLength = 0;
};

// Inflate buffers (output and own input buffers) allocated and not yet freed,
// and allocated in all, over all threads; for checks of buffer reuse and leaks.
size_t LiveInflateBufferCount();
size_t InflateBufferAllocationCount();

}  // namespace ZENT::SDK::Utility

#endif

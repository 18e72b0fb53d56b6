#include "common/InflateStream.h"

#include <gtest/gtest.h>

#include <zlib.h>
#include <boost/shared_ptr.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <stdexcept>
#include <vector>

using ZENT::SDK::Utility::DictionaryInflateStream;
using ZENT::SDK::Utility::InflateBufferAllocationCount;
using ZENT::SDK::Utility::InflatedDictionary;
using ZENT::SDK::Utility::kDictionaryCapacity;
using ZENT::SDK::Utility::kMaxCompressedLength;
using ZENT::SDK::Utility::kMaxInflatedLength;
using ZENT::SDK::Utility::LiveInflateBufferCount;
using ZENT::SDK::Utility::RecordingInflateStream;

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like bytes that compress a little but not to nothing.
Bytes SampleBytes(size_t length, uint32_t seed) {
    static const char kWords[][8] = {"motion", "window", "level", "alert", "time", "zone", "{", "}", ":", ","};
    std::mt19937 generator(seed);
    Bytes bytes;
    while (bytes.size() < length) {
        const char* word = kWords[generator() % 10];
        bytes.insert(bytes.end(), word, word + std::strlen(word));
        bytes.push_back(uint8_t('0' + generator() % 10));
    }
    bytes.resize(length);
    return bytes;
}

// Raw deflate (no wrapper) of data, optionally against a preset dictionary.
// finish false leaves the stream open after a sync flush (byte-aligned, no
// final block).
Bytes RawDeflate(const Bytes& data, const Bytes& dictionary = {}, bool finish = true) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    if (!dictionary.empty()) {
        EXPECT_EQ(deflateSetDictionary(&stream, dictionary.data(), uInt(dictionary.size())), Z_OK);
    }
    Bytes out(deflateBound(&stream, uLong(data.size())) + 64);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    if (finish) {
        EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    } else {
        EXPECT_EQ(deflate(&stream, Z_SYNC_FLUSH), Z_OK);
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes Inflated(DictionaryInflateStream& stream, const Bytes& compressed) {
    const uint8_t* out = nullptr;
    uint32_t length = 12345;
    stream.Inflate(compressed.data(), uint32_t(compressed.size()), &out, &length);
    EXPECT_EQ(out, stream.Output());
    return Bytes(out, out + length);
}

Bytes Inflated(RecordingInflateStream& stream, const Bytes& compressed, const Bytes& dictionary) {
    uint8_t* in = stream.PrepareInput(uint32_t(compressed.size()));
    std::copy(compressed.begin(), compressed.end(), in);
    const uint32_t length = stream.InflateInput(dictionary.data(), uint32_t(dictionary.size()));
    return Bytes(stream.Output(), stream.Output() + length);
}

}  // namespace

// Output sizes and the capacity they leave: 32768 to start, 32768 more each
// time inflate fills the buffer (also when the data end exactly at its end).
struct GrowthCase {
    size_t inflatedLength;
    uint32_t capacity;
    size_t allocations;  // buffers allocated while inflating the sample
};

void PrintTo(const GrowthCase& param, std::ostream* os) { *os << param.inflatedLength << " bytes"; }

class InflateGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(InflateGrowth, ResultAndCapacity) {
    const GrowthCase& param = GetParam();
    const Bytes original = SampleBytes(param.inflatedLength, 20);
    const Bytes compressed = RawDeflate(original);
    DictionaryInflateStream stream;
    EXPECT_EQ(stream.OutputCapacity(), 32768u);
    const size_t allocationsBefore = InflateBufferAllocationCount();
    EXPECT_EQ(Inflated(stream, compressed), original);
    EXPECT_EQ(stream.OutputCapacity(), param.capacity);
    EXPECT_EQ(InflateBufferAllocationCount() - allocationsBefore, param.allocations);
}

INSTANTIATE_TEST_SUITE_P(Sizes, InflateGrowth,
                         ::testing::Values(GrowthCase{0, 32768, 0}, GrowthCase{1000, 32768, 0},
                                           GrowthCase{32768, 65536, 1}, GrowthCase{40000, 65536, 1},
                                           GrowthCase{100000, 131072, 3},
                                           // 31 steps of 32768 to 1 MiB, then one of half that: 1.5 MiB.
                                           GrowthCase{1310720, 1572864, 32}));

TEST(InflateStream, LaterSmallSampleReusesTheGrownBuffer) {
    DictionaryInflateStream stream;
    const Bytes large = SampleBytes(100000, 21);
    EXPECT_EQ(Inflated(stream, RawDeflate(large)), large);
    const uint8_t* buffer = stream.Output();
    const size_t allocationsBefore = InflateBufferAllocationCount();
    const Bytes small = SampleBytes(1000, 22);
    EXPECT_EQ(Inflated(stream, RawDeflate(small)), small);
    EXPECT_EQ(stream.Output(), buffer);
    EXPECT_EQ(stream.OutputCapacity(), 131072u);
    EXPECT_EQ(InflateBufferAllocationCount(), allocationsBefore);
}

TEST(InflateStream, EmptyInputInflatesToNothing) {
    DictionaryInflateStream stream;
    EXPECT_TRUE(Inflated(stream, Bytes()).empty());
    const uint8_t* out = nullptr;
    uint32_t length = 7;
    stream.Inflate(nullptr, 0, &out, &length);
    EXPECT_EQ(length, 0u);
}

TEST(InflateStream, OutputIsCutAtTheLimit) {
    // Zeros deflate about a thousandfold: a small sample must not make the
    // buffer grow without end.
    const Bytes zeros(size_t(kMaxInflatedLength) + 100000, 0);
    const Bytes compressed = RawDeflate(zeros);
    ASSERT_LT(compressed.size(), 200000u);
    DictionaryInflateStream stream;
    const Bytes result = Inflated(stream, compressed);
    EXPECT_EQ(result.size(), size_t(kMaxInflatedLength));
    EXPECT_EQ(stream.OutputCapacity(), kMaxInflatedLength);
    EXPECT_TRUE(std::all_of(result.begin(), result.end(), [](uint8_t b) { return b == 0; }));
    // The stream was reset: the next sample is whole.
    const Bytes small = SampleBytes(500, 23);
    EXPECT_EQ(Inflated(stream, RawDeflate(small)), small);
}

TEST(InflateDictionary, SamplesUseTheLoadedDictionary) {
    const Bytes dictionary = SampleBytes(5000, 30);
    DictionaryInflateStream stream;
    EXPECT_EQ(stream.DictionaryLength(), 0u);
    const Bytes compressedDictionary = RawDeflate(dictionary);
    stream.LoadDictionary(compressedDictionary.data(), uint32_t(compressedDictionary.size()));
    ASSERT_EQ(stream.DictionaryLength(), 5000u);
    EXPECT_TRUE(std::equal(dictionary.begin(), dictionary.end(), stream.Dictionary()));

    // Samples made of pieces of the dictionary refer back into it.
    Bytes sample(dictionary.begin() + 1000, dictionary.begin() + 3000);
    sample.insert(sample.end(), dictionary.begin() + 100, dictionary.begin() + 900);
    const Bytes compressed = RawDeflate(sample, dictionary);
    ASSERT_NE(RawDeflate(sample), compressed);
    EXPECT_EQ(Inflated(stream, compressed), sample);
    EXPECT_EQ(Inflated(stream, compressed), sample);

    // Without the dictionary the back references cannot be resolved.
    DictionaryInflateStream plain;
    EXPECT_NE(Inflated(plain, compressed), sample);
}

TEST(InflateDictionary, LongDictionaryIsCutAtTheWindow) {
    const Bytes dictionary = SampleBytes(40000, 31);
    const Bytes compressed = RawDeflate(dictionary);
    DictionaryInflateStream stream;
    stream.LoadDictionary(compressed.data(), uint32_t(compressed.size()));
    ASSERT_EQ(stream.DictionaryLength(), kDictionaryCapacity);
    EXPECT_TRUE(std::equal(dictionary.begin(), dictionary.begin() + kDictionaryCapacity, stream.Dictionary()));

    // The stream was reset after the dictionary: samples start cleanly.
    const Bytes window(dictionary.begin(), dictionary.begin() + kDictionaryCapacity);
    const Bytes sample(dictionary.begin() + 2000, dictionary.begin() + 9000);
    EXPECT_EQ(Inflated(stream, RawDeflate(sample, window)), sample);
}

TEST(InflateDictionary, FailedDictionaryKeepsWhatWasProduced) {
    DictionaryInflateStream stream;
    // BFINAL 1 with the reserved block type 3: nothing can be inflated.
    const uint8_t invalid[] = {0x07, 0x00};
    stream.LoadDictionary(invalid, sizeof invalid);
    EXPECT_EQ(stream.DictionaryLength(), 0u);
    const Bytes sample = SampleBytes(3000, 32);
    EXPECT_EQ(Inflated(stream, RawDeflate(sample)), sample);

    // A dictionary cut short yields its beginning.
    const Bytes dictionary = SampleBytes(20000, 33);
    const Bytes compressed = RawDeflate(dictionary);
    DictionaryInflateStream cut;
    cut.LoadDictionary(compressed.data(), uint32_t(compressed.size() / 2));
    EXPECT_GT(cut.DictionaryLength(), 0u);
    EXPECT_LT(cut.DictionaryLength(), 20000u);
    EXPECT_TRUE(std::equal(cut.Dictionary(), cut.Dictionary() + cut.DictionaryLength(), dictionary.begin()));
}

TEST(InflateDictionary, ConsecutiveSamplesAreIndependent) {
    const Bytes dictionary = SampleBytes(100, 34);
    const Bytes first = SampleBytes(1000, 35);
    // The second sample is compressed as if the first sample's bytes came
    // before the dictionary, so it refers to them past the dictionary's 100
    // bytes; an inflater that kept the first sample as history would decode it.
    Bytes history(first);
    history.insert(history.end(), dictionary.begin(), dictionary.end());
    Bytes second(first.begin() + 200, first.begin() + 800);
    const Bytes leaning = RawDeflate(second, history);

    DictionaryInflateStream stream;
    const Bytes compressedDictionary = RawDeflate(dictionary);
    stream.LoadDictionary(compressedDictionary.data(), uint32_t(compressedDictionary.size()));
    EXPECT_EQ(Inflated(stream, RawDeflate(first, dictionary)), first);
    EXPECT_NE(Inflated(stream, leaning), second);
    // And a proper second sample still decodes.
    EXPECT_EQ(Inflated(stream, RawDeflate(second, dictionary)), second);
}

TEST(InflateErrors, CorruptDataGiveWhatWasProduced) {
    // 40000 bytes end with a sync flush; after them comes a block of the
    // reserved type. Inflate stops with a data error after exactly those bytes
    // (and after the output buffer grew once).
    const Bytes original = SampleBytes(40000, 40);
    Bytes corrupt = RawDeflate(original, {}, false);
    corrupt.push_back(0x07);
    corrupt.push_back(0x00);

    DictionaryInflateStream stream;
    EXPECT_EQ(Inflated(stream, corrupt), original);
    EXPECT_EQ(stream.OutputCapacity(), 65536u);
    const Bytes next = SampleBytes(2000, 41);
    EXPECT_EQ(Inflated(stream, RawDeflate(next)), next);
}

TEST(InflateErrors, TruncatedDataGiveAPrefix) {
    const Bytes original = SampleBytes(50000, 42);
    const Bytes compressed = RawDeflate(original);
    DictionaryInflateStream stream;
    const Bytes half = Inflated(stream, Bytes(compressed.begin(), compressed.begin() + compressed.size() / 2));
    EXPECT_GT(half.size(), 0u);
    EXPECT_LT(half.size(), original.size());
    EXPECT_TRUE(std::equal(half.begin(), half.end(), original.begin()));
    EXPECT_EQ(Inflated(stream, compressed), original);

    const uint8_t garbage[] = {0x07, 0xAA, 0x55};
    const uint8_t* out = nullptr;
    uint32_t length = 99;
    stream.Inflate(garbage, sizeof garbage, &out, &length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(Inflated(stream, compressed), original);
}

TEST(RecordingInflate, DictionaryGoesToTheCaller) {
    const Bytes dictionary = SampleBytes(6000, 50);
    const Bytes compressedDictionary = RawDeflate(dictionary);
    RecordingInflateStream stream;
    const InflatedDictionary loaded =
        stream.LoadDictionary(compressedDictionary.data(), uint32_t(compressedDictionary.size()));
    ASSERT_EQ(loaded.length, 6000u);
    const Bytes kept(loaded.bytes.get(), loaded.bytes.get() + loaded.length);
    EXPECT_EQ(kept, dictionary);

    Bytes sample(dictionary.begin() + 500, dictionary.begin() + 4500);
    EXPECT_EQ(Inflated(stream, RawDeflate(sample, kept), kept), sample);
    // Any caller bytes serve as the dictionary, loaded or not.
    const Bytes configuration = SampleBytes(40, 51);
    const Bytes other = SampleBytes(300, 52);
    EXPECT_EQ(Inflated(stream, RawDeflate(other, configuration), configuration), other);
    EXPECT_EQ(Inflated(stream, RawDeflate(other), Bytes()), other);

    const Bytes longCompressed = RawDeflate(SampleBytes(50000, 53));
    const InflatedDictionary longOne = stream.LoadDictionary(longCompressed.data(), uint32_t(longCompressed.size()));
    EXPECT_EQ(longOne.length, kDictionaryCapacity);
}

TEST(RecordingInflate, InputBufferGrowsToTheSampleAndIsReused) {
    RecordingInflateStream stream;
    EXPECT_EQ(stream.InputCapacity(), 0u);
    const Bytes first = SampleBytes(20000, 54);
    const Bytes firstCompressed = RawDeflate(first);
    const uint32_t firstLength = uint32_t(firstCompressed.size());

    uint8_t* in = stream.PrepareInput(firstLength);
    EXPECT_EQ(stream.InputCapacity(), firstLength);
    EXPECT_EQ(in, stream.InputBuffer());
    std::copy(firstCompressed.begin(), firstCompressed.end(), in);
    EXPECT_EQ(Bytes(stream.Output(), stream.Output() + stream.InflateInput(nullptr, 0)), first);

    // A smaller sample goes at the end of the buffer; nothing is allocated.
    const Bytes second = SampleBytes(500, 55);
    const Bytes secondCompressed = RawDeflate(second);
    const uint8_t* buffer = stream.InputBuffer();
    const size_t allocationsBefore = InflateBufferAllocationCount();
    in = stream.PrepareInput(uint32_t(secondCompressed.size()));
    EXPECT_EQ(in, buffer + firstLength - secondCompressed.size());
    std::copy(secondCompressed.begin(), secondCompressed.end(), in);
    EXPECT_EQ(Bytes(stream.Output(), stream.Output() + stream.InflateInput(nullptr, 0)), second);
    EXPECT_EQ(stream.InputBuffer(), buffer);
    EXPECT_EQ(stream.InputCapacity(), firstLength);
    EXPECT_EQ(InflateBufferAllocationCount(), allocationsBefore);

    // A larger one gets a buffer of exactly its size; output grows as usual.
    const Bytes third = SampleBytes(100000, 56);
    const Bytes thirdCompressed = RawDeflate(third);
    ASSERT_GT(thirdCompressed.size(), firstLength);
    EXPECT_EQ(Inflated(stream, thirdCompressed, Bytes()), third);
    EXPECT_EQ(stream.InputCapacity(), thirdCompressed.size());
    EXPECT_EQ(stream.OutputCapacity(), 131072u);
}

TEST(RecordingInflate, AFailedReadLeavesTheStreamUsable) {
    RecordingInflateStream stream;
    const Bytes big = SampleBytes(30000, 57);
    EXPECT_EQ(Inflated(stream, RawDeflate(big), Bytes()), big);
    // The caller's read from the file fails after PrepareInput: the next
    // sample, smaller or larger, does not depend on that.
    stream.PrepareInput(100);
    const Bytes small = SampleBytes(700, 58);
    EXPECT_EQ(Inflated(stream, RawDeflate(small), Bytes()), small);
    stream.PrepareInput(10);
    const Bytes larger = SampleBytes(90000, 59);
    EXPECT_EQ(Inflated(stream, RawDeflate(larger), Bytes()), larger);

    EXPECT_THROW(stream.PrepareInput(kMaxCompressedLength + 1), std::length_error);
    EXPECT_EQ(stream.InflateInput(nullptr, 0), 0u);
    EXPECT_EQ(Inflated(stream, RawDeflate(small), Bytes()), small);
}

TEST(InflateLifetime, DestructionFreesEveryBuffer) {
    // As the readers hold their streams: a nested type with nothing added,
    // behind a shared pointer.
    struct IsoZStream : DictionaryInflateStream {};
    struct RecordingZStream : RecordingInflateStream {};
    const size_t liveBefore = LiveInflateBufferCount();
    {
        boost::shared_ptr<IsoZStream> iso(new IsoZStream);
        boost::shared_ptr<RecordingZStream> recording(new RecordingZStream);
        EXPECT_EQ(LiveInflateBufferCount(), liveBefore + 2);
        const Bytes sample = SampleBytes(100000, 60);
        const Bytes compressed = RawDeflate(sample);
        EXPECT_EQ(Inflated(*iso, compressed), sample);
        EXPECT_EQ(Inflated(*recording, compressed, Bytes()), sample);
        EXPECT_EQ(Inflated(*recording, RawDeflate(SampleBytes(10, 61)), Bytes()), SampleBytes(10, 61));
        // Each holds one output buffer; the recording stream also its input.
        EXPECT_EQ(LiveInflateBufferCount(), liveBefore + 3);
    }
    EXPECT_EQ(LiveInflateBufferCount(), liveBefore);
}

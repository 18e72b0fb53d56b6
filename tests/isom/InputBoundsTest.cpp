// What one open and one pass may cost, whatever the tables claim: index
// entries bounded by the file's size over all tracks together, sample reads
// and inflated bytes bounded per pass.
#include <gtest/gtest.h>

#include <unistd.h>

#include "ReaderFixture.h"
#include "common/InflateStream.h"
#include "isom/SampleIndex.h"
#include "isom/SampleInput.h"

using namespace writer;
using namespace testsupport;

namespace {

// Statuses and payload sizes of every packet until the end of the stream.
struct Pass {
    std::vector<uint32_t> payloadSizes;  // of the packets handed out
    size_t failures = 0;                 // packets that returned -1
};

Pass ReadAll(AVReader& reader) {
    Pass pass;
    reader.SeekTime(0, 0);
    for (;;) {
        TMediaPacket* packet = nullptr;
        const int32_t status = reader.ReadPacket(&packet);
        if (status == kEndOfStream) return pass;
        if (status == 0)
            pass.payloadSizes.push_back(packet->payloadSize);
        else
            ++pass.failures;
    }
}

}  // namespace

TEST(IndexBound, OneSamplePerByteOpensAndTracksSharingTheBytesDoNot) {
    // ffmpeg's G.711: one track, one sample per byte.
    OpenedFile one = OpenBytes(SharedMediaData(1, 200000));
    ASSERT_EQ(one.status, 0);
    EXPECT_EQ(one.reader->GetTrackSampleCount(0), 200000u);
    // The same bytes listed by sixteen tracks, each within the file's size.
    EXPECT_EQ(OpenStatus(SharedMediaData(16, 200000)), -1);
}

TEST(IndexBound, CeilingHoldsForALargeSparseFile) {
    // 70 million one-byte samples in a file of that many bytes (holes): each
    // byte is a sample, but the index would take 2.2 GB.
    constexpr uint32_t kSamples = 70000000;
    ASSERT_GT(kSamples, ZENT::SDK::Pelagor2::kMaxIndexEntries);
    TempFile file(SharedMediaDataHead(1, kSamples));
    ASSERT_EQ(truncate(file.c_str(), off_t(file.read().size()) + kSamples), 0);
    AVReader* reader = nullptr;
    EXPECT_EQ(AVReaderOpen(&reader, file.c_str(), 0), -1);
}

TEST(InflationBound, SamplesOfAPassStopAtTheFileSizeTimesTheDeflateExpansion) {
    // One sample inflating to 64 MiB, pointed at 1024 times from a 74 KB file.
    const Bytes bytes = RepeatedCompressedSample(1024, 64u << 20);
    const uint64_t budget = bytes.size() * ZENT::SDK::Utility::kMaxDeflateExpansion;
    constexpr uint32_t kCap = 64u << 20;
    ASSERT_GT(budget, kCap);
    ASSERT_LT(budget, 2 * uint64_t(kCap));
    OpenedFile opened = OpenBytes(bytes);
    ASSERT_EQ(opened.status, 0);
    for (int pass = 0; pass < 2; ++pass) {  // a seek starts a new pass
        const Pass seen = ReadAll(*opened.reader);
        ASSERT_GE(seen.payloadSizes.size(), 3u);
        EXPECT_EQ(seen.payloadSizes[0], kCap);
        EXPECT_EQ(seen.payloadSizes[1], budget - kCap) << "cut where the budget ends";
        EXPECT_EQ(seen.payloadSizes[2], 0u) << "nothing once it is spent";
    }
}

TEST(ReadBound, SamplesPointingAtTheSameBytesStopAfterThePassBudget) {
    constexpr uint32_t kSampleSize = 100000;
    const Bytes bytes = RepeatedVideoSample(1000, kSampleSize);
    OpenedFile opened = OpenBytes(bytes);
    ASSERT_EQ(opened.status, 0);
    const uint64_t readable = ZENT::SDK::Pelagor2::SampleInput::PassBudget(bytes.size()) / kSampleSize;
    ASSERT_LT(readable, 1000u);
    for (int pass = 0; pass < 2; ++pass) {
        const Pass seen = ReadAll(*opened.reader);
        EXPECT_EQ(seen.payloadSizes.size(), readable);
        EXPECT_EQ(seen.failures, 1000 - readable) << "each sample past the budget fails alone";
    }
}

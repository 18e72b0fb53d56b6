#include "isom/SampleIndex.h"

#include <gtest/gtest.h>

#include <cfloat>

using namespace ZENT::SDK::Pelagor2;

namespace {

// A track of n samples with the given sizes and one time-to-sample entry.
TrackRecord MakeTrack(std::vector<uint32_t> sizes, uint32_t timescale = 1000, uint32_t delta = 40) {
    TrackRecord track;
    track.media.timescale = timescale;
    SampleTable& t = track.sampleTable;
    t.sizes.sampleCount = uint32_t(sizes.size());
    t.sizes.sizes = sizes;
    t.timeToSample.push_back({uint32_t(sizes.size()), delta});
    t.sampleToChunk.push_back({1, uint32_t(sizes.size()), 1, 0});
    t.chunkOffsets32.push_back(1000);
    return track;
}

}  // namespace

TEST(SampleIndex, ConstantSampleSizeGivesEverySampleThatSize) {
    TrackRecord track = MakeTrack({});
    track.sampleTable.sizes.sampleSize = 7;
    track.sampleTable.sizes.sampleCount = 3;
    track.sampleTable.sampleToChunk[0].samplesPerChunk = 3;
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    ASSERT_EQ(timeline.entryCount, 3u);
    for (uint32_t j = 0; j < 3; ++j) {
        EXPECT_EQ(timeline.entries[j].size, 7u);
        EXPECT_EQ(timeline.entries[j].offset, 1000u + 7 * j);
    }
}

TEST(SampleIndex, SyncFlagsFromTheSyncTable) {
    TrackRecord track = MakeTrack({1, 1, 1, 1});
    TrackTimeline all = BuildTrackTimeline(track, 1000);
    for (uint32_t j = 0; j < 4; ++j) EXPECT_EQ(all.entries[j].syncFlag, 1u) << "no stss: every sample syncs";

    track.sampleTable.hasSyncTable = true;
    TrackTimeline none = BuildTrackTimeline(track, 1000);
    for (uint32_t j = 0; j < 4; ++j) EXPECT_EQ(none.entries[j].syncFlag, 0u) << "empty stss: none syncs";

    track.sampleTable.syncSamples = {0, 1, 3, 5, 0xFFFFFFFF};  // numbers outside 1..4 are passed over
    TrackTimeline some = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(some.entries[0].syncFlag, 1u);
    EXPECT_EQ(some.entries[1].syncFlag, 0u);
    EXPECT_EQ(some.entries[2].syncFlag, 1u);
    EXPECT_EQ(some.entries[3].syncFlag, 0u);
}

TEST(SampleIndex, SampleToChunkRunsAssignSamplesToChunks) {
    // (1, 2), (3, 1) over five chunks: 2, 2, 1, 1, 1 samples.
    TrackRecord track = MakeTrack({10, 11, 12, 13, 14, 15, 16});
    SampleTable& t = track.sampleTable;
    t.sampleToChunk = {{1, 2, 1, 0}, {3, 1, 1, 4}};
    t.chunkOffsets32 = {100, 200, 300, 400, 500};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    const uint64_t expected[] = {100, 110, 200, 212, 300, 400, 500};
    for (int j = 0; j < 7; ++j) EXPECT_EQ(timeline.entries[j].offset, expected[j]) << "sample " << j;
}

TEST(SampleIndex, RepeatedFirstChunkUsesTheLaterEntry) {
    TrackRecord track = MakeTrack({1, 2, 3, 4});
    SampleTable& t = track.sampleTable;
    t.sampleToChunk = {{1, 5, 1, 0}, {1, 1, 1, 0}};
    t.chunkOffsets32 = {100, 200, 300, 400};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.entries[0].offset, 100u);
    EXPECT_EQ(timeline.entries[1].offset, 200u);
    EXPECT_EQ(timeline.entries[3].offset, 400u);
}

TEST(SampleIndex, SamplesPastTheChunkTableKeepOffsetZero) {
    TrackRecord track = MakeTrack({5, 5, 5});
    track.sampleTable.sampleToChunk = {{1, 1, 1, 0}};
    track.sampleTable.chunkOffsets32 = {64};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.entries[0].offset, 64u);
    EXPECT_EQ(timeline.entries[1].offset, 0u);
    EXPECT_EQ(timeline.entries[2].offset, 0u);

    track.sampleTable.sampleToChunk.clear();
    TrackTimeline unplaced = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(unplaced.entries[0].offset, 0u);
}

TEST(SampleIndex, SixtyFourBitChunkOffsets) {
    TrackRecord track = MakeTrack({9, 9});
    track.sampleTable.chunkOffsets32.clear();
    track.sampleTable.chunkOffsets64 = {0x100000010ull};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.entries[0].offset, 0x100000010ull);
    EXPECT_EQ(timeline.entries[1].offset, 0x100000019ull);
}

TEST(SampleIndex, TimesWithoutCompositionOffsets) {
    TrackRecord track = MakeTrack({1, 1, 1}, 1000, 40);
    TrackTimeline timeline = BuildTrackTimeline(track, 600);
    EXPECT_EQ(timeline.timedSampleCount, 3u);
    EXPECT_DOUBLE_EQ(timeline.entries[2].compositionTime, 0.08);
    EXPECT_DOUBLE_EQ(timeline.entries[2].decodingTime, -1.0);
    EXPECT_DOUBLE_EQ(timeline.duration, 0.12);  // no edit list: the summed deltas
    EXPECT_DOUBLE_EQ(timeline.startOffset, 0.0);
}

TEST(SampleIndex, CompositionOffsetsShiftOnlyTheCompositionTime) {
    TrackRecord track = MakeTrack({1, 1, 1}, 1000, 40);
    track.sampleTable.hasCompositionTable = true;
    track.sampleTable.compositionOffsets = {{1, 80}, {2, 0}};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_DOUBLE_EQ(timeline.entries[0].compositionTime, 0.08);
    EXPECT_DOUBLE_EQ(timeline.entries[0].decodingTime, 0.0);
    EXPECT_DOUBLE_EQ(timeline.entries[1].compositionTime, 0.04);
    EXPECT_DOUBLE_EQ(timeline.entries[1].decodingTime, 0.04);
    EXPECT_DOUBLE_EQ(timeline.entries[2].time(), 0.08);
}

TEST(SampleIndex, ShortCompositionTableStillBringsEverySampleToSeconds) {
    TrackRecord track = MakeTrack({1, 1, 1}, 1000, 40);
    track.sampleTable.hasCompositionTable = true;
    track.sampleTable.compositionOffsets = {{1, 40}};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.timedSampleCount, 3u);
    EXPECT_DOUBLE_EQ(timeline.entries[2].decodingTime, 0.08);
    EXPECT_DOUBLE_EQ(timeline.entries[2].compositionTime, 0.08);
}

TEST(SampleIndex, EditListGivesStartOffsetAndDuration) {
    TrackRecord track = MakeTrack({1, 1}, 90000, 3000);
    track.editList.entries = {{2000, -1, 0x10000}, {10900, 0, 0x10000}};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_DOUBLE_EQ(timeline.startOffset, 2.0);
    EXPECT_DOUBLE_EQ(timeline.duration, 10.9);
}

TEST(SampleIndex, ZeroMovieTimescaleIgnoresTheEditList) {
    TrackRecord track = MakeTrack({1, 1}, 1000, 500);
    track.editList.entries = {{2000, -1, 0x10000}};
    TrackTimeline timeline = BuildTrackTimeline(track, 0);
    EXPECT_DOUBLE_EQ(timeline.startOffset, 0.0);
    EXPECT_DOUBLE_EQ(timeline.duration, 1.0);
}

TEST(SampleIndex, ZeroMediaTimescaleLeavesTheTrackUntimed) {
    TrackRecord track = MakeTrack({4, 4}, 0);
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.timedSampleCount, 0u);
    EXPECT_DOUBLE_EQ(timeline.duration, 0.0);
    EXPECT_EQ(timeline.entries[1].offset, 1004u) << "sizes and offsets are still indexed";
    EXPECT_DOUBLE_EQ(timeline.entries[0].compositionTime, -1.0);
}

TEST(SampleIndex, DecodingTimeDoesNotWrapAfterThirtyTwoBits) {
    TrackRecord track = MakeTrack({1, 1, 1}, 90000, 0xFFFFFFFF);
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_DOUBLE_EQ(timeline.entries[2].compositionTime, 2.0 * 4294967295.0 / 90000);
}

TEST(SampleIndex, HugeTimeToSampleCountsStopAtTheLastSample) {
    TrackRecord track = MakeTrack({1, 1, 1}, 1000, 10);
    track.sampleTable.timeToSample = {{0xFFFFFFFF, 10}, {0xFFFFFFFF, 10}};
    TrackTimeline timeline = BuildTrackTimeline(track, 1000);
    EXPECT_EQ(timeline.timedSampleCount, 3u);
    EXPECT_DOUBLE_EQ(timeline.duration, 0.03);
}

TEST(SampleIndex, TimelinesKeepTheirTrackIndexAndEarliestStartOffset) {
    MovieRecord movie;
    movie.header.timescale = 1000;
    movie.tracks.push_back(MakeTrack({1}, 0));  // untimed: takes no part
    movie.tracks.push_back(MakeTrack({1, 1}));
    movie.tracks.back().editList.entries = {{3000, -1, 0}, {80, 0, 0}};
    movie.tracks.push_back(MakeTrack({1, 1, 1}));
    movie.tracks.back().editList.entries = {{1500, -1, 0}, {120, 0, 0}};
    Timelines timelines = BuildTimelines(movie, 1 << 20);
    ASSERT_EQ(timelines.tracks.size(), 3u);
    EXPECT_EQ(timelines.tracks[0].timedSampleCount, 0u);
    EXPECT_EQ(timelines.tracks[2].entryCount, 3u);
    EXPECT_DOUBLE_EQ(timelines.earliestStartOffset, 1.5);

    MovieRecord untimed;
    untimed.tracks.push_back(MakeTrack({1}, 0));
    EXPECT_EQ(BuildTimelines(untimed, 1 << 20).earliestStartOffset, DBL_MAX);
}

TEST(DecoderConfig, AvcParameterSetsInStartCodeForm) {
    std::vector<uint8_t> avcC = {1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0, 10};
    for (int k = 0; k < 10; ++k) avcC.push_back(uint8_t(0x67 + k));
    avcC.insert(avcC.end(), {1, 0, 4, 0x68, 0xEE, 0x3C, 0x80});
    std::vector<uint8_t> out = AvcParameterSets(avcC);
    ASSERT_EQ(out.size(), 22u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), (std::vector<uint8_t>{0, 0, 0, 1, 0x67}));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 14, out.end()),
              (std::vector<uint8_t>{0, 0, 0, 1, 0x68, 0xEE, 0x3C, 0x80}));
}

TEST(DecoderConfig, AvcUnitsRunningPastThePayloadEndTheConversion) {
    EXPECT_TRUE(AvcParameterSets({1, 2, 3, 4, 5, 6}).empty()) << "shorter than 7 bytes";
    // One SPS of 2 bytes, then a PPS claiming 200 bytes.
    std::vector<uint8_t> out = AvcParameterSets({1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0, 2, 0x67, 0x42, 1, 0, 200, 0x68});
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x42}));
    EXPECT_TRUE(AvcParameterSets({1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0xFF, 0xFF, 0x67}).empty());
}

namespace {
std::vector<uint8_t> HvcCWithArrays(const std::vector<std::pair<uint8_t, std::vector<std::vector<uint8_t>>>>& arrays) {
    std::vector<uint8_t> hvcC(22, 0);
    hvcC[21] = 3;
    hvcC.push_back(uint8_t(arrays.size()));
    for (const auto& array : arrays) {
        hvcC.push_back(array.first);
        hvcC.push_back(uint8_t(array.second.size() >> 8));
        hvcC.push_back(uint8_t(array.second.size()));
        for (const auto& unit : array.second) {
            hvcC.push_back(uint8_t(unit.size() >> 8));
            hvcC.push_back(uint8_t(unit.size()));
            hvcC.insert(hvcC.end(), unit.begin(), unit.end());
        }
    }
    return hvcC;
}
}  // namespace

TEST(DecoderConfig, HevcParameterSetsPrecedePrefixSeiWhateverTheArrayOrder) {
    std::vector<uint8_t> hvcC = HvcCWithArrays({{39, {{0x4E, 1}}},
                                                {32, {{0x40, 1, 2}}},
                                                {33, {{0x42, 3}}},
                                                {35, {{0x46, 9}}},  // passed over
                                                {34, {{0x44, 4}}}});
    uint32_t parameterSetLength = 0;
    std::vector<uint8_t> out = HevcParameterSets(hvcC, parameterSetLength);
    EXPECT_EQ(parameterSetLength, 7u + 6u + 6u);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 1, 0x40, 1, 2, 0, 0, 0, 1,    0x42, 3,
                                         0, 0, 0, 1, 0x44, 4, 0, 0, 0, 1, 0x4E, 1}));
}

TEST(DecoderConfig, HevcManyEmptyUnitsGrowPastThePayloadSafely) {
    std::vector<std::vector<uint8_t>> units(1000);
    uint32_t parameterSetLength = 0;
    std::vector<uint8_t> out = HevcParameterSets(HvcCWithArrays({{32, units}}), parameterSetLength);
    EXPECT_EQ(out.size(), 4000u);
    EXPECT_EQ(parameterSetLength, 4000u);
}

TEST(DecoderConfig, HevcShortPayloadGivesNothing) {
    uint32_t parameterSetLength = 9;
    EXPECT_TRUE(HevcParameterSets(std::vector<uint8_t>(22, 0), parameterSetLength).empty());
    EXPECT_EQ(parameterSetLength, 0u);
}

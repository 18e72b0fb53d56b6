// Finding a track's sample for a time, and the seeks built on it.
#include <gtest/gtest.h>

#include "ReaderFixture.h"

using namespace writer;
using ZENT::SDK::Pelagor2::ISOMParserImpl;
using ZENT::SDK::Pelagor2::TrackTimeline;

namespace {

// Video at 0, 40, 80, ... ms with a sync sample every 3, audio every 64 ms.
OpenedFile OpenAv(uint32_t videoCount = 10, std::vector<EditEntry> videoEdits = {}) {
    Recording recording;
    Track video = SmallVideoTrack(videoCount);
    video.edits = videoEdits;
    recording.addTrack(video);
    recording.addTrack(SmallAudioTrack(8));
    return OpenBytes(recording.bytes());
}

const TrackTimeline& TimelineOf(const OpenedFile& opened, uint32_t listIndex) {
    return opened.impl()->timelines().tracks[opened.impl()->trackList()[listIndex].trackIndex];
}

std::vector<int32_t> Cursors(const OpenedFile& opened) {
    std::vector<int32_t> cursors;
    for (const auto& state : opened.impl()->trackList()) cursors.push_back(state.cursor);
    return cursors;
}

}  // namespace

TEST(SampleAtTime, LastSampleAtOrBeforeTheTime) {
    OpenedFile opened = OpenAv();
    ASSERT_EQ(opened.status, 0);
    const ISOMParserImpl& impl = *opened.impl();
    const TrackTimeline& video = TimelineOf(opened, 0);
    EXPECT_EQ(impl.SampleAtTime(video, -0.001), -1);
    EXPECT_EQ(impl.SampleAtTime(video, 0.0), 0);
    EXPECT_EQ(impl.SampleAtTime(video, 0.039), 0);
    EXPECT_EQ(impl.SampleAtTime(video, 0.040), 1);
    EXPECT_EQ(impl.SampleAtTime(video, 0.2), 5);
    EXPECT_EQ(impl.SampleAtTime(video, 0.359), 8);
    // From about the last sample's time on: the count of timed samples.
    EXPECT_EQ(impl.SampleAtTime(video, 0.36), 10);
    EXPECT_EQ(impl.SampleAtTime(video, 100.0), 10);
}

TEST(SampleAtTime, EstimateCorrectedOnUnevenSpacing) {
    // Samples at 0, 10, 20, 30 ms and one at 1000 ms: the linear guess for
    // 25 ms lands on sample 0 and must walk forward; for 995 ms it lands on
    // sample 4 and must walk back.
    Recording recording;
    Track track = SmallVideoTrack(0);
    for (int j = 0; j < 5; ++j) track.add(Bytes(4, 0), j == 3 ? 970 : 10);
    recording.addTrack(track);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    const TrackTimeline& timeline = TimelineOf(opened, 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.025), 2);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.995), 3);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.030), 3);
}

TEST(SampleAtTime, TrackWhoseSamplesShareOneTime) {
    Recording recording;
    Track track = SmallVideoTrack(0);
    for (int j = 0; j < 3; ++j) track.add(Bytes(4, 0), 0);
    recording.addTrack(track);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    const TrackTimeline& timeline = TimelineOf(opened, 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.0), 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, -1.0), -1);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.5), 3);
}

TEST(SampleAtTime, TrackWithOneSample) {
    OpenedFile opened = OpenAv(1);
    const TrackTimeline& timeline = TimelineOf(opened, 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.0), 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.01), 1);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, -0.01), -1);
}

TEST(SampleAtTime, UntimedTrackStartsAtItsFirstSampleOrItsEnd) {
    Recording recording;
    Track track = SmallVideoTrack(4);
    track.timescale = 0;
    recording.addTrack(track);
    OpenedFile opened = OpenBytes(recording.bytes());
    ASSERT_EQ(opened.status, 0);
    const TrackTimeline& timeline = TimelineOf(opened, 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 0.0), 0);
    EXPECT_EQ(opened.impl()->SampleAtTime(timeline, 3.0), 4);
}

TEST(SampleAtTime, LeadingEmptyEditShiftsTheTrack) {
    // Video starts after a 2 s empty edit, audio at once: the earliest start
    // offset is 0, so time 2.04 s is the video's second sample.
    OpenedFile opened = OpenAv(10, {{2000, -1}, {400, 0}});
    ASSERT_EQ(opened.status, 0);
    const TrackTimeline& video = TimelineOf(opened, 0);
    EXPECT_DOUBLE_EQ(video.startOffset, 2.0);
    EXPECT_EQ(opened.impl()->SampleAtTime(video, 1.0), -1);
    EXPECT_EQ(opened.impl()->SampleAtTime(video, 2.04), 1);
}

TEST(Seek, SeekTimeGoesBackToTheSyncSample) {
    OpenedFile opened = OpenAv();
    AVReader& r = *opened.reader;
    r.SeekTime(0, 200);  // video sample 5, back to sync sample 3; audio sample 3 (192 ms)
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{3, 3}));
    r.SeekTime(0, 0);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{0, 0}));
    r.SeekTime(9, 0);  // past every track: each at its end
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{10, 8}));
}

TEST(Seek, SeekTimeStopsAtSampleZeroWithoutSyncSamples) {
    Recording recording;
    Track video = SmallVideoTrack(0);
    for (int j = 0; j < 5; ++j) video.add(Bytes(5, 0), 40, j == 3);
    recording.addTrack(video);
    OpenedFile opened = OpenBytes(recording.bytes());
    opened.reader->SeekTime(0, 0);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{0}));
    opened.reader->SeekTime(0, 100);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{0}));
    opened.reader->SeekTime(0, 150);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{3}));
}

TEST(Seek, SeekTimeExactClampsToTheLastSampleAndKeepsNegatives) {
    OpenedFile opened = OpenAv(10, {{2000, -1}, {400, 0}});
    AVReader& r = *opened.reader;
    r.SeekTimeExact(0, 200);  // video not started yet; audio sample 3
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{-1, 3}));
    r.SeekTimeExact(2, 200);  // video sample 5, not moved back to a sync sample
    EXPECT_EQ(Cursors(opened)[0], 5);
    r.SeekTimeExact(60, 0);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{9, 7}));
}

TEST(Seek, SeekPercentOfTheMovieDuration) {
    Recording recording;
    recording.movie.duration = 10000;  // 10 s at 1000
    Track video = SmallVideoTrack(0);
    for (int j = 0; j < 10; ++j) video.add(Bytes(5, 0), 1000, true);
    recording.addTrack(video);
    OpenedFile opened = OpenBytes(recording.bytes());
    AVReader& r = *opened.reader;
    EXPECT_EQ(r.SeekPercent(100), kInvalidArgument);
    EXPECT_EQ(r.SeekPercentExact(100), kInvalidArgument);
    EXPECT_EQ(r.SeekPercent(35), 0);  // 3.5 s
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{3}));
    EXPECT_EQ(r.SeekPercent(85), 0);  // 8.5 s
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{8}));
    EXPECT_EQ(r.SeekPercent(99), 0);  // 9.9 s: at or after the last sample, the track is at its end
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{10}));
    EXPECT_EQ(r.SeekPercentExact(0), 0);
    EXPECT_EQ(Cursors(opened), (std::vector<int32_t>{0}));
}

TEST(Seek, ModesAndSwitchesAreKept) {
    OpenedFile opened = OpenAv();
    AVReader& r = *opened.reader;
    r.DisableTrack(1);
    EXPECT_EQ(opened.impl()->trackList()[1].enabled, 0u);
    r.EnableTrack(1);
    EXPECT_EQ(opened.impl()->trackList()[1].enabled, 1u);
    EXPECT_EQ(r.ReadPacket(nullptr), kInvalidArgument);
    EXPECT_EQ(r.ReadPacketBackward(nullptr), kInvalidArgument);
}

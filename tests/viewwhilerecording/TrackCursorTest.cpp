#include "viewwhilerecording/TrackCursor.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <vector>

#include "viewwhilerecording/ViewWhileRec.h"

namespace {

using ZENT::SDK::ViewWhileRecording::kTrackEnd;
using ZENT::SDK::ViewWhileRecording::TPacketIdxInfo;
using ZENT::SDK::ViewWhileRecording::TrackInfo;

// A video track whose packets have these times; keys marks the key frames
// (all when empty).
TrackInfo Track(const std::vector<uint64_t>& times, const std::vector<bool>& keys = {}, bool video = true) {
    TrackInfo track;
    track.isVideo = video;
    for (size_t i = 0; i < times.size(); ++i) {
        auto packet = boost::make_shared<TPacketIdxInfo>();
        packet->timestamp = times[i];
        packet->isKey = keys.empty() || keys[i];
        track.AddPacket(packet);
    }
    return track;
}

std::vector<uint64_t> Every(uint64_t step, uint64_t first, uint64_t last) {
    std::vector<uint64_t> times;
    for (uint64_t t = first; t <= last; t += step) times.push_back(t);
    return times;
}

void Append(TrackInfo& track, uint64_t time, bool key = true) {
    auto packet = boost::make_shared<TPacketIdxInfo>();
    packet->timestamp = time;
    packet->isKey = key;
    track.AddPacket(packet);
}

// Pending times until the first non-zero status, which is stored in status.
std::vector<uint64_t> ReadForward(TrackInfo& track, uint16_t skip, bool keys, int32_t* status, int limit = 100) {
    std::vector<uint64_t> times;
    for (int i = 0; i < limit; ++i) {
        track.pending.reset();
        *status = track.TrackNextForward(skip, keys);
        if (*status != kOk) break;
        times.push_back(track.pending->timestamp);
    }
    return times;
}

std::vector<uint64_t> ReadBackward(TrackInfo& track, uint16_t skip, bool keys, int32_t* status, int limit = 100) {
    std::vector<uint64_t> times;
    for (int i = 0; i < limit; ++i) {
        track.pending.reset();
        *status = track.TrackNextBackward(skip, keys);
        if (*status != kOk) break;
        times.push_back(track.pending->timestamp);
    }
    return times;
}

// The next packet forward after a seek, or -1 when none.
int64_t NextForward(TrackInfo& track) {
    if (track.TrackNextForward(0, false) != kOk) return -1;
    return int64_t(track.pending->timestamp);
}

int64_t NextBackward(TrackInfo& track) {
    if (track.TrackNextBackward(0, false) != kOk) return -1;
    return int64_t(track.pending->timestamp);
}

TEST(TrackCursorTest, StepsForwardAndWaitsOnTheLastPacket) {
    TrackInfo track = Track({0, 40, 80});
    int32_t status = 0;
    EXPECT_EQ(ReadForward(track, 0, false, &status), (std::vector<uint64_t>{0, 40, 80}));
    EXPECT_EQ(status, kNoNewData);
    EXPECT_EQ(track.cursor, 2);
    Append(track, 120);
    EXPECT_EQ(ReadForward(track, 0, false, &status), std::vector<uint64_t>{120});
}

TEST(TrackCursorTest, EmptyTrackHasNoNewData) {
    TrackInfo track;
    EXPECT_EQ(track.TrackNextForward(0, false), kNoNewData);
    EXPECT_EQ(track.TrackNextBackward(0, false), kNoNewData);
    EXPECT_EQ(track.TrackSeekForward(0), kNoNewData);
    EXPECT_EQ(track.cursor, -1);
}

TEST(TrackCursorTest, TwoSecondJumpsOverPacketsEvery500ms) {
    TrackInfo track = Track(Every(500, 0, 9500));
    int32_t status = 0;
    EXPECT_EQ(ReadForward(track, 2, false, &status), (std::vector<uint64_t>{0, 2000, 4000, 6000, 8000}));
    EXPECT_EQ(status, kNoNewData);
    // Nothing at 10000 or later yet: still nothing on the next try.
    EXPECT_EQ(track.TrackNextForward(2, false), kNoNewData);
    Append(track, 10000);
    Append(track, 10500);
    EXPECT_EQ(ReadForward(track, 2, false, &status), std::vector<uint64_t>{10000});
}

TEST(TrackCursorTest, KeyFramesOnlySkipsDeltaFramesAndWaitsAtTheEnd) {
    TrackInfo track = Track({0, 40, 80, 120, 160}, {true, false, false, true, false});
    int32_t status = 0;
    EXPECT_EQ(ReadForward(track, 0, true, &status), (std::vector<uint64_t>{0, 120}));
    EXPECT_EQ(status, kNoNewData);
    EXPECT_EQ(track.cursor, 4);
    Append(track, 200, false);
    Append(track, 240, true);
    EXPECT_EQ(ReadForward(track, 0, true, &status), std::vector<uint64_t>{240});
}

TEST(TrackCursorTest, SeekForwardStartsAtTheKeyFrameBeforeTheTime) {
    TrackInfo allKeys = Track(Every(1000, 0, 9000));
    EXPECT_EQ(allKeys.TrackSeekForward(4500), kOk);
    EXPECT_EQ(NextForward(allKeys), 5000);

    std::vector<bool> keys(10, false);
    keys[0] = keys[4] = true;
    TrackInfo sparseKeys = Track(Every(1000, 0, 9000), keys);
    EXPECT_EQ(sparseKeys.TrackSeekForward(4500), kOk);
    EXPECT_EQ(NextForward(sparseKeys), 4000);
}

TEST(TrackCursorTest, SeekForwardOnAudioTakesThePacketAtOrAfterTheTime) {
    TrackInfo track = Track(Every(1000, 0, 9000), std::vector<bool>(10, false), false);
    EXPECT_EQ(track.TrackSeekForward(4500), kOk);
    EXPECT_EQ(NextForward(track), 5000);
}

TEST(TrackCursorTest, SeekForwardTestsPositionOneForAKeyFrame) {
    TrackInfo track = Track({0, 1000, 2000, 3000}, {true, true, false, false});
    EXPECT_EQ(track.TrackSeekForward(3000), kOk);
    EXPECT_EQ(NextForward(track), 1000);

    TrackInfo noKeyAfterStart = Track({0, 1000, 2000, 3000}, {false, false, false, false});
    EXPECT_EQ(noKeyAfterStart.TrackSeekForward(3000), kOk);
    EXPECT_EQ(noKeyAfterStart.cursor, -1);
    EXPECT_EQ(NextForward(noKeyAfterStart), 0);
}

TEST(TrackCursorTest, SeekForwardToTheFirstPacketOrBefore) {
    TrackInfo track = Track({1000, 2000});
    EXPECT_EQ(track.TrackSeekForward(1000), kOk);
    EXPECT_EQ(track.cursor, -1);
    EXPECT_EQ(NextForward(track), 1000);
    EXPECT_EQ(track.TrackSeekForward(0), kOk);
    EXPECT_EQ(NextForward(track), 1000);
}

TEST(TrackCursorTest, SeekForwardWithOnePacketBeforeTheTimeTakesTheNextOne) {
    // The packet at or after the time comes next, not the one before it.
    TrackInfo track = Track({1000, 2000, 3000}, {}, false);
    EXPECT_EQ(track.TrackSeekForward(1500), kOk);
    EXPECT_EQ(track.cursor, 0);
    EXPECT_EQ(NextForward(track), 2000);
}

TEST(TrackCursorTest, SeekForwardPastTheLastPacketWaitsForLaterOnes) {
    TrackInfo track = Track({1000, 2000, 3000});
    EXPECT_EQ(track.TrackSeekForward(5000), kNoNewData);
    EXPECT_EQ(track.cursor, kTrackEnd);
    EXPECT_EQ(track.TrackNextForward(0, false), kNoNewData);
    // Going backward from there starts at the last packet.
    EXPECT_EQ(NextBackward(track), 3000);
}

struct BackwardSeekCase {
    uint64_t time;
    int32_t status;
    int64_t next;  // -1: nothing going backward
};

class SeekBackwardTest : public ::testing::TestWithParam<BackwardSeekCase> {};

TEST_P(SeekBackwardTest, NextPacketGoingBackward) {
    TrackInfo track = Track({1000, 2000, 3000});
    EXPECT_EQ(track.TrackSeekBackward(GetParam().time), GetParam().status);
    EXPECT_EQ(NextBackward(track), GetParam().next);
}

INSTANTIATE_TEST_SUITE_P(Times, SeekBackwardTest,
                         ::testing::Values(BackwardSeekCase{2000, kOk, 2000}, BackwardSeekCase{2500, kOk, 3000},
                                           BackwardSeekCase{1500, kOk, 2000}, BackwardSeekCase{3000, kNoNewData, 3000},
                                           BackwardSeekCase{5000, kNoNewData, 3000},
                                           BackwardSeekCase{500, kAtBeginning, -1}));

TEST(TrackCursorTest, BackwardFromBeforeTheFirstIsAtTheBeginning) {
    TrackInfo track = Track({1000, 2000});
    EXPECT_EQ(track.TrackSeekForward(0), kOk);
    EXPECT_EQ(track.TrackNextBackward(0, false), kAtBeginning);
}

TEST(TrackCursorTest, StepsBackwardToTheBeginning) {
    TrackInfo track = Track({0, 40, 80});
    track.cursor = kTrackEnd;
    int32_t status = 0;
    EXPECT_EQ(ReadBackward(track, 0, false, &status), (std::vector<uint64_t>{80, 40, 0}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(TrackCursorTest, BackwardJumpsSaturateAtTimeZero) {
    // A camera clock left at 1970: 1000 - 1000 s must not wrap.
    TrackInfo track = Track({0, 500, 1000});
    track.cursor = kTrackEnd;
    int32_t status = 0;
    EXPECT_EQ(ReadBackward(track, 1, false, &status), (std::vector<uint64_t>{1000, 0}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(TrackCursorTest, BackwardJumpsOfTwoSeconds) {
    // From 9500 the target 7500 is a packet's time: that packet comes next.
    // From 1500 the target saturates at 0, the first packet's time.
    TrackInfo track = Track(Every(500, 0, 9500));
    track.cursor = kTrackEnd;
    int32_t status = 0;
    EXPECT_EQ(ReadBackward(track, 2, false, &status), (std::vector<uint64_t>{9500, 7500, 5500, 3500, 1500, 0}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(TrackCursorTest, BackwardJumpOverAGapTakesThePacketBeforeIt) {
    // Every packet before the current one lies more than the jump back: the
    // nearest of them comes next, rather than reading stalling there.
    TrackInfo track = Track({0, 5000});
    track.cursor = kTrackEnd;
    int32_t status = 0;
    EXPECT_EQ(ReadBackward(track, 1, false, &status), (std::vector<uint64_t>{5000, 0}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(TrackCursorTest, BackwardKeyFramesOnly) {
    TrackInfo track = Track({0, 40, 80, 120}, {true, false, true, false});
    track.cursor = kTrackEnd;
    int32_t status = 0;
    EXPECT_EQ(ReadBackward(track, 0, true, &status), (std::vector<uint64_t>{80, 0}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(TrackCursorTest, SearchesStayInsideAnUnorderedList) {
    // A clock that stepped back: the order is broken, the results are some
    // packet or a status, never a position outside the list.
    const std::vector<uint64_t> times = {5000, 1000, 9000, 3000, 3000, 8000, 0, 7000};
    for (uint64_t t = 0; t <= 10000; t += 250) {
        for (int mode = 0; mode < 2; ++mode) {
            TrackInfo track = Track(times, {true, false, true, false, false, true, false, true});
            if (mode == 0)
                track.TrackSeekForward(t);
            else
                track.TrackSeekBackward(t);
            EXPECT_TRUE(track.cursor == -1 || track.cursor == kTrackEnd ||
                        (track.cursor >= 0 && track.cursor < int64_t(times.size())))
                << t;
            int32_t status = 0;
            ReadForward(track, 1, false, &status, 20);
            EXPECT_TRUE(track.cursor == kTrackEnd || (track.cursor >= 0 && track.cursor < int64_t(times.size())));
            track.cursor = kTrackEnd;
            ReadBackward(track, 2, false, &status, 20);
            EXPECT_TRUE(track.cursor == -1 || (track.cursor >= 0 && track.cursor < int64_t(times.size())));
        }
    }
}

TEST(TrackCursorTest, PacketsGetTheirIndexAndCountingNonces) {
    TrackInfo track;
    track.nonce.reset(new uint8_t[8]{0, 0, 0, 0, 0, 0, 0, 0xFF});
    for (int i = 0; i < 3; ++i) track.AddPacket(boost::make_shared<TPacketIdxInfo>());
    ASSERT_EQ(track.packets.size(), 3u);
    EXPECT_EQ(track.packets[2]->index, 2u);
    const std::vector<uint8_t> first(track.packets[0]->nonce.get(), track.packets[0]->nonce.get() + 8);
    const std::vector<uint8_t> second(track.packets[1]->nonce.get(), track.packets[1]->nonce.get() + 8);
    const std::vector<uint8_t> third(track.packets[2]->nonce.get(), track.packets[2]->nonce.get() + 8);
    EXPECT_EQ(first, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0xFF}));
    EXPECT_EQ(second, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 0x00}));
    EXPECT_EQ(third, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 0x01}));
}

TEST(TrackCursorTest, NonceOfAllOnesWrapsToZero) {
    TrackInfo track;
    track.nonce.reset(new uint8_t[8]);
    std::fill(track.nonce.get(), track.nonce.get() + 8, 0xFF);
    track.AddPacket(boost::make_shared<TPacketIdxInfo>());
    EXPECT_EQ(std::vector<uint8_t>(track.nonce.get(), track.nonce.get() + 8), std::vector<uint8_t>(8, 0));
}

TEST(TrackCursorTest, UnprotectedTrackGivesNoNonce) {
    TrackInfo track = Track({0});
    EXPECT_FALSE(track.packets[0]->nonce);
}

}  // namespace

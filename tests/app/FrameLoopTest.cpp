#include "app/FrameLoop.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

#include "FakeAVReader.h"

namespace {

// Packets without frame bytes, told apart by their DI alert; time type 4 finds no time.
class FrameLoopTest : public ::testing::Test {
protected:
    TMediaPacket* Packet(uint32_t seconds, uint32_t diAlert) {
        TMediaPacket& packet = packets_.emplace_back();
        packet = TMediaPacket{};
        packet.codecType = 0x8;
        packet.seconds = seconds;
        packet.diAlert = diAlert;
        return &packet;
    }
    static std::string Line(uint32_t diAlert) {
        return "Stream:H264 Frame:I NO TIME INFO CRC32:00000000 Size:0 DI alert: " + std::to_string(diAlert) +
               " motionWin1: 0% motionWin2: 0% motionWin3: 0%\n";
    }
    std::string Run() {
        std::ostringstream out;
        RunFrameLoop(reader, 4, out);
        return out.str();
    }

    FakeAVReader reader;

private:
    std::deque<TMediaPacket> packets_;  // stable addresses
};

}  // namespace

TEST_F(FrameLoopTest, SeeksToTheStartAndReportsUntilTheEnd) {
    reader.reads = {{kReaderOk, Packet(100, 1)}, {kReaderOk, Packet(90, 2)}, {kReaderOk, Packet(95, 3)}};
    EXPECT_EQ(Run(), Line(1) + Line(2) + Line(3));
    ASSERT_EQ(reader.seeks.size(), 1u);
    EXPECT_EQ(reader.seeks[0], std::make_pair(0u, 0u));
    EXPECT_EQ(reader.readCalls, 4u);
}

TEST_F(FrameLoopTest, RunningMinimumEndsTheLoopWithoutReadingOn) {
    reader.reads = {{kReaderOk, Packet(0, 1)}, {kReaderOk, Packet(0x80000000u, 2)}, {kReaderOk, Packet(5, 3)}};
    EXPECT_EQ(Run(), Line(1));
    EXPECT_EQ(reader.readCalls, 2u);
}

// Flagged packets come with a status and are not reported; any non-zero status ends the loop.
TEST_F(FrameLoopTest, NonZeroStatusEndsTheLoopSilently) {
    for (int32_t status : {int32_t(kNoCheckValue), int32_t(kCheckMismatch), int32_t(kPacketNoUserData),
                           int32_t(kReaderException), int32_t(kEndOfStream)}) {
        reader = FakeAVReader();
        reader.reads = {{kReaderOk, Packet(10, 1)}, {status, Packet(11, 2)}, {kReaderOk, Packet(12, 3)}};
        EXPECT_EQ(Run(), Line(1)) << "status " << std::hex << status;
        EXPECT_EQ(reader.readCalls, 2u);
    }
}

TEST_F(FrameLoopTest, FirstReadFailingOrEmptyGivesNoLines) {
    reader.reads = {{kReaderException, nullptr}};
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(reader.readCalls, 1u);

    reader = FakeAVReader();  // no packets at all: end of stream at once
    EXPECT_EQ(Run(), "");
}

TEST_F(FrameLoopTest, SuccessWithoutAPacketEndsTheLoop) {
    reader.reads = {{kReaderOk, Packet(1, 1)}, {kReaderOk, nullptr}, {kReaderOk, Packet(2, 3)}};
    EXPECT_EQ(Run(), Line(1));
    EXPECT_EQ(reader.readCalls, 2u);
}

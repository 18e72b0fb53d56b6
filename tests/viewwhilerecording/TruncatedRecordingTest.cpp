#include <gtest/gtest.h>

#include <vector>

#include "RecordingFixture.h"
#include "viewwhilerecording/ViewWhileRec.h"

namespace {

using namespace vwrtest;

// Two chunks: H.264 with a configuration area, then G711; times go on
// rising from the first chunk to the second.
RecordingLayout TwoChunks() {
    Chunk video = Chunk::Video("H264", 320, 240);
    video.configuration(H264ConfigurationArea(Hex("67 42 00 1E"), {Hex("68 CE")}));
    video.sample(Hex("00 00 00 03 65 88 84"), KeyAt(1000)).sample(Hex("00 00 00 02 41 9A"), DeltaAt(1040));
    Chunk audio = Chunk::Audio("G711");
    audio.sample(Counting(5, 0x50), KeyAt(1050, "G711")).sample(Counting(6, 0x60), KeyAt(1070, "G711"));
    return InProgressRecording().chunk(video).chunk(audio).layout();
}

const std::vector<Bytes> kPayloads = {Hex("00 00 00 01 65 88 84"), Hex("00 00 00 01 41 9A"), Counting(5, 0x50),
                                      Counting(6, 0x60)};
const std::vector<uint64_t> kTimes = {1000, 1040, 1050, 1070};

TEST(TruncatedRecordingTest, CutAtEveryByteGivesOnlyCompleteChunksThenTheRest) {
    const RecordingLayout layout = TwoChunks();
    for (uint64_t cut = 0; cut <= layout.end; ++cut) {
        SCOPED_TRACE(cut);
        TempFile file(Part(layout.bytes, 0, cut));
        VIEWWHILEREC_HANDLE handle = nullptr;
        const int32_t init = VIEWWHILEREC_InitParser(&handle, file.c_str());
        if (cut < layout.mdatPayloadStart) {
            EXPECT_EQ(init, kNoNewData);
            EXPECT_EQ(handle, nullptr);
            continue;
        }
        ASSERT_EQ(init, kOk);
        ViewWhileRecImpl& reader = *static_cast<ViewWhileRecImpl*>(handle);

        size_t expected = 0;
        if (cut >= layout.chunks[0].end) expected = 2;
        if (cut >= layout.chunks[1].end) expected = 4;
        int32_t status = 0;
        std::vector<PacketView> packets = ReadAll(reader, &status, 10);
        EXPECT_EQ(status, kNoNewData);
        ASSERT_EQ(packets.size(), expected);

        // The writer finishes the file: the rest follows, each packet once.
        file.append(Part(layout.bytes, cut, layout.end));
        const std::vector<PacketView> rest = ReadAll(reader, &status, 10);
        EXPECT_EQ(status, kNoNewData);
        packets.insert(packets.end(), rest.begin(), rest.end());
        ASSERT_EQ(packets.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(packets[i].milliseconds, kTimes[i]);
            EXPECT_EQ(packets[i].payload, kPayloads[i]);
        }
        EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kOk);
    }
}

TEST(TruncatedRecordingTest, CutAtEveryByteWithoutGrowingNeverFails) {
    // Every entry point on every prefix: statuses only, never a crash.
    const RecordingLayout layout = TwoChunks();
    for (uint64_t cut = layout.mdatPayloadStart; cut <= layout.end; ++cut) {
        SCOPED_TRACE(cut);
        TempFile file(Part(layout.bytes, 0, cut));
        VIEWWHILEREC_HANDLE handle = nullptr;
        ASSERT_EQ(VIEWWHILEREC_InitParser(&handle, file.c_str()), kOk);
        const uint8_t* config = nullptr;
        uint32_t length = 0, tag = 0;
        uint16_t width = 0, height = 0;
        const int32_t info =
            VIEWWHILEREC_GetMediaInfo(handle, &config, &length, &tag, &width, &height, &config, &length, &tag);
        EXPECT_EQ(info, cut >= layout.chunks[0].end ? kOk : kNoNewData);
        EXPECT_EQ(VIEWWHILEREC_Seek(handle, 1040), cut >= layout.chunks[0].end ? kOk : kNoNewData);
        EXPECT_EQ(VIEWWHILEREC_SetBackward(handle, 1), kOk);
        TMediaPacket* packet = nullptr;
        const int32_t backward = VIEWWHILEREC_OutputRawPacket(handle, &packet);
        EXPECT_TRUE(backward == kOk || backward == kAtBeginning || backward == kNoNewData) << backward;
        EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kOk);
    }
}

}  // namespace

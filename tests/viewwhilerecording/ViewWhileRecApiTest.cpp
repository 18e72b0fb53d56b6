#include "viewwhilerecording/ViewWhileRec.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "PacketLayout.h"  // the C++ side of the layout that view_while_rec_from_c checks in C
#include "RecordingFixture.h"
#include "writer/IsoBoxes.h"

namespace {

using namespace vwrtest;

// Sentinel for out-values that must stay unwritten.
VIEWWHILEREC_HANDLE const kUntouched = reinterpret_cast<VIEWWHILEREC_HANDLE>(uintptr_t(0x5A5A));

// A handle on a file, released at the end.
class Parser {
public:
    explicit Parser(const std::string& path) { status = VIEWWHILEREC_InitParser(&handle, path.c_str()); }
    ~Parser() {
        if (handle) VIEWWHILEREC_ReleaseParser(&handle);
    }
    ViewWhileRecImpl& impl() const { return *static_cast<ViewWhileRecImpl*>(handle); }

    VIEWWHILEREC_HANDLE handle = nullptr;
    int32_t status = 0;
};

// Times of the packets handed out until the first non-zero status.
std::vector<uint64_t> Times(VIEWWHILEREC_HANDLE handle, int32_t* status, std::vector<uint32_t>* codecs = nullptr) {
    std::vector<uint64_t> times;
    for (int i = 0; i < 1000; ++i) {
        TMediaPacket* packet = nullptr;
        *status = VIEWWHILEREC_OutputRawPacket(handle, &packet);
        if (*status != kOk) break;
        times.push_back(uint64_t(packet->seconds) * 1000 + packet->milliseconds);
        if (codecs) codecs->push_back(packet->codecType);
    }
    return times;
}

Chunk VideoFrames(std::vector<uint64_t> times, uint64_t keyEvery = 1) {
    Chunk chunk = Chunk::Video("H264", 1280, 720);
    for (size_t i = 0; i < times.size(); ++i)
        chunk.sample(Counting(12, uint8_t(i)), i % keyEvery == 0 ? KeyAt(times[i]) : DeltaAt(times[i]));
    return chunk;
}

Chunk AudioFrames(std::vector<uint64_t> times) {
    Chunk chunk = Chunk::Audio("G711");
    for (uint64_t time : times) chunk.sample(Counting(4), KeyAt(time, "G711"));
    return chunk;
}

TEST(ViewWhileRecApiTest, MissingFileIsAnIOErrorAndTheHandleIsNotWritten) {
    VIEWWHILEREC_HANDLE handle = kUntouched;
    const std::string path = TempDirectory() + "/stampwalk-missing-recording.mp4";
    EXPECT_EQ(VIEWWHILEREC_InitParser(&handle, path.c_str()), kIOError);
    EXPECT_EQ(handle, kUntouched);
}

TEST(ViewWhileRecApiTest, NullArgumentsAreInvalid) {
    VIEWWHILEREC_HANDLE handle = nullptr;
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(VIEWWHILEREC_InitParser(nullptr, "x"), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_InitParser(&handle, nullptr), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_InitParserW(&handle, nullptr), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(nullptr), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_OutputRawPacket(nullptr, &packet), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetPlayMode(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_Seek(nullptr, 0), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetBackward(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetKeyFramesOnly(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetVideoOnly(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetKey(nullptr, Bytes(16).data(), 16), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_IsEncrypted(nullptr), 0);
    const uint8_t* config = nullptr;
    uint32_t length = 0, tag = 0;
    uint16_t width = 0, height = 0;
    EXPECT_EQ(VIEWWHILEREC_GetMediaInfo(nullptr, &config, &length, &tag, &width, &height, &config, &length, &tag),
              kInvalidArgument);

    TempFile file(InProgressRecording().chunk(VideoFrames({1000})).bytes());
    Parser parser(file.path());
    ASSERT_EQ(parser.status, kOk);
    EXPECT_EQ(VIEWWHILEREC_OutputRawPacket(parser.handle, nullptr), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_GetMediaInfo(parser.handle, nullptr, &length, &tag, &width, &height, &config, &length, &tag),
              kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_GetMediaInfo(parser.handle, &config, &length, &tag, &width, &height, nullptr, &length, &tag),
              kInvalidArgument);
}

TEST(ViewWhileRecApiTest, FilesWithoutAReachableMdatHaveNoNewData) {
    for (const Bytes& bytes :
         {Hex("00 00 00 08 66 74 79"), Ftyp().bytes(), Concat({Ftyp().bytes(), Free(100).bytes()})}) {
        TempFile file(bytes);
        VIEWWHILEREC_HANDLE handle = kUntouched;
        EXPECT_EQ(VIEWWHILEREC_InitParser(&handle, file.c_str()), kNoNewData);
        EXPECT_EQ(handle, kUntouched);
    }
}

TEST(ViewWhileRecApiTest, PacketsArriveAsTheWriterAppendsChunks) {
    TempFile placeholder;
    InProgressFile writer(placeholder.path());
    InProgressRecording recording;
    writer.appendHead(recording);
    Parser parser(writer.path());
    ASSERT_EQ(parser.status, kOk);
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{});
    EXPECT_EQ(status, kNoNewData);

    // A chunk written up to its last frame-information record is not taken.
    const Chunk first = VideoFrames({1000, 1040});
    const uint64_t almost = first.layout().end - 1;
    writer.appendChunk(first, {almost}, [&](uint64_t) {
        EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{});
        EXPECT_EQ(status, kNoNewData);
    });
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{1000, 1040}));
    EXPECT_EQ(status, kNoNewData);
    writer.appendChunk(VideoFrames({1080}));
    EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{1080});
    EXPECT_EQ(status, kNoNewData);
}

TEST(ViewWhileRecApiTest, SkipBoxAfterTheLastChunk) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 1040})).skipBox(Bytes(8, 0)).bytes());
    Parser parser(file.path());
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{1000, 1040}));
    EXPECT_EQ(status, kReachedSkipBox);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(VIEWWHILEREC_OutputRawPacket(parser.handle, &packet), kReachedSkipBox);
}

TEST(ViewWhileRecApiTest, PlayModes) {
    std::vector<uint64_t> videoTimes;
    for (uint64_t t = 1000000; t <= 1005500; t += 500) videoTimes.push_back(t);
    TempFile file(InProgressRecording()
                      .chunk(VideoFrames(videoTimes, 2))  // key frames every second
                      .chunk(AudioFrames({1000000, 1000100, 1002000, 1004100}))
                      .bytes());
    Parser parser(file.path());
    EXPECT_EQ(VIEWWHILEREC_SetPlayMode(parser.handle, 3), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetPlayMode(parser.handle, 0), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetPlayMode(parser.handle, 128), kInvalidArgument);
    EXPECT_EQ(parser.impl().skipSeconds, 0);
    EXPECT_EQ(VIEWWHILEREC_SetPlayMode(parser.handle, 32), kOk);
    EXPECT_EQ(parser.impl().skipSeconds, 2);
    int32_t status = 0;
    std::vector<uint32_t> codecs;
    EXPECT_EQ(Times(parser.handle, &status, &codecs), (std::vector<uint64_t>{1000000, 1002000, 1004000}));
    EXPECT_EQ(codecs, std::vector<uint32_t>(3, kCodecH264));
    EXPECT_EQ(status, kNoNewData);

    const std::pair<uint32_t, uint16_t> modes[] = {{1, 0}, {2, 0}, {4, 0}, {8, 0}, {16, 1}, {64, 4}};
    for (const auto& [mode, seconds] : modes) {
        EXPECT_EQ(VIEWWHILEREC_SetPlayMode(parser.handle, mode), kOk);
        EXPECT_EQ(parser.impl().skipSeconds, seconds) << mode;
    }
}

TEST(ViewWhileRecApiTest, KeyFramesOnlyAndVideoOnlyFlags) {
    TempFile file(
        InProgressRecording().chunk(VideoFrames({1000, 1040, 1080, 1120}, 2)).chunk(AudioFrames({1010})).bytes());
    Parser parser(file.path());
    EXPECT_EQ(VIEWWHILEREC_SetKeyFramesOnly(parser.handle, 5), kOk);
    EXPECT_TRUE(parser.impl().keyFramesOnly);
    int32_t status = 0;
    // Key frames only applies to every track; the audio frame is a key frame.
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{1000, 1010, 1080}));
    EXPECT_EQ(VIEWWHILEREC_SetVideoOnly(parser.handle, 1), kOk);
    EXPECT_TRUE(parser.impl().videoOnly);
    EXPECT_EQ(VIEWWHILEREC_SetKeyFramesOnly(parser.handle, 0), kOk);
    EXPECT_FALSE(parser.impl().keyFramesOnly);
}

TEST(ViewWhileRecApiTest, BackwardReadingEndsAtTheBeginning) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 1040, 1080})).bytes());
    Parser parser(file.path());
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status).size(), 3u);
    EXPECT_EQ(VIEWWHILEREC_SetBackward(parser.handle, 1), kOk);
    EXPECT_EQ(parser.impl().direction, -1);
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{1040, 1000}));
    EXPECT_EQ(status, kAtBeginning);
    EXPECT_EQ(VIEWWHILEREC_SetBackward(parser.handle, 0), kOk);
    EXPECT_EQ(parser.impl().direction, 1);
}

TEST(ViewWhileRecApiTest, SeekScansUntilATrackExists) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 2000, 3000, 4000}, 2)).bytes());
    Parser parser(file.path());
    EXPECT_TRUE(parser.impl().trackTable.empty());
    EXPECT_EQ(VIEWWHILEREC_Seek(parser.handle, 3500), kOk);
    EXPECT_EQ(parser.impl().seekTarget, 3500u);
    int32_t status = 0;
    // The next packet is 4000; its key frame is 3000.
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{3000, 4000}));
}

TEST(ViewWhileRecApiTest, SeekWithNothingIndexedHasNoNewData) {
    TempFile file(InProgressRecording().bytes());
    Parser parser(file.path());
    EXPECT_EQ(VIEWWHILEREC_Seek(parser.handle, 3500), kNoNewData);
    EXPECT_EQ(parser.impl().seekTarget, 0u);
}

TEST(ViewWhileRecApiTest, TrackCreatedAfterASeekJoinsAtTheSoughtTime) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 1050, 1100, 1150})).bytes());
    Parser parser(file.path());
    ASSERT_EQ(VIEWWHILEREC_Seek(parser.handle, 1100), kOk);
    file.append(AudioFrames({1000, 1050, 1100, 1150}).bytes());
    int32_t status = 0;
    std::vector<uint32_t> codecs;
    const std::vector<uint64_t> times = Times(parser.handle, &status, &codecs);
    // The audio chunk is scanned once the video packets are used up; its
    // packets before the sought time are passed by.
    EXPECT_EQ(times, (std::vector<uint64_t>{1100, 1150, 1100, 1150}));
    EXPECT_EQ(codecs, (std::vector<uint32_t>{kCodecH264, kCodecH264, kCodecUlaw, kCodecUlaw}));
}

TEST(ViewWhileRecApiTest, SeekPastTheEndWaitsForLaterPackets) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 1040})).bytes());
    Parser parser(file.path());
    ASSERT_EQ(VIEWWHILEREC_Seek(parser.handle, 5000), kOk);
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{});
    EXPECT_EQ(status, kNoNewData);
    file.append(VideoFrames({3000, 5000, 5040}).bytes());
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{5000, 5040}));
}

TEST(ViewWhileRecApiTest, BackwardSeek) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000, 2000, 3000})).bytes());
    Parser parser(file.path());
    ASSERT_EQ(VIEWWHILEREC_SetBackward(parser.handle, 1), kOk);
    ASSERT_EQ(VIEWWHILEREC_Seek(parser.handle, 2000), kOk);
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status), (std::vector<uint64_t>{2000, 1000}));
    EXPECT_EQ(status, kAtBeginning);
}

TEST(ViewWhileRecApiTest, KeysAndEncryption) {
    TempFile plain(InProgressRecording().chunk(VideoFrames({1000})).bytes());
    Parser clear(plain.path());
    int32_t status = 0;
    Times(clear.handle, &status);
    EXPECT_EQ(VIEWWHILEREC_IsEncrypted(clear.handle), 0);

    TempFile file(InProgressRecording().chunk(EncryptionRecordChunk(Bytes(8, 1))).chunk(VideoFrames({1000})).bytes());
    Parser parser(file.path());
    EXPECT_EQ(VIEWWHILEREC_IsEncrypted(parser.handle), 0);  // nothing scanned yet
    Times(parser.handle, &status);
    EXPECT_EQ(VIEWWHILEREC_IsEncrypted(parser.handle), 1);

    const Bytes key(16, 0x42);
    EXPECT_EQ(VIEWWHILEREC_SetKey(parser.handle, key.data(), 16), kOk);
    const auto* first = parser.impl().decryptor.get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(VIEWWHILEREC_SetKey(parser.handle, key.data(), 15), kInvalidArgument);
    EXPECT_EQ(VIEWWHILEREC_SetKey(parser.handle, nullptr, 16), kInvalidArgument);
    EXPECT_EQ(parser.impl().decryptor.get(), first);
    EXPECT_EQ(VIEWWHILEREC_SetKey(parser.handle, key.data(), 16), kOk);
    EXPECT_NE(parser.impl().decryptor.get(), nullptr);
}

TEST(ViewWhileRecApiTest, ReleaseClearsTheHandle) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000})).bytes());
    VIEWWHILEREC_HANDLE handle = nullptr;
    ASSERT_EQ(VIEWWHILEREC_InitParser(&handle, file.c_str()), kOk);
    // No packet was made yet: nothing to drop.
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kOk);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kInvalidArgument);

    ASSERT_EQ(VIEWWHILEREC_InitParser(&handle, file.c_str()), kOk);
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(VIEWWHILEREC_OutputRawPacket(handle, &packet), kOk);
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&handle), kOk);
}

TEST(ViewWhileRecApiTest, WidePath) {
    TempFile file(InProgressRecording().chunk(VideoFrames({1000})).bytes());
    const std::wstring path(file.path().begin(), file.path().end());
    VIEWWHILEREC_HANDLE handle = nullptr;
    ASSERT_EQ(VIEWWHILEREC_InitParserW(&handle, path.c_str()), kOk);
    int32_t status = 0;
    EXPECT_EQ(Times(handle, &status), std::vector<uint64_t>{1000});
    VIEWWHILEREC_ReleaseParser(&handle);
}

TEST(ViewWhileRecApiTest, MediaInfo) {
    Chunk video = VideoFrames({1000});
    video.configuration(H264ConfigurationArea(Hex("67 42"), {Hex("68 CE")}));
    Chunk audio = Chunk::Audio("AAC4");
    audio.configuration(Hex("12 10")).sample(Counting(4), KeyAt(1000, "aac "));
    TempFile file(InProgressRecording().chunk(video).chunk(audio).bytes());
    Parser parser(file.path());
    const uint8_t* videoConfig = nullptr;
    const uint8_t* audioConfig = nullptr;
    uint32_t videoLength = 0, videoTag = 0, audioLength = 0, audioTag = 0;
    uint16_t width = 0, height = 0;
    ASSERT_EQ(VIEWWHILEREC_GetMediaInfo(parser.handle, &videoConfig, &videoLength, &videoTag, &width, &height,
                                        &audioConfig, &audioLength, &audioTag),
              kOk);
    EXPECT_EQ(Bytes(videoConfig, videoConfig + videoLength), Hex("00 00 00 01 67 42 00 00 00 01 68 CE"));
    EXPECT_EQ(videoTag, ChunkTag("H264"));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_EQ(Bytes(audioConfig, audioConfig + audioLength), Hex("12 10"));
    EXPECT_EQ(audioTag, ChunkTag("AAC4"));
}

TEST(ViewWhileRecApiTest, MediaInfoOfG711NamesTheCodecFromItsConfiguration) {
    Chunk audio = Chunk::Audio("G711");
    audio.configuration(Text("ULAW")).sample(Counting(4), KeyAt(1000, "G711"));
    TempFile file(InProgressRecording().chunk(VideoFrames({1000})).chunk(audio).bytes());
    Parser parser(file.path());
    const uint8_t* videoConfig = nullptr;
    const uint8_t* audioConfig = reinterpret_cast<const uint8_t*>(kUntouched);
    uint32_t videoLength = 0, videoTag = 0, audioLength = 77, audioTag = 0;
    uint16_t width = 0, height = 0;
    ASSERT_EQ(VIEWWHILEREC_GetMediaInfo(parser.handle, &videoConfig, &videoLength, &videoTag, &width, &height,
                                        &audioConfig, &audioLength, &audioTag),
              kOk);
    EXPECT_EQ(std::memcmp(&audioTag, "ULAW", 4), 0);
    EXPECT_EQ(audioConfig, reinterpret_cast<const uint8_t*>(kUntouched));
    EXPECT_EQ(audioLength, 77u);
}

TEST(ViewWhileRecApiTest, MediaInfoWaitsForVideo) {
    TempFile file(InProgressRecording().chunk(AudioFrames({1000})).bytes());
    Parser parser(file.path());
    const uint8_t* config = nullptr;
    uint32_t length = 0, tag = 0;
    uint16_t width = 0, height = 0;
    EXPECT_EQ(VIEWWHILEREC_GetMediaInfo(parser.handle, &config, &length, &tag, &width, &height, &config, &length, &tag),
              kNoNewData);
}

TEST(ViewWhileRecApiTest, RecordThePacketAssemblyRefusesIsAnUnexpectedErrorAndReadingGoesOn) {
    MediaHeader header;
    header.seconds = 1;
    header.extension = Bytes(4, 0);
    MediaHeader noMotionWindows = header;
    noMotionWindows.extension = {};
    // A header length past the record's end, and an H.264 header whose
    // motion-window bits run past its 20 bytes: both records are indexed.
    for (const Bytes& refused :
         {FrameInfoRecord(header).forceHeaderLength(400).bytes(), FrameInfoRecord(noMotionWindows).bytes()}) {
        Chunk chunk = Chunk::Video("H264", 8, 8);
        chunk.sample(Counting(4), refused).sample(Counting(4), KeyAt(2000));
        TempFile file(InProgressRecording().chunk(chunk).bytes());
        Parser parser(file.path());
        TMediaPacket* packet = nullptr;
        EXPECT_EQ(VIEWWHILEREC_OutputRawPacket(parser.handle, &packet), kUnexpectedError);
        int32_t status = 0;
        EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{2000});
        EXPECT_EQ(status, kNoNewData);
    }
}

TEST(ViewWhileRecApiTest, SampleGoneFromTheFileIsAnIOErrorAndReadingGoesOn) {
    // The audio chunk comes first in the file, the earlier video frame last.
    // The second video sample is larger than any read buffer, so that its
    // bytes cannot have been read along with the first one.
    Chunk video = Chunk::Video("H264", 8, 8);
    video.sample(Counting(12), KeyAt(1000)).sample(Bytes(65536, 7), KeyAt(2000));
    const RecordingLayout layout = InProgressRecording().chunk(AudioFrames({3000})).chunk(video).layout();
    TempFile file(layout.bytes);
    Parser parser(file.path());
    TMediaPacket* packet = nullptr;
    ASSERT_EQ(VIEWWHILEREC_OutputRawPacket(parser.handle, &packet), kOk);  // scans both chunks
    ASSERT_EQ(::truncate(file.c_str(), off_t(layout.chunks[1].sampleStarts[1] + 100)), 0);
    EXPECT_EQ(VIEWWHILEREC_OutputRawPacket(parser.handle, &packet), kIOError);
    int32_t status = 0;
    EXPECT_EQ(Times(parser.handle, &status), std::vector<uint64_t>{3000});
}

}  // namespace

// A recording read through the VIEWWHILEREC_ functions while a child process
// writes it: the head in pieces, H.264 and G711 chunks, some whole, some in
// several writes, and a last chunk that is never finished. Every packet of
// every complete chunk must come out once, in its track's order, with the
// bytes the writer wrote, and nothing of a chunk that is not complete.
//
// Lockstep: the writer waits after every write until the reader has read all
// it can, so the packets of each write are known exactly. Free running: the
// writer does not wait and the reader polls, as a viewer of a camera does.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/TempFile.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/InProgressChunk.h"
#include "writer/InProgressRecording.h"

namespace {

using namespace writer;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSecond = 1720000000;
constexpr int kPairs = 6;  // complete video and audio chunks
constexpr int kVideoFrames = 5;
constexpr int kAudioFrames = 8;
const uint32_t kVideoTag = ChunkTag("H264");
const uint32_t kAudioTag = ChunkTag("G711");  // the smaller tag value: first at equal times

// ---- what the writer writes and the reader should hand out ------------------

struct Expected {
    uint32_t tag = 0;
    uint64_t timestamp = 0;  // milliseconds
    Bytes frame;             // media header with its length word, then the payload as handed out
    Bytes userData;          // the block: length word, then the items
};

struct Handed {
    uint32_t codecType = 0;
    uint64_t timestamp = 0;
    Bytes frame;
    Bytes userData;
};

Bytes Noise(size_t n, uint32_t seed) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = uint8_t(seed >> 16);
    }
    return bytes;
}

Bytes Header(const std::string& codec, uint8_t frameType, uint64_t ms) {
    MediaHeader header;
    header.codec = codec;
    header.frameType = frameType;
    header.seconds = kSecond + uint32_t(ms / 1000);
    header.milliseconds = uint16_t(ms % 1000);
    header.extension = Bytes(4, 0);
    return MediaHeaderBytes(header);
}

// The header's first word says how many bytes follow it: H - 4 + L.
Bytes FrameBytes(const Bytes& header, const Bytes& payload) {
    Bytes frame = header;
    const uint32_t following = uint32_t(header.size() - 4 + payload.size());
    for (int i = 0; i < 4; ++i) frame[size_t(i)] = uint8_t(following >> (24 - 8 * i));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

struct Recording {
    RecordingLayout layout;
    std::vector<std::vector<Expected>> chunkPackets;  // per chunk, in the file's order
    std::vector<uint64_t> cuts;                       // where each write ends, ascending
};

// Video chunk c: frames every 200 ms from c s; odd frames of two units.
Chunk VideoChunk(int c, std::vector<Expected>* packets) {
    Chunk chunk = Chunk::Video("H264", 320, 240);
    chunk.configuration(H264ConfigurationArea(MinimalAvcSps(320, 240), {MinimalAvcPps()}));
    for (int i = 0; i < kVideoFrames; ++i) {
        const uint64_t ms = uint64_t(c) * 1000 + 200 * uint64_t(i);
        std::vector<Bytes> units = {Concat({{uint8_t(i == 0 ? 0x65 : 0x41)}, Noise(300 + 97 * i, c * 16 + i)})};
        if (i % 2 == 1) units.push_back(Concat({{0x06}, Noise(11, c * 16 + i + 100)}));
        ByteWriter stored;
        ByteWriter handed;
        for (const Bytes& unit : units) {
            stored.u32(uint32_t(unit.size())).bytes(unit);
            handed.u32(1).bytes(unit);
        }
        const Bytes header = Header("h264", i == 0 ? 0 : 1, ms);
        const UserData userData = UserData()
                                      .recordTime(kSecond + uint32_t(ms / 1000), uint32_t(ms % 1000))
                                      .streamTime(uint32_t(ms / 1000), uint32_t(ms % 1000));
        chunk.sample(stored.data(), FrameInfoRecord().headerBytes(header).userData(userData));
        packets->push_back({kVideoTag, kSecond * 1000ull + ms, FrameBytes(header, handed.data()), userData.block()});
    }
    return chunk;
}

// Audio chunk c: frames every 125 ms from c s, copied as stored.
Chunk AudioChunk(int c, std::vector<Expected>* packets) {
    Chunk chunk = Chunk::Audio("G711");
    for (int j = 0; j < kAudioFrames; ++j) {
        const uint64_t ms = uint64_t(c) * 1000 + 125 * uint64_t(j);
        const Bytes payload = Noise(160 + 8 * j, 7000 + c * 16 + j);
        const Bytes header = Header("G711", 0, ms);
        const UserData userData = UserData().streamTime(uint32_t(ms / 1000), uint32_t(ms % 1000));
        chunk.sample(payload, FrameInfoRecord().headerBytes(header).userData(userData));
        packets->push_back({kAudioTag, kSecond * 1000ull + ms, FrameBytes(header, payload), userData.block()});
    }
    return chunk;
}

// Writes end inside the head, inside chunks at every kind of place, and
// sometimes only after a video chunk and the whole audio chunk behind it.
// The last chunk is cut inside its records and never finished.
Recording MakeRecording() {
    InProgressRecording recording;
    std::vector<std::vector<Expected>> packets;
    for (int c = 0; c <= kPairs; ++c) {
        packets.emplace_back();
        recording.chunk(VideoChunk(c, &packets.back()));
        if (c == kPairs) break;
        packets.emplace_back();
        recording.chunk(AudioChunk(c, &packets.back()));
    }
    Recording made;
    made.layout = recording.layout();
    made.chunkPackets = packets;

    std::vector<uint64_t>& cuts = made.cuts;
    cuts = {5, made.layout.mdatStart + 4, made.layout.mdatPayloadStart};
    const std::vector<ChunkLayout>& chunks = made.layout.chunks;
    for (size_t k = 0; k + 1 < chunks.size(); ++k) {
        const ChunkLayout& c = chunks[k];
        switch (k % 3) {
            case 0: break;  // one write
            case 1:
                cuts.push_back(c.samplesStart + (c.trailerStart - c.samplesStart) / 2);
                cuts.push_back(c.recordsStart + (c.end - c.recordsStart) / 2);
                break;
            case 2:
                for (uint64_t at : {c.start + 1, c.configurationStart, c.samplesStart, c.sampleStarts[2] + 3,
                                    c.trailerStart, c.recordsStart, c.recordStarts.back() + 5})
                    cuts.push_back(at);
                break;
        }
        const bool videoOfAnOddPair = k % 2 == 0 && (k / 2) % 2 == 1;
        if (!videoOfAnOddPair) cuts.push_back(c.end);
    }
    const ChunkLayout& last = chunks.back();
    cuts.push_back(last.trailerStart + 1);
    cuts.push_back(last.recordStarts[2] + 7);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return made;
}

// The packets of the chunks that end at or before `to` and after `from`,
// merged as the reader merges its tracks: by time, at equal times the
// smaller tag first.
std::vector<Expected> CompletedBetween(const Recording& made, uint64_t from, uint64_t to) {
    std::vector<Expected> packets;
    for (size_t k = 0; k < made.layout.chunks.size(); ++k) {
        const uint64_t end = made.layout.chunks[k].end;
        if (end > from && end <= to)
            packets.insert(packets.end(), made.chunkPackets[k].begin(), made.chunkPackets[k].end());
    }
    std::stable_sort(packets.begin(), packets.end(), [](const Expected& a, const Expected& b) {
        return std::tie(a.timestamp, a.tag) < std::tie(b.timestamp, b.tag);
    });
    return packets;
}

Handed Copy(const TMediaPacket& packet) {
    Handed handed;
    handed.codecType = packet.codecType;
    handed.timestamp = uint64_t(packet.seconds) * 1000 + packet.milliseconds;
    handed.frame.assign(packet.frameData, packet.frameData + packet.headerSize + packet.payloadSize);
    if (packet.userData) handed.userData.assign(packet.userData, packet.userData + packet.userDataSize);
    return handed;
}

uint32_t CodecTypeOf(uint32_t tag) { return tag == kVideoTag ? 0x8 : 0x2000; }

void ExpectSame(const std::vector<Handed>& handed, const std::vector<Expected>& expected, const std::string& where) {
    ASSERT_EQ(handed.size(), expected.size()) << where;
    for (size_t i = 0; i < handed.size(); ++i) {
        EXPECT_EQ(handed[i].codecType, CodecTypeOf(expected[i].tag)) << where << ", packet " << i;
        EXPECT_EQ(handed[i].timestamp, expected[i].timestamp) << where << ", packet " << i;
        EXPECT_TRUE(handed[i].frame == expected[i].frame) << where << ", packet " << i << ": frame bytes differ";
        EXPECT_EQ(handed[i].userData, expected[i].userData) << where << ", packet " << i;
    }
}

// ---- the writer ---------------------------------------------------------------

// A child process that writes the recording; killed if the test leaves early.
class Writer {
public:
    // With lockstep, the child reports every write on one pipe and waits for
    // the go-ahead on the other; else it pauses a little between writes.
    Writer(const std::string& path, const Recording& made, bool lockstep) {
        InProgressFile file(path);  // created empty before the reader looks
        if (lockstep && (pipe(written_) != 0 || pipe(goAhead_) != 0)) throw std::runtime_error("no pipes");
        child_ = fork();
        if (child_ < 0) throw std::runtime_error("no fork");
        if (child_ == 0) _exit(Run(file, made, lockstep));
        if (lockstep) {
            close(written_[1]);
            close(goAhead_[0]);
        }
    }
    ~Writer() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        for (int end : {written_[0], goAhead_[1]})
            if (end >= 0) close(end);
    }

    // Lockstep: waits until the next write is done; false at the deadline or
    // when the writer has ended.
    bool awaitWrite(Clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd watched{written_[0], POLLIN, 0};
            const int ready = poll(&watched, 1, int(std::min<long long>(left, 1000)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) continue;
            char token;
            return read(written_[0], &token, 1) == 1;
        }
    }
    void goAhead() {
        const char token = 'g';
        if (write(goAhead_[1], &token, 1) != 1) ADD_FAILURE() << "the writer is gone";
    }

    // Free running: whether the writer has ended; *ok tells how.
    bool ended(bool* ok) {
        int status = 0;
        if (waitpid(child_, &status, WNOHANG) != child_) return false;
        child_ = -1;
        *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return true;
    }
    // Waits for the writer's end; true when it exited with 0.
    bool join() {
        int status = 0;
        const bool reaped = waitpid(child_, &status, 0) == child_;
        child_ = -1;
        return reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    int Run(InProgressFile& file, const Recording& made, bool lockstep) {
        try {
            if (lockstep) {
                close(written_[0]);
                close(goAhead_[1]);
            }
            uint64_t done = 0;
            for (size_t i = 0; i < made.cuts.size(); ++i) {
                file.append(BytesBetween(made.layout.bytes, done, made.cuts[i]));
                done = made.cuts[i];
                if (lockstep) {
                    const char token = 'w';
                    if (write(written_[1], &token, 1) != 1) return 3;
                    // The reader answers within its deadline or is gone.
                    pollfd watched{goAhead_[0], POLLIN, 0};
                    char answer;
                    if (poll(&watched, 1, 10000) != 1 || read(goAhead_[0], &answer, 1) != 1) return 4;
                } else {
                    std::this_thread::sleep_for(std::chrono::microseconds(500 + 700 * (i % 4)));
                }
            }
            return 0;
        } catch (...) {
            return 2;
        }
    }

    pid_t child_ = -1;
    int written_[2] = {-1, -1};
    int goAhead_[2] = {-1, -1};
};

// ---- the tests ------------------------------------------------------------------

TEST(LiveRecordingTest, LockstepEveryWriteHandsOutExactlyItsCompletedChunks) {
    const Recording made = MakeRecording();
    TempFile file;
    Writer writer(file.path(), made, true);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);

    VIEWWHILEREC_HANDLE parser = nullptr;
    uint64_t before = 0;
    for (size_t step = 0; step < made.cuts.size(); ++step) {
        const uint64_t size = made.cuts[step];
        const std::string where = "after the write that ends at " + std::to_string(size);
        ASSERT_TRUE(writer.awaitWrite(deadline)) << "no write reported " << where;
        if (!parser) {
            // Until the "mdat" header is complete there is nothing to open.
            const int32_t status = VIEWWHILEREC_InitParser(&parser, file.c_str());
            ASSERT_EQ(status, size >= made.layout.mdatPayloadStart ? kOk : kNoNewData) << where;
        }
        if (parser) {
            std::vector<Handed> handed;
            int32_t status = kOk;
            for (int guard = 0; guard < 1000; ++guard) {
                TMediaPacket* packet = nullptr;
                status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
                if (status != kOk) break;
                handed.push_back(Copy(*packet));
            }
            EXPECT_EQ(status, kNoNewData) << where;
            ExpectSame(handed, CompletedBetween(made, before, size), where);
            if (::testing::Test::HasFailure()) {
                VIEWWHILEREC_ReleaseParser(&parser);
                return;  // the writer is killed
            }
            before = size;
        }
        writer.goAhead();
    }
    EXPECT_TRUE(writer.join());
    // The unfinished last chunk gave nothing.
    EXPECT_LT(before, made.layout.chunks.back().end);
    if (parser) {
        EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&parser), kOk);
    }
}

TEST(LiveRecordingTest, FreeRunningReaderGetsEveryCompletePacketOnceInTrackOrder) {
    const Recording made = MakeRecording();
    TempFile file;
    Writer writer(file.path(), made, false);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);

    VIEWWHILEREC_HANDLE parser = nullptr;
    std::vector<Handed> handed;
    bool writerEnded = false;
    bool writerOk = false;
    for (;;) {
        ASSERT_LT(Clock::now(), deadline) << "still reading at the deadline, " << handed.size() << " packets";
        // Sampled before the reading, so that a drain after the end sees every byte.
        const bool endedBefore = writerEnded || (writerEnded = writer.ended(&writerOk));
        int32_t status = kNoNewData;
        if (!parser) {
            status = VIEWWHILEREC_InitParser(&parser, file.c_str());
            ASSERT_TRUE(status == kOk || status == kNoNewData) << std::hex << status;
        }
        while (parser) {
            TMediaPacket* packet = nullptr;
            status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
            if (status != kOk) break;
            handed.push_back(Copy(*packet));
        }
        ASSERT_EQ(status, kNoNewData);
        if (endedBefore) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(writerOk);
    ASSERT_TRUE(parser);
    EXPECT_EQ(VIEWWHILEREC_ReleaseParser(&parser), kOk);

    // Per track: every packet of its complete chunks, once, in order. The
    // order across tracks depends on when the reader looked.
    const std::vector<Expected> all = CompletedBetween(made, 0, made.cuts.back());
    ASSERT_EQ(all.size(), size_t(kPairs) * (kVideoFrames + kAudioFrames));
    for (uint32_t tag : {kVideoTag, kAudioTag}) {
        std::vector<Expected> expected;
        std::vector<Handed> ofTrack;
        for (const Expected& packet : all)
            if (packet.tag == tag) expected.push_back(packet);
        for (const Handed& packet : handed)
            if (packet.codecType == CodecTypeOf(tag)) ofTrack.push_back(packet);
        ExpectSame(ofTrack, expected, "track " + ChunkTagText(tag));
    }
    EXPECT_EQ(handed.size(), all.size());
}

}  // namespace

// How the fallback run ends: with the InitParser status alone when no media
// data can be reached, after the packets of the complete chunks when the last
// chunk is still being written, with the skip-box status when a "skip" box
// follows the last chunk, and silently when a time jumps too far ahead.
#include "FallbackLinesTest.h"

#include <openssl/evp.h>

namespace {

using namespace fallbacklines;
using writer::RecordingLayout;

constexpr uint32_t S = 1720000000;

Bytes Counting(size_t n, uint8_t first) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(first + 5 * i);
    return bytes;
}

// ---- no media data -------------------------------------------------------------

struct NoMdatCase {
    std::string label;
    Bytes file;
};
void PrintTo(const NoMdatCase& param, std::ostream* out) { *out << param.label; }

std::vector<NoMdatCase> NoMdatCases() {
    const Bytes ftyp = writer::Ftyp().bytes();
    // A complete chunk behind the unreachable "mdat", so that reaching it
    // would print a frame line.
    const Bytes chunk = Chunk::Video("H264", 176, 144).sample(Bytes(12, 0x41), Record(Header("h264", 0, S, 0))).bytes();
    const Bytes mdat = writer::Concat({ByteWriter().u32(0).fourcc("mdat").take(), chunk});
    return {
        {"SevenBytes", Bytes(ftyp.begin(), ftyp.begin() + 7)},
        {"BoxesEndBeforeMdat", ftyp},
        // A box not written yet whose size reaches past the end of the file.
        {"BoxPastTheEnd", writer::Concat({ftyp, ByteWriter().u32(4096).fourcc("free").zeros(8).take()})},
        // A size below the header's 8 bytes stops the walk before "mdat".
        {"BoxSmallerThanItsHeader", writer::Concat({ftyp, ByteWriter().u32(4).fourcc("free").take(), mdat})},
    };
}

class FallbackLinesNoMdat : public ::testing::TestWithParam<NoMdatCase> {};

TEST_P(FallbackLinesNoMdat, PrintsTheInitParserStatusAndNothingMore) {
    std::string path;
    const std::string report = ReportOf(GetParam().file, 1, &path);
    EXPECT_EQ(report, OpenFailure(path, "432102"));
}

INSTANTIATE_TEST_SUITE_P(Files, FallbackLinesNoMdat, ::testing::ValuesIn(NoMdatCases()),
                         [](const ::testing::TestParamInfo<NoMdatCase>& info) { return info.param.label; });

// ---- a last chunk not yet complete ----------------------------------------------

// Two complete chunks, video then G711 audio, and a third, video again, that
// the file may end inside. Time type 2: stream times 0.000 to 0.160.
struct ThreeChunks {
    InProgressRecording recording;
    std::vector<Frame> completeLines;  // of the first two chunks, merged
    std::vector<Frame> lastChunkLines;
};

ThreeChunks MakeThreeChunks() {
    ThreeChunks made;
    auto videoHeader = [](uint8_t type, uint16_t ms) { return Header("h264", type, S, ms); };
    auto audioHeader = [](uint16_t ms) { return Header("G711", 0, S, ms); };
    auto streamTime = [](uint16_t ms) { return UserData().streamTime(0, ms); };
    auto frame = [](const std::string& codec, char letter, uint16_t ms, const Bytes& header, const Bytes& payload) {
        Frame line;
        line.codec = codec;
        line.letter = letter;
        line.time = Time{0, ms, 0, 0};
        line.mediaHeader = header;
        line.payload = payload;
        return line;
    };
    // Video samples of one unit behind a prefix; handed out with a start code.
    auto unit = [](uint8_t first) { return writer::Concat({{0x41}, Counting(7, first)}); };
    auto stored = [](const Bytes& unit) { return framelines::LengthPrefixed({unit}); };
    auto handed = [](const Bytes& unit) { return writer::Concat({framelines::kStartCode, unit}); };

    Chunk first = Chunk::Video("H264", 176, 144);
    Chunk audio = Chunk::Audio("G711");
    Chunk last = Chunk::Video("H264", 176, 144);
    last.configuration(writer::H264ConfigurationArea(framelines::kSps, {framelines::kPps}));
    const uint16_t videoTimes[] = {0, 40, 80};
    for (int i = 0; i < 3; ++i) {
        const Bytes header = videoHeader(i == 0 ? 0 : 1, videoTimes[i]);
        first.sample(stored(unit(uint8_t(0x10 * i))), Record(header, streamTime(videoTimes[i])));
    }
    const uint16_t audioTimes[] = {0, 60};
    for (int i = 0; i < 2; ++i) {
        const Bytes header = audioHeader(audioTimes[i]);
        audio.sample(Counting(32, uint8_t(0x70 + i)), Record(header, streamTime(audioTimes[i])));
    }
    const uint16_t lastTimes[] = {120, 160};
    for (int i = 0; i < 2; ++i) {
        const Bytes header = videoHeader(i == 0 ? 0 : 2, lastTimes[i]);
        last.sample(stored(unit(uint8_t(0xC0 + i))), Record(header, streamTime(lastTimes[i])));
    }
    made.recording.chunk(first).chunk(audio).chunk(last);

    // At 0 ms "G711" goes before "H264": its tag is the smaller number.
    made.completeLines = {
        frame("ULAW", 'I', 0, audioHeader(0), Counting(32, 0x70)),
        frame("H264", 'I', 0, videoHeader(0, 0), handed(unit(0x00))),
        frame("H264", 'P', 40, videoHeader(1, 40), handed(unit(0x10))),
        frame("ULAW", 'I', 60, audioHeader(60), Counting(32, 0x71)),
        frame("H264", 'P', 80, videoHeader(1, 80), handed(unit(0x20))),
    };
    made.lastChunkLines = {
        frame("H264", 'I', 120, videoHeader(0, 120), handed(unit(0xC0))),
        frame("H264", 'B', 160, videoHeader(2, 160), handed(unit(0xC1))),
    };
    return made;
}

TEST(FallbackLinesGrowing, AllChunksCompleteGiveEveryPacket) {
    const ThreeChunks made = MakeThreeChunks();
    std::string path;
    const std::string report = ReportOf(made.recording.bytes(), 2, &path);
    std::vector<Frame> all = made.completeLines;
    all.insert(all.end(), made.lastChunkLines.begin(), made.lastChunkLines.end());
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(all) + kNoNewDataLine);
}

struct CutCase {
    std::string label;
    // Where the file ends, from the last chunk's layout.
    uint64_t (*cut)(const writer::ChunkLayout& last);
};
void PrintTo(const CutCase& param, std::ostream* out) { *out << param.label; }

std::vector<CutCase> CutCases() {
    return {
        {"AtItsStart", [](const writer::ChunkLayout& c) { return c.start; }},
        {"InsideTheIndexRecord", [](const writer::ChunkLayout& c) { return c.start + 2; }},
        {"InsideTheConfiguration", [](const writer::ChunkLayout& c) { return c.configurationStart + 3; }},
        {"InsideTheSamples", [](const writer::ChunkLayout& c) { return c.sampleStarts[1] + 1; }},
        {"BeforeTheTrailer", [](const writer::ChunkLayout& c) { return c.trailerStart; }},
        {"BeforeTheRecords", [](const writer::ChunkLayout& c) { return c.recordsStart; }},
        {"InsideTheLastRecord", [](const writer::ChunkLayout& c) { return c.recordStarts[1] + 20; }},
        {"OneByteShort", [](const writer::ChunkLayout& c) { return c.end - 1; }},
    };
}

class FallbackLinesCutInTheLastChunk : public ::testing::TestWithParam<CutCase> {};

TEST_P(FallbackLinesCutInTheLastChunk, GivesOnlyThePacketsOfCompleteChunks) {
    const ThreeChunks made = MakeThreeChunks();
    const RecordingLayout layout = made.recording.layout();
    ASSERT_EQ(layout.chunks.size(), 3u);
    const Bytes cut = writer::BytesBetween(layout.bytes, 0, GetParam().cut(layout.chunks[2]));

    std::string path;
    const std::string report = ReportOf(cut, 2, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(made.completeLines) + kNoNewDataLine);
}

INSTANTIATE_TEST_SUITE_P(Cuts, FallbackLinesCutInTheLastChunk, ::testing::ValuesIn(CutCases()),
                         [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.label; });

// ---- a "skip" box after the last chunk --------------------------------------

TEST(FallbackLinesSkipBox, AfterTheLastChunkEndsWithItsStatus) {
    const Bytes header = Header("G711", 0, S, 0);
    Chunk audio = Chunk::Audio("G711");
    audio.sample(Counting(32, 0x70), Record(header, UserData().streamTime(3, 250)));
    // The chunk after the "skip" box is never reached.
    InProgressRecording recording;
    recording.chunk(audio).skipBox(Bytes(4, 0)).chunk(audio);

    Frame line;
    line.codec = "ULAW";
    line.time = Time{3, 250, 0, 0};
    line.mediaHeader = header;
    line.payload = Counting(32, 0x70);
    std::string path;
    const std::string report = ReportOf(recording.bytes(), 2, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Line(line) + kSkipBoxLine);
}

TEST(FallbackLinesSkipBox, RightAfterTheMdatHeaderGivesNoFrameLine) {
    InProgressRecording recording;
    recording.skipBox();
    std::string path;
    const std::string report = ReportOf(recording.bytes(), 1, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + kSkipBoxLine);
}

// ---- the running-minimum stop ---------------------------------------------------

// The stop looks at the header's seconds, whatever time the line shows: a
// time below the smallest so far is reported, one up to 0x7FFFFFFF above it
// too, and one 0x80000000 above it ends the run without a status line.
TEST(FallbackLinesRunningMinimum, EndsTheRunSilently) {
    const uint32_t seconds[] = {100, 90, 95, 90 + 0x7FFFFFFFu, 90 + 0x80000000u, 60};
    Chunk chunk = Chunk::Video("H264", 176, 144);
    std::vector<Frame> reported;
    for (uint16_t i = 0; i < 6; ++i) {
        const Bytes header = Header("h264", i == 0 ? 0 : 1, seconds[i], uint16_t(10 * i));
        const Bytes unit = writer::Concat({{0x41}, Counting(5, uint8_t(i))});
        chunk.sample(framelines::LengthPrefixed({unit}), Record(header, UserData().streamTime(7, 40u * i)));
        if (i < 4) {
            Frame line;
            line.letter = i == 0 ? 'I' : 'P';
            line.time = Time{7, 40u * i, 0, 0};
            line.mediaHeader = header;
            line.payload = writer::Concat({framelines::kStartCode, unit});
            reported.push_back(line);
        }
    }
    // A later chunk is not reached either.
    Chunk later = Chunk::Video("H264", 176, 144);
    later.sample(Bytes{0x41, 0x42, 0x43}, Record(Header("h264", 1, 61, 0)));

    std::string path;
    const std::string report = ReportOf(InProgressRecording().chunk(chunk).chunk(later).bytes(), 2, &path);
    EXPECT_EQ(report, OpenFailure(path, "0") + Lines(reported));
}

}  // namespace

// The check of a recording in progress cut inside its third chunk: the two
// complete chunks are read, and the result says how far they reach (the
// latest frame time, S + 80 ms) and how many bytes of the third are there.
// The first video frame is marked I but holds a non-IDR unit (0x41): a
// key-mismatch, so the status with --check is "findings".
TEST(FallbackCheck, SaysHowFarTheRecordingIsComplete) {
    const ThreeChunks made = MakeThreeChunks();
    const RecordingLayout layout = made.recording.layout();
    const uint64_t cutAt = layout.chunks[2].sampleStarts[1] + 1;
    testsupport::TempFile file(writer::BytesBetween(layout.bytes, 0, cutAt));
    const std::string pending = std::to_string(cutAt - layout.chunks[2].start);
    const std::string reached = std::to_string(uint64_t(S) * 1000 + 80);
    const std::string progress = R"("chunks":2,"samples":5,"reachedTime":)" + reached.substr(0, reached.size() - 3) +
                                 "." + reached.substr(reached.size() - 3) + R"(,"pendingBytes":)" + pending + "}\n";
    const auto run = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {"-p", file.path(), "-t", "2"});
        return testsupport::RunProgram(STAMPWALK_BINARY, options);
    };
    const auto result = [](const std::string& output) { return output.substr(output.rfind("{\"type\":\"result\"")); };

    const testsupport::ProgramRun json = run({"--format", "json"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(
        result(json.output),
        R"({"type":"result","status":"in-progress","checked":false,"frames":5,"tracks":2,"findings":0,)" + progress);
    const testsupport::ProgramRun checked = run({"--check", "--format", "json"});
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_EQ(result(checked.output),
              R"({"type":"result","status":"findings","checked":true,"frames":5,"tracks":2,"findings":1,)" + progress);

    const testsupport::ProgramRun text = run({"--check"});
    EXPECT_EQ(text.exitCode, 1);
    const std::string section = text.output.substr(text.output.find(kNoNewDataLine) + kNoNewDataLine.size());
    for (const std::string& line : std::vector<std::string>{
             "check track 1 ULAW: frames read 2, samples in the index 2\n",
             "check track 2 H264 video: frames read 3, samples in the index 3\n",
             "finding: key-mismatch track 2 frame 0 time 0.000 s: marked key, but no IDR or IRAP unit\n",
             "check: in progress, 2 complete chunks, 5 samples up to " + reached + " ms, " + pending +
                 " bytes not complete yet\nCongratulation!"}) {
        EXPECT_NE(section.find(line), std::string::npos) << line << section;
    }
}

namespace {

// AES-128 in counter mode from the counter block nonce || 0, as the camera
// protects a sample, by OpenSSL apart from the reader's own code.
Bytes CounterMode(const Bytes& key, const Bytes& nonce, const Bytes& data) {
    Bytes iv = writer::Concat({nonce, Bytes(8, 0)});
    Bytes out(data.size() + 16);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int length = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_ctr(), nullptr, key.data(), iv.data());
    EVP_EncryptUpdate(context, out.data(), &length, data.data(), int(data.size()));
    EVP_CIPHER_CTX_free(context);
    out.resize(size_t(length));
    return out;
}

std::string PayloadCrc(const std::string& path, const std::vector<std::string>& keyOptions) {
    std::vector<std::string> arguments = {"-p", path, "-t", "1", "--format", "json"};
    arguments.insert(arguments.end(), keyOptions.begin(), keyOptions.end());
    const std::string output = testsupport::RunProgram(STAMPWALK_BINARY, arguments).output;
    const size_t at = output.find("\"payloadCrc32\":\"");
    return at == std::string::npos ? "" : output.substr(at + 16, 8);
}

// A protected G.726 sample of a recording in progress: with the key, given
// for all tracks or under any identifier (the recording names none), the
// payload's CRC is the clear bytes'; without it, the stored bytes'.
TEST(FallbackKey, DecryptsTheSamplesOfARecordingInProgress) {
    const Bytes key = writer::Hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    const Bytes nonce = writer::Hex("AA AA AA AA 00 00 00 00");
    const Bytes plain = Counting(20, 0x80);
    const Bytes stored = CounterMode(key, nonce, plain);
    Chunk audio = Chunk::Audio("G726");
    audio.sample(stored, Record(Header("G726", 0, S, 0)));
    testsupport::TempFile file(
        InProgressRecording().chunk(writer::EncryptionRecordChunk(nonce, "G726")).chunk(audio).bytes());
    const auto crc = [](const Bytes& bytes) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", framelines::Crc(bytes));
        return std::string(text);
    };
    const std::string hexKey = "00112233445566778899aabbccddeeff";
    EXPECT_EQ(PayloadCrc(file.path(), {"--key", hexKey}), crc(plain));
    EXPECT_EQ(PayloadCrc(file.path(), {"--key", std::string(32, '1') + ":" + hexKey}), crc(plain));
    EXPECT_EQ(PayloadCrc(file.path(), {}), crc(stored));
}

}  // namespace

namespace {

// A chunk of two video samples whose first record is cut three bytes into
// its user data: the packet cannot be built, the read fails before any
// packet, and the track that handed out nothing still shows in the check
// with its two indexed samples.
TEST(FallbackCheck, CountsATrackThatHandedOutNothing) {
    Chunk video = Chunk::Video("H264", 176, 144);
    Bytes cut = Record(Header("h264", 0, S, 0), UserData().streamTime(0, 0));
    cut.resize(cut.size() - 3);
    video.sample(framelines::LengthPrefixed({Counting(8, 0x10)}), cut);
    video.sample(framelines::LengthPrefixed({Counting(8, 0x20)}), Record(Header("h264", 1, S, 40)));
    testsupport::TempFile file(InProgressRecording().chunk(video).bytes());
    const testsupport::ProgramRun run =
        testsupport::RunProgram(STAMPWALK_BINARY, {"-p", file.path(), "-t", "1", "--check", "--format", "json"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(
        run.output.find(R"({"type":"track","track":1,"codec":"H264","codecType":8,"video":true,"sampleCount":2,)"),
        std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(R"("check":"count","track":1,"index":0,"time":null,"message":"frames read 0, samples in )"
                              R"(the index 2"})"),
              std::string::npos)
        << run.output;
}

}  // namespace

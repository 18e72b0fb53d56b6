// The machine-readable output on the ffmpeg files: every frame line of the
// text run has its JSON object and CSV row, with the same codec, letter, CRC
// and size; the stored payload's CRC and the container's times agree with
// ffprobe's packets; keys decrypt what the clear files hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FigureFile.h"
#include "ToolRun.h"
#include "support/TempFile.h"

using datatest::JsonField;
using datatest::RunStampwalk;
using datatest::StartsWith;
using datatest::ToolRun;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;
const std::string kKey = "2b7e151628aed2a6abf7158809cf4f3c";  // cenc_key.txt
const std::string kKid = "7374616d7077616c6b5f6b69645f3031";

std::vector<std::string> FrameObjects(const ToolRun& run) {
    std::vector<std::string> frames;
    for (const std::string& line : run.lines) {
        if (StartsWith(line, R"({"type":"frame")")) frames.push_back(line);
    }
    return frames;
}

std::vector<std::string> Field(const std::vector<std::string>& objects, const std::string& name) {
    std::vector<std::string> values;
    for (const std::string& object : objects) values.push_back(JsonField(object, name));
    return values;
}

class MachineOutput : public ::testing::TestWithParam<const char*> {};

// "Stream:H264 Frame:I ... CRC32:F88F21C9 Size:2517 ..." against the frame
// object's codec, frameType, crc32 and size, line by line; the CSV rows carry
// the same CRCs in the same order.
TEST_P(MachineOutput, AgreesWithTheTextLines) {
    const std::string path = kDataDir + "/" + GetParam();
    std::vector<std::string> fromText;
    for (const std::string& line : RunStampwalk(path, 1).lines) {
        char codec[8] = {};
        char letter = 0;
        unsigned crc = 0;
        unsigned size = 0;
        if (!StartsWith(line, "Stream:")) continue;
        const size_t crcAt = line.find("CRC32:");
        ASSERT_EQ(std::sscanf(line.c_str(), "Stream:%4s Frame:%c", codec, &letter), 2) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + crcAt, "CRC32:%X Size:%u", &crc, &size), 2) << line;
        char text[64];
        std::snprintf(text, sizeof text, "%s %c %08X %u", codec, letter, crc, size);
        fromText.push_back(text);
    }

    const ToolRun json = RunStampwalk(path, 1, {"--format", "json"});
    EXPECT_EQ(json.exitCode, 0);
    for (const std::string& line : json.lines) EXPECT_TRUE(StartsWith(line, R"({"type":")")) << line;
    ASSERT_FALSE(json.lines.empty());
    EXPECT_TRUE(StartsWith(json.lines.back(), R"({"type":"result","status":"ok")")) << json.lines.back();
    std::vector<std::string> fromJson;
    for (const std::string& frame : FrameObjects(json)) {
        fromJson.push_back(JsonField(frame, "codec") + " " + JsonField(frame, "frameType") + " " +
                           JsonField(frame, "crc32") + " " + JsonField(frame, "size"));
    }
    EXPECT_FALSE(fromText.empty());
    EXPECT_EQ(fromJson, fromText);

    const ToolRun csv = RunStampwalk(path, 1, {"--format", "csv"});
    ASSERT_EQ(csv.lines.size(), fromText.size() + 1);
    for (size_t row = 0; row < fromText.size(); ++row) {
        const std::string crc = fromText[row].substr(7, 8);
        EXPECT_NE(csv.lines[row + 1].find("," + crc + ","), std::string::npos) << csv.lines[row + 1];
    }
}

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, MachineOutput,
                         ::testing::Values("h264_bframes.mp4", "h264_nobframes.mp4", "hevc.mp4", "mpeg4.mp4", "aac.m4a",
                                           "amrnb.3gp", "ulaw.mov", "h264_aac.mp4", "h264_cenc.mp4", "aac_cenc.m4a",
                                           "check_clean.mp4", "check_dropped.mp4", "check_jump.mp4", "check_gop.mp4",
                                           "check_keymoved.mp4", "check_corrupt.mp4"));

// ffprobe's CRC32 of a packet is zlib's CRC over the stored bytes, which the
// reader hands out unchanged for AAC and AMR: payloadCrc32 must equal it,
// packet for packet. The protected AAC file with its key gives the clear
// file's bytes, whichever form of the key names it.
struct PayloadCase {
    const char* file;
    std::vector<std::string> options;
    const char* figures;  // the ffprobe figures of the clear bytes
};

class PayloadCrc : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(PayloadCrc, IsFfprobesPacketHash) {
    const PayloadCase& row = GetParam();
    const datatest::FigureFile figures = datatest::ReadFigureFile(kDataDir + "/" + row.figures);
    std::vector<std::string> expected;
    for (const datatest::FigureLine* packet : figures.Section("packet")) {
        std::string hash = packet->Text("data_hash").substr(6);  // "CRC32:d601a847"
        for (char& c : hash) c = char(std::toupper(static_cast<unsigned char>(c)));
        expected.push_back(hash);
    }
    const ToolRun json = RunStampwalk(kDataDir + "/" + row.file, 1, row.options);
    EXPECT_EQ(Field(FrameObjects(json), "payloadCrc32"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    FfmpegFiles, PayloadCrc,
    ::testing::Values(PayloadCase{"aac.m4a", {"--format", "json"}, "aac.m4a.ffprobe.txt"},
                      PayloadCase{"amrnb.3gp", {"--format", "json"}, "amrnb.3gp.ffprobe.txt"},
                      PayloadCase{"aac_cenc.m4a", {"--format", "json", "--key", kKey}, "aac.m4a.ffprobe.txt"},
                      PayloadCase{
                          "aac_cenc.m4a", {"--format", "json", "--key", kKid + ":" + kKey}, "aac.m4a.ffprobe.txt"}));

// The protected H.264 file holds h264_nobframes.mp4's samples: with the key
// its payloads are the clear file's (a decrypted key frame gets no parameter
// sets in front, the clear one does, and the payload CRC leaves them out),
// without it (or with the key under another identifier) they are not.
TEST(KeyOption, DecryptsTheProtectedVideoToTheClearFile) {
    const auto payloads = [](const std::string& file, std::vector<std::string> options) {
        options.insert(options.begin(), {"--format", "json"});
        std::vector<std::string> crcs;
        for (const std::string& frame : FrameObjects(RunStampwalk(kDataDir + "/" + file, 1, options))) {
            crcs.push_back(JsonField(frame, "payloadCrc32"));
        }
        return crcs;
    };
    const std::vector<std::string> clear = payloads("h264_nobframes.mp4", {});
    ASSERT_EQ(clear.size(), 80u);
    EXPECT_EQ(payloads("h264_cenc.mp4", {"--key", kKey}), clear);
    EXPECT_EQ(payloads("h264_cenc.mp4", {"--key", kKid + ":" + kKey}), clear);
    const std::vector<std::string> otherKid = payloads("h264_cenc.mp4", {"--key", std::string(32, '0') + ":" + kKey});
    ASSERT_EQ(otherKid.size(), clear.size());
    EXPECT_NE(otherKid, clear);
    EXPECT_EQ(otherKid, payloads("h264_cenc.mp4", {}));
}

// Times in ticks of 12800 per second: ffprobe's dts and pts are the media's
// less the edit's media time, so decodeTime = (dts - first dts) / 12800,
// presentationTime = (pts - first dts) / 12800, duration = duration / 12800,
// for the B-frame track, whose decode and presentation orders differ.
TEST(ContainerTimes, AreFfprobesPacketTimes) {
    const datatest::FigureFile figures = datatest::ReadFigureFile(kDataDir + "/h264_bframes.mp4.ffprobe.txt");
    const std::vector<std::string> frames =
        FrameObjects(RunStampwalk(kDataDir + "/h264_bframes.mp4", 1, {"--format", "json"}));
    const std::vector<const datatest::FigureLine*> packets = figures.Section("packet");
    ASSERT_EQ(frames.size(), packets.size());
    const double first = double(packets.front()->Signed("dts"));
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto seconds = [&](const char* name) { return std::stod(JsonField(frames[i], name)); };
        EXPECT_NEAR(seconds("decodeTime"), (double(packets[i]->Signed("dts")) - first) / 12800, 1e-9) << i;
        EXPECT_NEAR(seconds("presentationTime"), (double(packets[i]->Signed("pts")) - first) / 12800, 1e-9) << i;
        EXPECT_NEAR(seconds("duration"), double(packets[i]->Signed("duration")) / 12800, 1e-9) << i;
        EXPECT_EQ(JsonField(frames[i], "key"), packets[i]->Text("flags")[0] == 'K' ? "true" : "false") << i;
    }
}

}  // namespace

namespace {

// The slice types worked out from ffprobe's packets of the video stream
// (stream 0, the summary's track 1) alone: a key packet is I;
// in decode order a packet presented after every packet before it is P, one
// presented before some earlier packet is B (the encoders' B-frames are the
// only frames that wait for a later one).
class CodedTypes : public ::testing::TestWithParam<const char*> {};

TEST_P(CodedTypes, FollowThePresentationOrder) {
    const datatest::FigureFile figures = datatest::ReadFigureFile(kDataDir + "/" + GetParam() + ".ffprobe.txt");
    std::vector<std::string> expected;
    int64_t latest = INT64_MIN;
    for (const datatest::FigureLine* packet : figures.Section("packet")) {
        if (packet->Unsigned("stream_index") != 0) continue;
        const int64_t pts = packet->Signed("pts");
        expected.push_back(packet->Text("flags")[0] == 'K' ? "I" : pts > latest ? "P" : "B");
        latest = std::max(latest, pts);
    }
    std::vector<std::string> video;
    for (const std::string& frame : FrameObjects(RunStampwalk(kDataDir + "/" + GetParam(), 1, {"--format", "json"}))) {
        if (JsonField(frame, "track") == "1") video.push_back(frame);
    }
    EXPECT_EQ(Field(video, "codedType"), expected);
}

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, CodedTypes,
                         ::testing::Values("h264_bframes.mp4", "h264_nobframes.mp4", "hevc.mp4", "check_clean.mp4"));

}  // namespace

namespace {

// check_clean.mp4 with the video track's last chunk moved past the end of
// the file: reading it fails and ends the report. The video track (its
// stco comes first) keeps its samples before that chunk; the AAC track
// those before the failed sample's time: ffprobe's dts of the first video
// sample of the last chunk, t, over 12800, against 1024 per AAC packet over
// 16000, counting packets with k * 1024 / 16000 < t (the video goes first
// on equal times). Both counts differ from the index: two count findings,
// and the exit code 1.
TEST(ReadError, EndsTheReportWithACountFinding) {
    std::ifstream in(kDataDir + "/check_clean.mp4", std::ios::binary);
    writer::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    const std::string text(bytes.begin(), bytes.end());
    const size_t stco = text.find("stco");
    const size_t stsc = text.find("stsc");
    ASSERT_LT(stco, text.find("trak", text.find("trak") + 4)) << "the first stco is the video track's";
    const uint32_t chunks = u32(stco + 8);
    const size_t last = stco + 12 + 4 * size_t(chunks - 1);
    for (int i = 0; i < 4; ++i) bytes[last + size_t(i)] = 0x7F;

    // Samples before the last chunk, from the sample-to-chunk runs.
    const uint32_t runs = u32(stsc + 8);
    uint64_t before = 0;
    for (uint32_t chunk = 1; chunk < chunks; ++chunk) {
        uint32_t perChunk = 0;
        for (uint32_t run = 0; run < runs; ++run) {
            if (u32(stsc + 12 + 12 * run) <= chunk) perChunk = u32(stsc + 12 + 12 * run + 4);
        }
        before += perChunk;
    }
    const datatest::FigureFile figures = datatest::ReadFigureFile(kDataDir + "/check_clean.mp4.ffprobe.txt");
    int64_t failedTime = 0;
    uint64_t video = 0;
    for (const datatest::FigureLine* packet : figures.Section("packet")) {
        if (packet->Unsigned("stream_index") == 0 && video++ == before) failedTime = packet->Signed("dts");
    }
    uint64_t audio = 0;
    while (double(audio) * 1024 / 16000 < double(failedTime) / 12800) ++audio;

    testsupport::TempFile file(bytes);
    const ToolRun run = RunStampwalk(file.path(), 1, {"--check", "--format", "json"});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> counts;
    for (const std::string& line : run.lines) {
        if (JsonField(line, "check") == "count") counts.push_back(JsonField(line, "message"));
    }
    EXPECT_EQ(counts, (std::vector<std::string>{"frames read " + std::to_string(before) + ", samples in the index 100",
                                                "frames read " + std::to_string(audio) + ", samples in the index 64"}));
}

}  // namespace

namespace {

// A finding's time is the decimal of its frame's ticks: ffprobe's dts of the
// frame after the step (less the first dts, 0 here) over 12800, written as
// the shortest decimal (20992 / 12800 = 1.64, not 1.6400000000000001).
TEST(FindingTime, IsTheFramesDecodeTimeInShortestDecimal) {
    const ToolRun drop = RunStampwalk(kDataDir + "/compare_drop.mp4", 1, {"--check", "--format", "json"});
    const ToolRun jump = RunStampwalk(kDataDir + "/check_jump.mp4", 1, {"--check", "--format", "json"});
    std::vector<std::string> times;
    for (const ToolRun* run : {&drop, &jump}) {
        for (const std::string& line : run->lines) {
            const std::string check = JsonField(line, "check");
            if (check == "gap" || check == "jump") times.push_back(check + " " + JsonField(line, "time"));
        }
    }
    EXPECT_EQ(times, (std::vector<std::string>{"gap 1.64", "jump 4.4"}));
}

}  // namespace

// The checker mode on the ffmpeg files: `stampwalk -p FILE -t 1 --check
// --format json` names each fault built into the check_*.mp4 files, and none
// in the clean recordings. The expected findings were worked out from how
// make_data.sh builds each file, confirmed with ffprobe's packets (dts, K
// flags) and, for the stored key flags and the unit types, with the raw
// stss, stsz, stsc and stco boxes read in Python.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "ToolRun.h"

using datatest::RunStampwalk;
using datatest::StartsWith;
using datatest::ToolRun;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

// (check, track, index) of one finding line.
using Triple = std::tuple<std::string, uint64_t, uint64_t>;

struct CheckRun {
    int exitCode = -1;
    std::vector<Triple> findings;
    std::string lastLine;
};

// The text after `key`: its digits, or up to the next quote.
std::string ValueAfter(const std::string& line, const std::string& key, bool digits) {
    const size_t start = line.find(key);
    if (start == std::string::npos) return "";
    size_t end = start + key.size();
    while (end < line.size() && (digits ? std::isdigit(static_cast<unsigned char>(line[end])) != 0 : line[end] != '"'))
        ++end;
    return line.substr(start + key.size(), end - start - key.size());
}

CheckRun RunCheck(const std::string& name) {
    const ToolRun run = RunStampwalk(kDataDir + "/" + name, 1, {"--check", "--format", "json"});
    CheckRun check;
    check.exitCode = run.exitCode;
    for (const std::string& line : run.lines) {
        if (line.find(R"("type":"finding")") == std::string::npos) continue;
        const std::string track = ValueAfter(line, R"("track":)", true);
        const std::string index = ValueAfter(line, R"("index":)", true);
        EXPECT_FALSE(track.empty() || index.empty()) << line;
        if (track.empty() || index.empty()) continue;
        check.findings.emplace_back(ValueAfter(line, R"("check":")", false), std::stoull(track), std::stoull(index));
    }
    if (!run.lines.empty()) check.lastLine = run.lines.back();
    return check;
}

std::string TestName(std::string file) {
    for (char& c : file)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return file;
}

struct FindingsRow {
    const char* file;
    int exitCode;
    std::vector<Triple> findings;
};

void PrintTo(const FindingsRow& row, std::ostream* out) { *out << row.file; }

class CheckFindings : public ::testing::TestWithParam<FindingsRow> {};

TEST_P(CheckFindings, NameTheBuiltFault) {
    const FindingsRow& row = GetParam();
    const CheckRun run = RunCheck(row.file);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.findings, row.findings);
    EXPECT_TRUE(StartsWith(run.lastLine, R"({"type":"result","status":"findings")")) << run.lastLine;
}

// Every build: track 1 is 100 frames of H.264 at 512 ticks (12800 per second)
// with the key frames 0, 25, 50, 75 (ffprobe K_), track 2 the AAC tone, 64
// key packets 1024 ticks apart, which never gives a finding.
const FindingsRow kFindingsRows[] = {
    // Frame 40 left out: ffprobe's dts run 0, 512, ... 19968, then 20992
    // (one step of 1024 = 2 frame times) at decode index 40, the old frame
    // 41. 99 frames, K_ still at 0, 25, 50, 75 (the encoder counts frames),
    // so the GOPs stay 25.
    {"check_dropped.mp4", 1, {{"gap", 1, 40}}},
    // Frames 60 on two seconds later: the step into index 60 is 30720 - 30208
    // + 25600 = 26112 ticks = 2.04 s > 1 s, a jump. K_ at 0, 25, 50, 75.
    {"check_jump.mp4", 1, {{"jump", 1, 60}}},
    // A key frame forced at 35: K_ at 0, 25, 35, 60, 85 (stss 1, 26, 36, 61,
    // 86); the complete GOPs are 25, 10, 25, 25, so the one at 25 is odd.
    {"check_gop.mp4", 1, {{"gop", 1, 25}}},
    // stss 1, 26, 51, 76 became 1, 26, 51, 77: the GOP at 50 has 26 frames
    // (the others 25; the one from 76 is open), index 75 still holds an IDR
    // unit (type 5) but is not listed, index 76 is listed but holds a non-IDR
    // slice (type 1). ffprobe, whose parser sets K from the units, shows K_
    // at 75 and not at 76.
    {"check_keymoved.mp4", 1, {{"gop", 1, 50}, {"key-mismatch", 1, 75}, {"key-mismatch", 1, 76}}},
    // Sample 51's one unit turned from type 5 into type 1: stss still lists
    // it (index 50), its bitstream has no IDR unit.
    {"check_corrupt.mp4", 1, {{"key-mismatch", 1, 50}}},
};

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, CheckFindings, ::testing::ValuesIn(kFindingsRows),
                         [](const auto& info) { return TestName(info.param.file); });

class CleanFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(CleanFiles, GiveNoFinding) {
    const CheckRun run = RunCheck(GetParam());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.findings, std::vector<Triple>{});
    EXPECT_TRUE(StartsWith(run.lastLine, R"({"type":"result","status":"ok")")) << run.lastLine;
}

// ffprobe's dts step evenly in every track (512 per video frame, 1024 per
// AAC and 160 per AMR packet; u-law's stts is one run of 13600 samples of 1
// tick); the video key frames (K_, the stss entries) are 0, 25, 50
// (h264_bframes, h264_aac), 0, 25, 50, 75 (h264_nobframes, check_clean) and
// 0, 25 (mpeg4), so every complete GOP has 25 frames, and each H.264 key frame
// and no other holds an IDR unit. hevc.mp4's key frames 0, 21, 46 make two
// complete GOPs of 21 and 25 frames: no length is more frequent, so none is
// judged odd.
INSTANTIATE_TEST_SUITE_P(FfmpegFiles, CleanFiles,
                         ::testing::Values("h264_bframes.mp4", "h264_nobframes.mp4", "hevc.mp4", "mpeg4.mp4", "aac.m4a",
                                           "amrnb.3gp", "ulaw.mov", "h264_aac.mp4", "check_clean.mp4"),
                         [](const auto& info) { return TestName(info.param); });

}  // namespace

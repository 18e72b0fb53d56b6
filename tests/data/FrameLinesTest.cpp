// The tool's frame lines for the ffmpeg files, checked against frames worked
// out from ffprobe's packets and the raw box figures (ExpectedFrames.h): one
// line per sample in timeline order, I for key packets, and a size and CRC
// that cover the media header built for tracks without frame information.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ExpectedFrames.h"
#include "ToolRun.h"

using datatest::ExpectedFile;
using datatest::ExpectedFrame;
using datatest::RunStampwalk;
using datatest::StartsWith;
using datatest::ToolRun;
using datatest::WorkOutExpectedFrames;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

constexpr int kRecordTime = 1;
constexpr int kCameraTime = 3;

// The frame lines of one run, kept for all the cases of a file.
const std::vector<std::string>& FrameLinesOf(const std::string& name, int timeType) {
    static std::map<std::pair<std::string, int>, std::vector<std::string>> runs;
    const auto key = std::make_pair(name, timeType);
    auto found = runs.find(key);
    if (found == runs.end()) {
        const ToolRun run = RunStampwalk(kDataDir + "/" + name, timeType);
        EXPECT_EQ(run.exitCode, 0);
        std::vector<std::string> frames;
        for (const std::string& line : run.lines)
            if (StartsWith(line, "Stream:")) frames.push_back(line);
        found = runs.emplace(key, std::move(frames)).first;
    }
    return found->second;
}

const ExpectedFile& ExpectedOf(const std::string& name) {
    static std::map<std::string, ExpectedFile> files;
    auto found = files.find(name);
    if (found == files.end()) found = files.emplace(name, WorkOutExpectedFrames(kDataDir, name)).first;
    return found->second;
}

struct PrintedFrame {
    std::string codecName;
    char letter = '?';
    std::string time;  // "NO TIME INFO" or "seconds.ms zone daylight"
    std::string crc;
    std::string size;
    std::string alerts;
};

bool ParseFrameLine(const std::string& line, PrintedFrame& frame) {
    static const std::regex kLine(
        "Stream:(\\S+) Frame:(.) (NO TIME INFO|\\d+\\.\\d{3,} -?\\d+ -?\\d+) CRC32:([0-9A-F]{8}) Size:(\\d+) "
        "(DI alert: \\d+ motionWin1: \\d+% motionWin2: \\d+% motionWin3: \\d+%)");
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) return false;
    frame.codecName = match[1];
    frame.letter = match[2].str()[0];
    frame.time = match[3];
    frame.crc = match[4];
    frame.size = match[5];
    frame.alerts = match[6];
    return true;
}

std::vector<PrintedFrame> Parsed(const std::vector<std::string>& lines) {
    std::vector<PrintedFrame> frames;
    for (const std::string& line : lines) {
        PrintedFrame frame;
        if (ParseFrameLine(line, frame))
            frames.push_back(frame);
        else
            ADD_FAILURE() << "not a frame line: " << line;
    }
    return frames;
}

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// Compares one field of the printed frames with the expected ones, line by
// line, and names the first line where they part and how many differ.
template <typename Field>
void ExpectSameField(const std::vector<PrintedFrame>& printed, const std::vector<ExpectedFrame>& expected,
                     const char* what, Field field) {
    ASSERT_EQ(printed.size(), expected.size()) << "frame lines";
    size_t differing = 0;
    std::ostringstream first;
    for (size_t i = 0; i < printed.size(); ++i) {
        const auto [got, want] = field(printed[i], expected[i]);
        if (got == want) continue;
        if (differing++ == 0)
            first << "line " << i << " (track " << expected[i].track << " sample " << expected[i].sample
                  << "): printed " << got << ", expected " << want;
    }
    EXPECT_EQ(differing, 0u) << what << " differs on " << differing << " lines; first " << first.str();
}

class FrameLines : public ::testing::TestWithParam<const char*> {
protected:
    const ExpectedFile& Expected() const { return ExpectedOf(GetParam()); }
    std::vector<PrintedFrame> Printed(int timeType = kRecordTime) const {
        return Parsed(FrameLinesOf(GetParam(), timeType));
    }
};

TEST_P(FrameLines, OneLinePerSampleOfEveryTrack) {
    // ffprobe's nb_frames is the sample size table's count; for ulaw.mov the
    // reader hands out each of its one-byte samples, which ffprobe groups.
    const ExpectedFile& expected = Expected();
    std::map<std::string, uint64_t> want;
    for (size_t t = 0; t < expected.samplesPerTrack.size(); ++t)
        want[expected.codecNamePerTrack[t]] += expected.samplesPerTrack[t];
    std::map<std::string, uint64_t> got;
    for (const PrintedFrame& frame : Printed()) ++got[frame.codecName];
    EXPECT_EQ(got, want);
}

TEST_P(FrameLines, ComeInTimelineOrderAcrossTracks) {
    // Within a track the sizes follow the samples; across tracks the codec
    // names show which track's sample came next.
    ExpectSameField(Printed(), Expected().frames, "codec and size", [](const PrintedFrame& p, const ExpectedFrame& e) {
        return std::make_pair(p.codecName + " " + p.size, e.codecName + " " + std::to_string(e.size));
    });
}

TEST_P(FrameLines, LetterIsIExactlyForKeyPackets) {
    ExpectSameField(Printed(), Expected().frames, "frame letter",
                    [](const PrintedFrame& p, const ExpectedFrame& e) { return std::make_pair(p.letter, e.letter); });
}

TEST_P(FrameLines, CrcCoversTheBuiltHeaderAndThePayload) {
    ExpectSameField(Printed(), Expected().frames, "CRC",
                    [](const PrintedFrame& p, const ExpectedFrame& e) { return std::make_pair(p.crc, Hex8(e.crc)); });
}

TEST_P(FrameLines, RecordTimeFindsNoTimeAndNoAlertIsSet) {
    // No user data in these files, so no record time; the built header sets
    // no digital-input bit and no motion window.
    const std::vector<PrintedFrame> printed = Printed();
    ASSERT_FALSE(printed.empty());
    for (const PrintedFrame& frame : printed) {
        ASSERT_EQ(frame.time, "NO TIME INFO");
        ASSERT_EQ(frame.alerts, "DI alert: 0 motionWin1: 0% motionWin2: 0% motionWin3: 0%");
    }
}

// The samples of fragmented.mp4 and the frag_ files come from their movie
// fragments.
const char* const kReadableFiles[] = {
    "h264_bframes.mp4",   "h264_nobframes.mp4", "hevc.mp4",      "mpeg4.mp4",      "aac.m4a",
    "amrnb.3gp",          "ulaw.mov",           "h264_aac.mp4",  "fragmented.mp4", "frag_h264_aac.mp4",
    "frag_base_moof.mp4", "frag_duration.mp4",  "frag_hevc.mp4",
};

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, FrameLines, ::testing::ValuesIn(kReadableFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

class CameraTimeLines : public ::testing::TestWithParam<const char*> {};

TEST_P(CameraTimeLines, PrintTheBuiltTimestampInZoneZero) {
    // The creation time plus the timeline position, with the zone and
    // daylight-saving values of flag bytes 00 20 13 04: "0 0".
    const std::vector<PrintedFrame> printed = Parsed(FrameLinesOf(GetParam(), kCameraTime));
    const ExpectedFile& expected = ExpectedOf(GetParam());
    ExpectSameField(printed, expected.frames, "camera time", [](const PrintedFrame& p, const ExpectedFrame& e) {
        return std::make_pair(p.time, e.CameraTimeText());
    });
    // The time type changes nothing else on the line.
    ExpectSameField(printed, expected.frames, "CRC",
                    [](const PrintedFrame& p, const ExpectedFrame& e) { return std::make_pair(p.crc, Hex8(e.crc)); });
}

// Two tracks at 25 and 15.625 frames per second, and one-byte samples at
// 8000 Hz whose positions fall on half milliseconds.
INSTANTIATE_TEST_SUITE_P(FfmpegFiles, CameraTimeLines, ::testing::Values("h264_aac.mp4", "ulaw.mov"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

std::string Line(const std::string& codecAndLetter, const std::string& time, const std::string& crc,
                 const std::string& size) {
    return "Stream:" + codecAndLetter + " " + time + " CRC32:" + crc + " Size:" + size +
           " DI alert: 0 motionWin1: 0% motionWin2: 0% motionWin3: 0%";
}

// Lines worked out by hand, apart from the derivation above: the header
// bytes written out from the rules, the CRC-32 taken over them and the
// stored bytes at ffprobe's position with Python's zlib.crc32.
TEST(HandWorkedFrameLines, OneLineOfEachKind) {
    const struct {
        const char* file;
        int timeType;
        size_t line;
        std::string expected;
    } cases[] = {
        // 00000154 "aac " 00 00201304 5E0BE100 0000 02 40 01 013C 003E80 02:
        // 28 + 316 - 4 bytes follow the length word; the sample entry says
        // 16000 Hz and 2 channels (ffmpeg writes 2 in MP4 audio entries).
        {"aac.m4a", kRecordTime, 0, Line("AAC4 Frame:I", "NO TIME INFO", "AFF64694", "316")},
        // 00000038 "SAMR" 00 00201304 5E0BE100 0014 02 C0 01 0020 001F40 02:
        // first byte 0x3C, frame type 7, 1 + 31 = 32 bytes a frame; 20 ms.
        {"amrnb.3gp", kRecordTime, 1, Line("GAMR Frame:I", "NO TIME INFO", "B7604B2D", "32")},
        // 0000002E "mp4v" 10 00201304 5E0BE100 0028 01 00000000: a predicted
        // frame at 40 ms.
        {"mpeg4.mp4", kRecordTime, 1, Line("MP4V Frame:P", "NO TIME INFO", "5E317E0E", "26")},
        // SEI 622 and IDR 1788 bytes: 2418 stored, plus 4 + 25 (SPS) and
        // 4 + 4 (PPS) bytes of parameter sets in front of the SEI.
        {"h264_nobframes.mp4", kRecordTime, 0, Line("H264 Frame:I", "NO TIME INFO", "507C7157", "2455")},
        // An IDR_N_LP picture (type 20): 1921 stored plus VPS, SPS and PPS
        // (24, 41 and 7 bytes, each with a start code) = 2005.
        {"hevc.mp4", kRecordTime, 0, Line("HEVC Frame:I", "NO TIME INFO", "A8E9C4FB", "2005")},
        // A CRA picture (type 21) at 0.84 s is a sync sample, but takes no
        // parameter sets: it stays at its stored 2540 bytes.
        {"hevc.mp4", kCameraTime, 21, Line("HEVC Frame:I", "1577836800.840 0 0", "C2D57934", "2540")},
        // Sample 4004 lies at 0.5005 s; as a double 4004 / 8000 is a little
        // below, so × 1000 + 0.5 truncates to 500 ms, not 501.
        {"ulaw.mov", kCameraTime, 4004, Line("ULAW Frame:I", "1577836800.500 0 0", "340565A2", "1")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " line " + std::to_string(c.line));
        const std::vector<std::string>& lines = FrameLinesOf(c.file, c.timeType);
        ASSERT_LT(c.line, lines.size());
        EXPECT_EQ(lines[c.line], c.expected);
    }
}

TEST(HandWorkedFrameLines, VideoAndAudioInterleaveByDecodingTime) {
    // Video every 40 ms, audio every 64 ms, both from 0 (the edits' media
    // times do not shift the reader's sample times); at 0 and 320 ms the two
    // meet and the video track, first in the file, goes first.
    const std::vector<std::string> expected = {"H264", "AAC4", "H264", "AAC4", "H264", "H264", "AAC4", "H264",
                                               "AAC4", "H264", "H264", "AAC4", "H264", "H264", "AAC4", "H264"};
    const std::vector<std::string>& lines = FrameLinesOf("h264_aac.mp4", kRecordTime);
    ASSERT_GE(lines.size(), expected.size());
    std::vector<std::string> codecs;
    for (size_t i = 0; i < expected.size(); ++i) codecs.push_back(lines[i].substr(7, 4));
    EXPECT_EQ(codecs, expected);
}

}  // namespace

// The recording simulator's output read back by stampwalk: two seconds of
// 25 fps H.264 and 16 kHz AAC in one-second chunks, listed by the fallback
// run in media-time order, ending with the no-new-data status, or with the
// skip-box status when the simulator ends the file with a "skip" box.
#include "FallbackLinesTest.h"

#include <regex>
#include <sstream>
#include <tuple>

#include "support/ProgramRun.h"

namespace {

using namespace fallbacklines;

// Runs the simulator to its end; true when it exited with code 0.
bool Simulate(const std::string& output, std::vector<std::string> options) {
    options.insert(options.begin(), output);
    return testsupport::RunProgram(RECORD_SIMULATOR_BINARY, options).exitCode == 0;
}

// What a frame line says apart from its CRC.
struct Listed {
    std::string codec;
    char letter;
    uint32_t milliseconds;  // the stream time, which is the media time
    uint32_t size;
    bool operator==(const Listed& other) const {
        return std::tie(codec, letter, milliseconds) == std::tie(other.codec, other.letter, other.milliseconds);
    }
};

std::ostream& operator<<(std::ostream& out, const Listed& listed) {
    return out << listed.codec << ' ' << listed.letter << ' ' << listed.milliseconds << " ms";
}

// The simulator's rules: video frame k at 40k ms, a key frame first in each
// one-second chunk; audio frame j at 1024 j / 16 kHz = 64 j ms, for as long
// as it starts before 2 s. At equal times "H264" (0x34363248) goes before
// "AAC4" (0x34434141).
std::vector<Listed> ExpectedOrder() {
    std::vector<Listed> listed;
    uint32_t video = 0;
    uint32_t audio = 0;
    while (video < 50 || audio < 32) {
        const bool takeVideo = audio == 32 || (video < 50 && 40 * video <= 64 * audio);
        if (takeVideo) {
            listed.push_back({"H264", video % 25 == 0 ? 'I' : 'P', 40 * video, 0});
            ++video;
        } else {
            listed.push_back({"AAC4", 'I', 64 * audio, 0});
            ++audio;
        }
    }
    return listed;
}

// The frame lines, which must all have the format; the rest goes to *rest.
std::vector<Listed> FrameLines(const std::string& report, std::string* rest) {
    static const std::regex kLine(
        "Stream:(H264|AAC4) Frame:([IP]) (\\d+)\\.(\\d{3}) 00 0 CRC32:[0-9A-F]{8} Size:(\\d+)");
    std::vector<Listed> listed;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_match(line, match, kLine)) {
            listed.push_back({match[1], match[2].str()[0], uint32_t(std::stoul(match[3]) * 1000 + std::stoul(match[4])),
                              uint32_t(std::stoul(match[5]))});
        } else {
            *rest += line + "\n";
        }
    }
    return listed;
}

// A sync sample is one unit of 6000 to 7999 bytes behind its 4-byte
// length, another video sample one of 700 to 1599; audio frames carry 180 to
// 299 bytes. Start codes take the prefixes' place, so sizes stay.
bool SizeFits(const Listed& listed) {
    if (listed.codec == "AAC4") return listed.size >= 180 && listed.size < 300;
    if (listed.letter == 'I') return listed.size >= 6004 && listed.size < 8004;
    return listed.size >= 704 && listed.size < 1604;
}

struct SimulatorCase {
    std::string label;
    std::vector<std::string> options;
    std::string lastLine;
};
void PrintTo(const SimulatorCase& param, std::ostream* out) { *out << param.label; }

class FallbackLinesSimulator : public ::testing::TestWithParam<SimulatorCase> {};

TEST_P(FallbackLinesSimulator, ListsEveryFrameThenTheStatus) {
    testsupport::TempFile file;
    std::vector<std::string> options = {"--fast", "--seconds", "2", "--audio"};
    options.insert(options.end(), GetParam().options.begin(), GetParam().options.end());
    ASSERT_TRUE(Simulate(file.path(), options));

    const std::string report = framelines::FrameReportOf(file.path(), 2);
    std::string rest;
    const std::vector<Listed> listed = FrameLines(report, &rest);
    EXPECT_EQ(listed, ExpectedOrder());
    for (const Listed& line : listed) EXPECT_TRUE(SizeFits(line)) << line << " has size " << line.size;
    // Nothing but the lines before the frames and the final status.
    EXPECT_EQ(rest, OpenFailure(file.path(), "0") + GetParam().lastLine);
    EXPECT_TRUE(report.size() >= GetParam().lastLine.size() &&
                report.compare(report.size() - GetParam().lastLine.size(), std::string::npos, GetParam().lastLine) == 0)
        << "the report does not end with " << GetParam().lastLine;
}

INSTANTIATE_TEST_SUITE_P(
    Options, FallbackLinesSimulator,
    ::testing::Values(SimulatorCase{"Plain", {}, kNoNewDataLine},
                      SimulatorCase{"SplitWritesAndSkipBox", {"--split-writes", "--end-with-skip"}, kSkipBoxLine}),
    [](const ::testing::TestParamInfo<SimulatorCase>& info) { return info.param.label; });

}  // namespace

// The comparison on pairs ffmpeg wrote from one scene (make_data.sh): every
// difference reported is one that was made. The expected frames were worked
// out from how each copy was made and confirmed with the ffprobe figures
// beside the files (packet hashes and K flags of stream 0, the video).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ToolRun.h"
#include "support/TempFile.h"

using datatest::JsonField;
using datatest::RunStampwalk;
using datatest::ToolRun;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

struct PairCase {
    const char* b;
    int exitCode;
    std::vector<std::string> differences;  // "kind track indexA indexB", "null" where a side has none
};

void PrintTo(const PairCase& row, std::ostream* out) { *out << row.b; }

class ComparePair : public ::testing::TestWithParam<PairCase> {};

TEST_P(ComparePair, ReportsWhatWasChanged) {
    const ToolRun run = RunStampwalk(kDataDir + "/check_clean.mp4", 1,
                                     {"--compare", kDataDir + "/" + GetParam().b, "--format", "json"});
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    std::vector<std::string> differences;
    for (const std::string& line : run.lines) {
        if (JsonField(line, "type") != "difference") continue;
        differences.push_back(JsonField(line, "kind") + " " + JsonField(line, "track") + " " +
                              JsonField(line, "indexA") + " " + JsonField(line, "indexB"));
    }
    EXPECT_EQ(differences, GetParam().differences);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(JsonField(run.lines.back(), "status"), GetParam().exitCode == 0 ? "same" : "differences");
}

// check_clean.mp4 is A throughout: 100 video frames, key frames 0, 25, 50,
// 75, and 64 AAC packets that every copy keeps unchanged.
INSTANTIATE_TEST_SUITE_P(FfmpegPairs, ComparePair,
                         ::testing::Values(
                             // The same packets remuxed.
                             PairCase{"compare_remux.mp4", 0, {}},
                             // Video packet 40 dropped: B's hashes are A's without the 41st.
                             PairCase{"compare_drop.mp4", 1, {"only-a 1 40 null"}},
                             // Video packets 60 on half a second later: one run of 40 shifted frames.
                             PairCase{"compare_shift.mp4", 1, {"shifted 1 60 60"}},
                             // The last stss entry moved from 76 to 77: index 75 lost its flag, 76
                             // gained it, and the GOP from 50 ends one frame later.
                             PairCase{"check_keymoved.mp4", 1, {"gop 1 50 50", "key 1 75 75", "key 1 76 76"}},
                             // The re-encode without frame 40: B's frame i is A's i + 1 from 40 on;
                             // the hashes agree up to 28 and differ from 29 on (one run); B's key
                             // frames 50 and 75 are A's 51 and 76, so A's GOP from 25 ends later in B.
                             PairCase{"check_dropped.mp4",
                                      1,
                                      {"gop 1 25 25", "payload 1 29 29", "only-a 1 40 null", "key 1 50 49",
                                       "key 1 51 50", "key 1 75 74", "key 1 76 75"}}),
                         [](const auto& info) {
                             std::string name = info.param.b;
                             return name.substr(0, name.find('.'));
                         });

TEST(ComparePair, AFileThatIsNoRecordingExitsWithTwo) {
    const ToolRun run =
        RunStampwalk(kDataDir + "/check_clean.mp4", 1, {"--compare", kDataDir + "/README.md", "--format", "json"});
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(JsonField(run.lines[0], "status"), "unreadable");
}

}  // namespace

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The tool's report of a recording and of a pair: four charts per track
// (two tracks), and a mark with a table row for each finding of the check
// (check_keymoved.mp4: gop at 50, key-mismatch at 75 and 76, as the check
// rows of CheckFindingsTest say) or each difference (compare_drop.mp4: one
// only-a). The run prints as usual beside it.
TEST(ReportOption, MarksTheFindingsAndTheDifferences) {
    testsupport::TempFile page(".html");
    const ToolRun alone = RunStampwalk(kDataDir + "/check_keymoved.mp4", 1, {"--report", page.path()});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_TRUE(datatest::StartsWith(alone.lines.back(), "Congratulation!"));
    std::string html = ReadAll(page.path());
    EXPECT_EQ(Count(html, "<svg class=\"chart\""), 8u);
    EXPECT_EQ(Count(html, "<td>gop</td>"), 1u);
    EXPECT_EQ(Count(html, "<td>key-mismatch</td>"), 2u);
    for (int mark = 0; mark < 3; ++mark) {
        EXPECT_EQ(Count(html, "id=\"finding-" + std::to_string(mark) + "\""), 1u) << mark;
    }

    const ToolRun pair = RunStampwalk(kDataDir + "/check_clean.mp4", 1,
                                      {"--compare", kDataDir + "/compare_drop.mp4", "--report", page.path()});
    EXPECT_EQ(pair.exitCode, 1);
    html = ReadAll(page.path());
    EXPECT_EQ(Count(html, "<svg class=\"chart\""), 8u);
    EXPECT_EQ(Count(html, "<td>only-a</td>"), 1u);
    EXPECT_EQ(Count(html, "id=\"finding-1\""), 0u) << "one difference, one mark";
}

}  // namespace

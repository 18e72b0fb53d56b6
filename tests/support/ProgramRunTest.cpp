// The runner of programs against small shell scripts whose output, status
// and duration are known.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/ProgramRun.h"
#include "support/TempFile.h"

namespace {

using testsupport::ProgramRun;
using testsupport::RunOptions;
using testsupport::RunProgram;

struct Case {
    const char* name;
    std::string script;
    RunOptions options;
    int exitCode;
    int signal;
    std::string output;
    std::string errors;
};

void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }

RunOptions TimeLimit(double seconds) {
    RunOptions options;
    options.timeLimitSeconds = seconds;
    return options;
}

RunOptions Discarding() {
    RunOptions options;
    options.discardOutput = true;
    return options;
}

RunOptions AddressSpace(uint64_t bytes) {
    RunOptions options;
    options.addressSpaceBytes = bytes;
    return options;
}

RunOptions InDirectory(const std::string& directory) {
    RunOptions options;
    options.workingDirectory = directory;
    return options;
}

class ProgramRunTest : public testing::TestWithParam<Case> {};

TEST_P(ProgramRunTest, CollectsWhatTheProgramDid) {
    const Case& row = GetParam();
    const ProgramRun run = RunProgram("/bin/sh", {"-c", row.script}, row.options);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.signal, row.signal);
    EXPECT_EQ(run.timedOut, row.signal == SIGKILL);
    EXPECT_EQ(run.output, row.output);
    EXPECT_EQ(run.errors, row.errors);
    // A killed program is waited for no longer than its limit and a little.
    if (run.timedOut) {
        EXPECT_LT(run.seconds, row.options.timeLimitSeconds + 2);
    }
}

// 200,000 bytes on each stream, more than a pipe holds: read one after the
// other, the runner would wait on one pipe while the program waits on the
// other.
const std::string kBigText(200000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Rows, ProgramRunTest,
    testing::Values(
        Case{"BothStreamsAndStatus", "echo out; echo err >&2; exit 3", RunOptions(), 3, 0, "out\n", "err\n"},
        Case{"BothStreamsFull", "printf %200000s | tr ' ' x; printf %200000s | tr ' ' x >&2", RunOptions(), 0, 0,
             kBigText, kBigText},
        Case{"NoStandardInput", "cat; echo done", RunOptions(), 0, 0, "done\n", ""},
        Case{"OutputDiscarded", "echo out; echo err >&2", Discarding(), 0, 0, "", "err\n"},
        Case{"KilledAtTheTimeLimit", "echo started; exec sleep 30", TimeLimit(0.3), -1, SIGKILL, "started\n", ""},
        Case{"ClosedStreamsStillTimed", "exec >&- 2>&-; exec sleep 30", TimeLimit(0.3), -1, SIGKILL, "", ""},
        Case{"EndsWithinTheTimeLimit", "echo quick", TimeLimit(30), 0, 0, "quick\n", ""},
        Case{"KilledBySignal", "kill -TERM $$", RunOptions(), -1, SIGTERM, "", ""},
        // The shell reports its limit in KiB.
        Case{"AddressSpaceLimited", "ulimit -v", AddressSpace(uint64_t(256) << 20), 0, 0, "262144\n", ""},
        Case{"InTheWorkingDirectory", "pwd", InDirectory("/"), 0, 0, "/\n", ""}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ProgramRun, ProgramThatCannotStartExitsWith127) {
    const std::string missing = testsupport::TempDirectory() + "/stampwalk-no-such-program";
    const ProgramRun run = RunProgram(missing, {});
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_EQ(run.output, "");
}

}  // namespace

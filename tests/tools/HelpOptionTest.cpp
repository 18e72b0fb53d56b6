// Each helper program run with --help and with -h, in an empty working
// directory: the usage text on standard output, exit code 0, and no file made.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TempFile.h"

namespace {

struct Program {
    const char* name;
    const char* path;
};

void PrintTo(const Program& program, std::ostream* out) { *out << program.name; }

const Program kPrograms[] = {
#include "HelpPrograms.inc"
};

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (!listing) return {"(cannot list " + directory + ")"};
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
    return names;
}

class HelpOptionTest : public testing::TestWithParam<std::tuple<Program, const char*>> {};

TEST_P(HelpOptionTest, PrintsTheUsageAndWritesNothing) {
    const auto& [program, option] = GetParam();
    std::string directory = testsupport::TempDirectory() + "/stampwalk-help-XXXXXX";
    ASSERT_NE(mkdtemp(directory.data()), nullptr);
    testsupport::RunOptions options;
    options.workingDirectory = directory;
    options.timeLimitSeconds = 30;
    const testsupport::ProgramRun run = testsupport::RunProgram(program.path, {option}, options);
    const std::vector<std::string> made = Entries(directory);
    rmdir(directory.c_str());

    EXPECT_EQ(run.exitCode, 0) << run.errors;
    const std::string usageLine = "usage: " + std::string(program.name) + " ";
    EXPECT_EQ(run.output.substr(0, usageLine.size()), usageLine) << run.output;
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(made.empty()) << "made " << made.front();
}

INSTANTIATE_TEST_SUITE_P(Programs, HelpOptionTest,
                         testing::Combine(testing::ValuesIn(kPrograms), testing::Values("--help", "-h")),
                         [](const testing::TestParamInfo<std::tuple<Program, const char*>>& info) {
                             const std::string option = std::get<1>(info.param);
                             return std::string(std::get<0>(info.param).name) + (option == "-h" ? "_h" : "_help");
                         });

}  // namespace

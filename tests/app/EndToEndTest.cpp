// Runs the built stampwalk binary and checks its standard output and exit code.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace {

using RunResult = testsupport::ProgramRun;

RunResult RunStampwalk(const std::vector<std::string>& arguments) {
    return testsupport::RunProgram(STAMPWALK_BINARY, arguments);
}

// How boost::program_options prints the description: the caption and a
// colon, then per option two blanks, "-x [ --long ]", a blank, and "arg"
// when the option takes a value. Descriptions start in column 24: one past
// the wider of 23 and the longest entry ("  -p [ --pathname ] arg", 23).
const std::string kOptionTable =
    "converter command line:\n"
    "  -h [ --help ]         help message\n"
    "  -p [ --pathname ] arg media file pathname\n"
    "  -t [ --timetype ] arg time type\n";

const std::string kUsage = kOptionTable +
                           "\n\n"
                           "usage:\n   Stampwalk.exe -p MEDIA_FILE_PATHNAME -t TIME_TYPE\n\n"
                           "example 1:\n   Stampwalk.exe -p \"C:\\RecordS.3gp\" -t 1\n\n"
                           "example 2:\n   Stampwalk.exe -p \"C:\\RecordS.3gp\" -t 2 > StreamTime.log\n\n"
                           "PS:\n   Time type: RecordTime = 1, StreamTime = 2, CameraTime = 3\n\n";

const std::string kTitle = "NORVATE Stamp Probe\n\n";
const std::string kMissingDirectory = "/nonexistent-stampwalk-test-directory";

// Checks the banner (13 lines of 49 characters drawn with blank ; ` . : and
// ,, then an empty line) and the title, and returns what follows them.
std::string AfterBannerAndTitle(const std::string& output) {
    size_t position = 0;
    for (int line = 0; line < 13; ++line) {
        const size_t end = output.find('\n', position);
        if (end == std::string::npos) {
            ADD_FAILURE() << "banner has only " << line << " lines";
            return "";
        }
        const std::string text = output.substr(position, end - position);
        EXPECT_EQ(text.size(), 49u) << "banner line " << line + 1 << ": \"" << text << "\"";
        EXPECT_EQ(text.find_first_not_of(" ;`.:,"), std::string::npos) << "banner line " << line + 1;
        position = end + 1;
    }
    EXPECT_EQ(output.compare(position, 1 + kTitle.size(), "\n" + kTitle), 0) << output.substr(position);
    return output.substr(std::min(output.size(), position + 1 + kTitle.size()));
}

std::string Echo(const std::string& pathname, const std::string& timeType) {
    return "ParsingOptions - processing media file pathname: " + pathname + "\n" +
           "ParsingOptions - parse time type: " + timeType + "\n";
}

// The media reader's open failure, the fallback message, and on the same
// line the fallback reader's own status for a file it cannot open either
// (80432202, an I/O error).
std::string OpenFailure(const std::string& pathname) {
    return "OpenAVReader - AVReader open file: " + pathname + " failed: ffffffff\n" +
           "StampProbe - OpenAVReader with mediafile: " + pathname + " failed will try to use ViewWhileRec" +
           "ViewWhileRec - VIEWWHILEREC_InitParser scRet: 80432202\n";
}

// The closing line ends the output; its number is in the stream's default
// floating-point format, which may take the exponent form for tiny values.
void ExpectClosingLineEnds(const std::string& text, const std::string& before) {
    const std::string prefix = "Congratulation! The time parser parseed completely. elapsed time: ";
    ASSERT_EQ(text.compare(0, before.size(), before), 0) << text;
    const std::string closing = text.substr(before.size());
    std::smatch match;
    ASSERT_TRUE(std::regex_match(closing, match,
                                 std::regex("Congratulation! The time parser parseed completely\\. elapsed time: "
                                            "([0-9]+(\\.[0-9]+)?(e-[0-9]+)?) s\n")))
        << closing;
    const double seconds = std::strtod(match[1].str().c_str(), nullptr);
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 60.0);
}

// An error handler's message line, then the option table and an empty line.
void ExpectOptionError(const RunResult& result, const std::string& start) {
    EXPECT_EQ(result.exitCode, 255);  // exit(-1) as the shell sees it
    const std::string rest = AfterBannerAndTitle(result.output);
    ASSERT_EQ(rest.compare(0, start.size(), start), 0) << rest;
    const size_t lineEnd = rest.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_GT(lineEnd, start.size()) << "the library's message is missing";
    EXPECT_EQ(rest.substr(lineEnd + 1), kOptionTable + "\n");
}

}  // namespace

TEST(EndToEnd, NoArgumentsPrintBannerTitleAndUsage) {
    const RunResult result = RunStampwalk({});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(AfterBannerAndTitle(result.output), kUsage);
}

TEST(EndToEnd, UsageWhenHelpIsAskedOrAValueIsMissing) {
    const std::vector<std::vector<std::string>> commandLines = {
        {"-h", "-p", "a.3gp", "-t", "1"}, {"--help"}, {"--h"}, {"-p", "a.3gp"}, {"-t", "1"}, {"-x", "-p", "a.3gp"}};
    for (const auto& commandLine : commandLines) {
        const RunResult result = RunStampwalk(commandLine);
        EXPECT_EQ(result.exitCode, 0) << commandLine[0];
        EXPECT_EQ(AfterBannerAndTitle(result.output), kUsage) << commandLine[0];
    }
}

TEST(EndToEnd, NonNumericTimeTypeIsALibraryError) {
    ExpectOptionError(RunStampwalk({"-p", "a.3gp", "-t", "abc"}), "Invalid parameters got std::exception: ");
}

TEST(EndToEnd, PathnameGivenTwiceIsALibraryError) {
    ExpectOptionError(RunStampwalk({"-p", "a.3gp", "-p", "b.3gp", "-t", "1"}),
                      "Invalid parameters got std::exception: ");
}

TEST(EndToEnd, OptionWithoutItsValueIsASyntaxError) {
    ExpectOptionError(RunStampwalk({"-t", "1", "-p"}), "Invalid parameters got exception: ");
}

// A missing file: the media reader's open fails, the fallback message runs
// on into the fallback reader's status, and the closing line follows; the
// exit code is still 0.
TEST(EndToEnd, MissingFileFallsBackAndEndsWithTheClosingLine) {
    const std::string pathname = kMissingDirectory + "/missing.3gp";
    const RunResult result = RunStampwalk({"-p", pathname, "-t", "1"});
    EXPECT_EQ(result.exitCode, 0);
    ExpectClosingLineEnds(AfterBannerAndTitle(result.output), Echo(pathname, "1") + OpenFailure(pathname));
}

struct AcceptedForm {
    std::vector<std::string> arguments;
    std::string pathname;
    std::string timeType;
};

class AcceptedCommandLine : public ::testing::TestWithParam<AcceptedForm> {};

TEST_P(AcceptedCommandLine, EchoesPathnameAndTimeType) {
    const RunResult result = RunStampwalk(GetParam().arguments);
    EXPECT_EQ(result.exitCode, 0);
    const std::string& pathname = GetParam().pathname;
    ExpectClosingLineEnds(AfterBannerAndTitle(result.output),
                          Echo(pathname, GetParam().timeType) + OpenFailure(pathname));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AcceptedCommandLine,
    ::testing::Values(
        AcceptedForm{{"--pathname", "/nonexistent-stampwalk-test-directory/a.3gp", "--timetype", "2"},
                     "/nonexistent-stampwalk-test-directory/a.3gp",
                     "2"},
        AcceptedForm{{"--pathname=/nonexistent-stampwalk-test-directory/b.3gp", "--timetype=3"},
                     "/nonexistent-stampwalk-test-directory/b.3gp",
                     "3"},
        AcceptedForm{{"--path", "/nonexistent-stampwalk-test-directory/c.3gp", "--time", "1"},
                     "/nonexistent-stampwalk-test-directory/c.3gp",
                     "1"},
        // The shortest abbreviations stay unambiguous beside the checker's options.
        AcceptedForm{{"--p", "/nonexistent-stampwalk-test-directory/f.3gp", "--t", "1"},
                     "/nonexistent-stampwalk-test-directory/f.3gp",
                     "1"},
        AcceptedForm{{"-p/nonexistent-stampwalk-test-directory/d.3gp", "-t7"},
                     "/nonexistent-stampwalk-test-directory/d.3gp",
                     "7"},
        AcceptedForm{{"--verbose", "-p", "/nonexistent-stampwalk-test-directory/e.3gp", "stray", "-t", "-5", "words"},
                     "/nonexistent-stampwalk-test-directory/e.3gp",
                     "-5"},
        AcceptedForm{{"-p", "/nonexistent-stampwalk-test-directory/with blank\\and backslash.3gp", "-t", "1"},
                     "/nonexistent-stampwalk-test-directory/with blank\\and backslash.3gp",
                     "1"}));

// ---- the checker's command line ---------------------------------------------

namespace {

const std::string kKey = "000102030405060708090a0b0c0d0e0f";

// Files that are no recording: --check ends with exit code 2; JSON Lines
// then hold the one result object, and the text run says so before the
// closing line.
class NotARecording : public ::testing::TestWithParam<std::string> {};

TEST_P(NotARecording, ExitsWithTwoUnderCheck) {
    const RunResult json = RunStampwalk({"-p", GetParam(), "-t", "1", "--check", "--format", "json"});
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_EQ(
        json.output,
        "{\"type\":\"result\",\"status\":\"unreadable\",\"checked\":true,\"frames\":0,\"tracks\":0,\"findings\":0}\n");

    const RunResult text = RunStampwalk({"-p", GetParam(), "-t", "1", "--check"});
    EXPECT_EQ(text.exitCode, 2);
    EXPECT_NE(text.output.find("check: 0 findings in 0 tracks\ncheck: not readable as a recording\nCongratulation!"),
              std::string::npos)
        << text.output;
    // Without --check the exit code stays 0.
    EXPECT_EQ(RunStampwalk({"-p", GetParam(), "-t", "1"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, NotARecording,
                         ::testing::Values(kMissingDirectory + "/missing.mp4", std::string(STAMPWALK_SOURCE_DIR),
                                           std::string(STAMPWALK_SOURCE_DIR) + "/README.md"));

// A malformed checker option is a command-line error (255). In a text run
// its message follows banner and title; with a machine format it goes to
// standard error and standard output stays empty.
struct BadOption {
    std::vector<std::string> options;
    std::string message;
};

class BadCheckerOption : public ::testing::TestWithParam<BadOption> {};

TEST_P(BadCheckerOption, IsACommandLineError) {
    std::vector<std::string> arguments = {"-p", "a.mp4", "-t", "1"};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const RunResult text = RunStampwalk(arguments);
    EXPECT_EQ(text.exitCode, 255);
    EXPECT_NE(AfterBannerAndTitle(text.output).find(GetParam().message), std::string::npos) << text.output;

    arguments.insert(arguments.end(), {"--format", "json"});
    const RunResult json = RunStampwalk(arguments);
    EXPECT_EQ(json.exitCode, 255);
    EXPECT_EQ(json.output, "");
    EXPECT_NE(json.errors.find(GetParam().message), std::string::npos) << json.errors;
}

INSTANTIATE_TEST_SUITE_P(
    Options, BadCheckerOption,
    ::testing::Values(BadOption{{"--key", kKey.substr(2)}, "--key takes 32 hexadecimal digits"},
                      BadOption{{"--key", kKey + "00"}, "--key takes 32 hexadecimal digits"},
                      BadOption{{"--key", "zz" + kKey.substr(2)}, "--key takes 32 hexadecimal digits"},
                      BadOption{{"--key", kKey.substr(4) + ":" + kKey}, "--key takes 32 hexadecimal digits"},
                      BadOption{{"--gap-tolerance", "1"}, "--gap-tolerance must be above 1"},
                      BadOption{{"--jump-seconds", "0"}, "--jump-seconds must be above 0"},
                      BadOption{{"--clock-tolerance", "-1"}, "--clock-tolerance must not be negative"},
                      BadOption{{"--report", kMissingDirectory + "/report.html"}, "--report cannot write"},
                      // Errors the option library finds go the same way.
                      BadOption{{"--gap-tolerance", "abc"}, "for option '--gap-tolerance' is invalid"},
                      BadOption{{"--clock-tolerance", "1.5"}, "for option '--clock-tolerance' is invalid"}));

TEST(CheckerOptions, CompareWritesNoCsv) {
    const RunResult result = RunStampwalk({"-p", "a.mp4", "-t", "1", "--compare", "b.mp4", "--format", "csv"});
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find("--compare writes text or json, not csv"), std::string::npos) << result.errors;
}

TEST(CheckerOptions, UnknownFormatIsAnError) {
    const RunResult result = RunStampwalk({"-p", "a.mp4", "-t", "1", "--format", "xml"});
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_NE(result.output.find("--format takes text, json or csv, not 'xml'"), std::string::npos);
}

// Help keeps its text; asked for with a checker option it lists the checker's options after it.
TEST(CheckerOptions, HelpWithACheckerOptionListsThem) {
    const std::string help = AfterBannerAndTitle(RunStampwalk({"--help", "--check"}).output);
    ASSERT_EQ(help.compare(0, kUsage.size(), kUsage), 0) << help;
    const std::string checker = help.substr(kUsage.size());
    for (const char* option : {"--check", "--format", "--gap-tolerance", "--jump-seconds", "--clock-tolerance", "--key",
                               "--integrity-key", "exit codes with --check"}) {
        EXPECT_NE(checker.find(option), std::string::npos) << option;
    }
}

}  // namespace

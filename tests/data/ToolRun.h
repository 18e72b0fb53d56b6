// Runs the built stampwalk tool on a file and collects its output lines.
#ifndef STAMPWALK_TESTS_DATA_TOOLRUN_H
#define STAMPWALK_TESTS_DATA_TOOLRUN_H

#include <string>
#include <vector>

namespace datatest {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit by itself
    std::vector<std::string> lines;
};

// stampwalk -p PATH -t TIMETYPE and then the options, with the tool that the
// build made.
ToolRun RunStampwalk(const std::string& path, int timeType, const std::vector<std::string>& options = {});

bool StartsWith(const std::string& text, const std::string& prefix);

// The value of "name" in one JSON Lines object as written: a string without
// its quotes (no escapes are expected in the fields asked for), or the text
// of a number, true, false or null. Empty when the key is missing.
std::string JsonField(const std::string& line, const std::string& name);

}  // namespace datatest

#endif

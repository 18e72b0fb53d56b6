#include "ToolRun.h"

#include "support/ProgramRun.h"

namespace datatest {

ToolRun RunStampwalk(const std::string& path, int timeType, const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {"-p", path, "-t", std::to_string(timeType)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const testsupport::ProgramRun program = testsupport::RunProgram(STAMPWALK_TOOL, arguments);
    ToolRun run;
    run.exitCode = program.exitCode;
    std::string line;
    for (const char c : program.output) {
        if (c == '\n') {
            run.lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) run.lines.push_back(line);
    return run;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace datatest

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

std::string JsonField(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t start = line.find(key);
    if (start == std::string::npos) return "";
    size_t at = start + key.size();
    if (at < line.size() && line[at] == '"') {
        const size_t end = line.find('"', at + 1);
        return end == std::string::npos ? "" : line.substr(at + 1, end - at - 1);
    }
    const size_t end = line.find_first_of(",}", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace datatest

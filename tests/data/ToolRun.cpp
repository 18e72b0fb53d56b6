#include "ToolRun.h"

#include <sys/wait.h>

#include <cstdio>

namespace datatest {

ToolRun RunStampwalk(const std::string& path, int timeType) {
    ToolRun run;
    const std::string command =
        "'" + std::string(STAMPWALK_TOOL) + "' -p '" + path + "' -t " + std::to_string(timeType);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::string line;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                run.lines.push_back(line);
                line.clear();
            } else {
                line += buffer[i];
            }
        }
    }
    if (!line.empty()) run.lines.push_back(line);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace datatest

// Runs a program to its end and collects what it printed, its exit status
// and what it cost: the one way tests start the programs of the build.
#ifndef STAMPWALK_TESTSUPPORT_PROGRAMRUN_H
#define STAMPWALK_TESTSUPPORT_PROGRAMRUN_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RunOptions {
    std::string workingDirectory;    // empty: the caller's
    double timeLimitSeconds = 0;     // 0: none; past it the program is killed
    uint64_t addressSpaceBytes = 0;  // 0: no limit
    bool discardOutput = false;      // standard output to /dev/null instead of into `output`
};

struct ProgramRun {
    int exitCode = -1;  // -1 when the program did not exit by itself; 127 when it could not be started
    int signal = 0;     // the signal that ended it, else 0
    bool timedOut = false;
    std::string output;        // standard output
    std::string errors;        // standard error
    double seconds = 0;        // wall-clock time from start to end
    double peakMemoryMib = 0;  // peak resident memory
};

// Runs `program` (a path, not searched for) with the arguments, standard
// input from /dev/null. Throws std::runtime_error when no process can be made.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

}  // namespace testsupport

#endif

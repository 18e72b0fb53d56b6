// Runs a command with a time limit and reports its peak memory: the limit
// run's measure of what one input costs.
//
//   run_limited SECONDS MAX_RSS_MIB COMMAND [ARGUMENT...]
//
// The command's standard output goes to /dev/null. Prints one line
// "SECONDS_TAKEN PEAK_RSS_MIB EXIT_STATUS" and exits 0 when the command ended
// by itself with status 0 within both limits, 1 otherwise. The address space
// is limited to four times the memory limit, so that a runaway command fails
// instead of taking the machine's memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "tools/HelpOption.h"

const char kUsage[] =
    "usage: run_limited SECONDS MAX_RSS_MIB COMMAND [ARGUMENT...]\n"
    "  Runs COMMAND within a time and a memory limit; prints seconds, peak MiB and exit code.\n";

int main(int argc, char** argv) {
    // The command's own arguments are not run_limited's.
    const bool help = helpoption::AsksForHelp(argc < 3 ? argc : 3, argv);
    if (help || argc < 4) return helpoption::Usage(kUsage, help);
    const double seconds = std::atof(argv[1]);
    const long maxRssMib = std::atol(argv[2]);
    testsupport::RunOptions options;
    options.timeLimitSeconds = seconds;
    options.addressSpaceBytes = uint64_t(maxRssMib) * 4 * 1024 * 1024;
    options.discardOutput = true;
    testsupport::ProgramRun run;
    try {
        run = testsupport::RunProgram(argv[3], std::vector<std::string>(argv + 4, argv + argc), options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "run_limited: %s\n", error.what());
        return 2;
    }
    std::fputs(run.errors.c_str(), stderr);
    const int exitStatus = run.signal != 0 ? 128 + run.signal : run.exitCode;
    std::printf("%.2f %.1f %d\n", run.seconds, run.peakMemoryMib, exitStatus);
    return !run.timedOut && exitStatus == 0 && run.seconds <= seconds && run.peakMemoryMib <= double(maxRssMib) ? 0 : 1;
}

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
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: run_limited SECONDS MAX_RSS_MIB COMMAND [ARGUMENT...]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const long maxRssMib = std::atol(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        const rlim_t addressSpace = rlim_t(maxRssMib) * 4 * 1024 * 1024;
        const rlimit limit{addressSpace, addressSpace};
        setrlimit(RLIMIT_AS, &limit);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        execv(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    bool timedOut = false;
    for (;;) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return 2;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() > seconds && !timedOut) {
            kill(child, SIGKILL);
            timedOut = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double peakMib = double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%.2f %.1f %d\n", elapsed.count(), peakMib, exitStatus);
    return !timedOut && exitStatus == 0 && elapsed.count() <= seconds && peakMib <= double(maxRssMib) ? 0 : 1;
}

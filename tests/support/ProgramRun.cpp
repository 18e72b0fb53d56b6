#include "support/ProgramRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// Runs in the child between fork and exec, so only async-signal-safe calls.
[[noreturn]] void StartChild(const char* program, char* const* argv, const RunOptions& options, int outputEnd,
                             int errorsEnd) {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || dup2(null, STDIN_FILENO) < 0) _exit(127);
    if (dup2(options.discardOutput ? null : outputEnd, STDOUT_FILENO) < 0) _exit(127);
    if (dup2(errorsEnd, STDERR_FILENO) < 0) _exit(127);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(127);
    if (options.addressSpaceBytes != 0) {
        const rlimit limit{rlim_t(options.addressSpaceBytes), rlim_t(options.addressSpaceBytes)};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    execv(program, argv);
    _exit(127);
}

// Reads both pipes to their end; kills the child when the time limit passes
// first.
void Collect(pid_t child, int outputEnd, int errorsEnd, Clock::time_point deadline, bool limited, ProgramRun& run) {
    pollfd ends[2] = {{outputEnd, POLLIN, 0}, {errorsEnd, POLLIN, 0}};
    std::string* texts[2] = {&run.output, &run.errors};
    int openEnds = 2;
    while (openEnds > 0) {
        int waitMs = -1;
        if (limited && !run.timedOut) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = int(std::max<int64_t>(0, left.count()) + 1);
        }
        const int ready = poll(ends, 2, waitMs);
        if (ready < 0 && errno != EINTR) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (limited && !run.timedOut && Clock::now() >= deadline) {
            kill(child, SIGKILL);
            run.timedOut = true;
        }
        for (int i = 0; i < 2; ++i) {
            if (ends[i].fd < 0 || ends[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(ends[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, size_t(got));
            } else if (got == 0 || errno != EINTR) {
                close(ends[i].fd);
                ends[i].fd = -1;
                --openEnds;
            }
        }
    }
}

// Waits for the child, which may outlive its pipes; kills it at the time
// limit.
int Reap(pid_t child, Clock::time_point deadline, bool limited, ProgramRun& run, rusage& usage) {
    int status = 0;
    for (;;) {
        const bool polling = limited && !run.timedOut;
        const pid_t done = wait4(child, &status, polling ? WNOHANG : 0, &usage);
        if (done == child) return status;
        if (done < 0 && errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
        if (polling && Clock::now() >= deadline) {
            kill(child, SIGKILL);
            run.timedOut = true;
        } else if (polling) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int outputPipe[2];
    int errorsPipe[2];
    if (pipe2(outputPipe, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (pipe2(errorsPipe, O_CLOEXEC) != 0) {
        close(outputPipe[0]);
        close(outputPipe[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    const bool limited = options.timeLimitSeconds > 0;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(limited ? options.timeLimitSeconds : 0));
    const pid_t child = fork();
    if (child == 0) StartChild(program.c_str(), argv.data(), options, outputPipe[1], errorsPipe[1]);
    close(outputPipe[1]);
    close(errorsPipe[1]);
    if (child < 0) {
        close(outputPipe[0]);
        close(errorsPipe[0]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }

    ProgramRun run;
    rusage usage{};
    Collect(child, outputPipe[0], errorsPipe[0], deadline, limited, run);
    const int status = Reap(child, deadline, limited, run, usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakMemoryMib = double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

}  // namespace testsupport

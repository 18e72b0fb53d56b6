// The run's wall-clock stopwatch and the closing line that reports it.
#ifndef STAMPWALK_APP_CLOSINGLINE_H
#define STAMPWALK_APP_CLOSINGLINE_H

#include <chrono>
#include <ostream>

// Wall time, not process time: the elapsed time reports how long the user waited.
class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double ElapsedSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// "Congratulation! ... elapsed time: <seconds> s" with the stream's default
// floating-point format (six significant digits, no trailing zeros).
void PrintClosingLine(std::ostream& out, double elapsedSeconds);

#endif

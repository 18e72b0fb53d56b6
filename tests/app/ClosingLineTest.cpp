#include "app/ClosingLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace {

std::string ClosingLine(double seconds, bool hexMode = false) {
    std::ostringstream out;
    if (hexMode) out << std::hex;
    PrintClosingLine(out, seconds);
    return out.str();
}

const std::string kPrefix = "Congratulation! The time parser parseed completely. elapsed time: ";

}  // namespace

TEST(ClosingLine, DefaultFloatingPointFormat) {
    EXPECT_EQ(ClosingLine(0.016), kPrefix + "0.016 s\n");
    EXPECT_EQ(ClosingLine(0.125), kPrefix + "0.125 s\n");
    EXPECT_EQ(ClosingLine(2.0), kPrefix + "2 s\n");
    EXPECT_EQ(ClosingLine(12.3456789), kPrefix + "12.3457 s\n");
    EXPECT_EQ(ClosingLine(0.0), kPrefix + "0 s\n");
    EXPECT_EQ(ClosingLine(1234567.0), kPrefix + "1.23457e+06 s\n");
}

// The fallback run leaves the stream in hexadecimal mode for integers.
TEST(ClosingLine, HexModeLeftOnTheStreamDoesNotChangeIt) {
    EXPECT_EQ(ClosingLine(0.016, true), kPrefix + "0.016 s\n");
    EXPECT_EQ(ClosingLine(16.0, true), kPrefix + "16 s\n");
}

// A sleeping process uses no processor time: only a wall clock sees the wait.
TEST(Stopwatch, MeasuresWallTime) {
    const Stopwatch stopwatch;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double elapsed = stopwatch.ElapsedSeconds();
    EXPECT_GE(elapsed, 0.029);
    EXPECT_LT(elapsed, 10.0);
}

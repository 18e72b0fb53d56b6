#include "analysis/TimeColumn.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using ZENT::SDK::Analysis::TimeColumn;

// Steps of every width the variable-length form takes, both signs, and the
// two ends of the range (the step from INT64_MIN to INT64_MAX wraps in 64
// bits and comes back as the same time): every time is given back exactly.
TEST(TimeColumn, GivesBackEveryTimeAndStep) {
    const std::vector<int64_t> times = {0,       33,           67,        67,        3067,      -5,       1000000,
                                        1 << 21, -(1LL << 40), INT64_MIN, INT64_MAX, INT64_MIN, 12345678, 12345677};
    TimeColumn column;
    for (const int64_t time : times) column.Add(time);
    ASSERT_TRUE(column.Complete());
    EXPECT_EQ(column.First(), 0);
    std::vector<int64_t> seen = {column.First()};
    column.ForEachStep([&](uint64_t index, int64_t time, int64_t step) {
        EXPECT_EQ(index, seen.size());
        EXPECT_EQ(static_cast<uint64_t>(time), static_cast<uint64_t>(seen.back()) + static_cast<uint64_t>(step));
        seen.push_back(time);
    });
    EXPECT_EQ(seen, times);
}

TEST(TimeColumn, EndsAtTheFirstFrameWithoutATime) {
    TimeColumn column;
    column.Add(5);
    column.Add(std::nullopt);
    column.Add(10);
    EXPECT_FALSE(column.Complete());
}

#include "analysis/DecimalText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ZENT::SDK::Analysis;

namespace {

struct TimeRow {
    int64_t value;
    uint32_t timescale;
    const char* seconds;  // nullptr: no seconds at all
};

class ContainerSeconds : public testing::TestWithParam<TimeRow> {};

TEST_P(ContainerSeconds, Text) {
    const TimeRow& row = GetParam();
    std::string text = "x";
    EXPECT_EQ(AppendSeconds(text, ContainerTime{row.value, row.timescale}), row.seconds != nullptr);
    EXPECT_EQ(text, std::string("x") + (row.seconds != nullptr ? row.seconds : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ContainerSeconds,
    testing::Values(TimeRow{1, 1000, "0.001"}, TimeRow{-1, 1000, "-0.001"}, TimeRow{1500, 1000, "1.5"},
                    TimeRow{0, 1000, "0"}, TimeRow{1, 1024, "0.0009765625"}, TimeRow{30000, 30000, "1"},
                    // 1/30000 = 0.0000333..., five places as 30000 has five digits
                    TimeRow{1, 30000, "0.00003"}, TimeRow{1001, 30000, "0.03337"}, TimeRow{-1001, 30000, "-0.03337"},
                    TimeRow{29999, 30000, "0.99997"}, TimeRow{3003, 90000, "0.03337"}, TimeRow{1, 90000, "0.00001"},
                    TimeRow{2, 3, "0.7"}, TimeRow{19, 96, "0.2"},  // 0.1979... carries through the 9
                    TimeRow{std::numeric_limits<int64_t>::min(), 1, "-9223372036854775808"}, TimeRow{7, 0, nullptr}));

// Read back as a double and rounded to the nearest tick, the text gives the
// stored tick, far beyond the values of a day's recording.
TEST(ContainerSeconds, RoundTripToTheTick) {
    uint64_t state = 12345;
    for (uint32_t timescale : {30000u, 90000u, 48000u, 1000u, 600u, 7u}) {
        for (int step = 0; step < 2000; ++step) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            const auto value = static_cast<int64_t>(state >> 24) - (int64_t{1} << 39);
            std::string text;
            AppendSeconds(text, ContainerTime{value, timescale});
            EXPECT_EQ(std::llround(std::strtod(text.c_str(), nullptr) * timescale), value) << text << " @" << timescale;
        }
    }
}

struct MillisecondRow {
    int64_t milliseconds;
    const char* seconds;
};

class CameraSeconds : public testing::TestWithParam<MillisecondRow> {};

TEST_P(CameraSeconds, ThreePlaces) {
    std::string text;
    AppendMilliseconds(text, GetParam().milliseconds);
    EXPECT_EQ(text, GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Rows, CameraSeconds,
                         testing::Values(MillisecondRow{1700000000123, "1700000000.123"}, MillisecondRow{-1, "-0.001"},
                                         MillisecondRow{0, "0.000"}, MillisecondRow{-1500, "-1.500"},
                                         MillisecondRow{1000, "1.000"}, MillisecondRow{45, "0.045"}));

TEST(DecimalText, FindingSecondsAndCrcs) {
    std::string text;
    for (double seconds : {1.234, 0.1, -2.5, 1e-7, 1e21}) {
        ASSERT_TRUE(AppendSeconds(text, seconds));
        text += ' ';
    }
    EXPECT_FALSE(AppendSeconds(text, std::nan("")));
    EXPECT_FALSE(AppendSeconds(text, std::numeric_limits<double>::infinity()));
    AppendHex32(text, 0x0A1B2C3Du);
    AppendHex32(text, 0);
    EXPECT_EQ(text, "1.234 0.1 -2.5 0.0000001 1000000000000000000000 0A1B2C3D00000000");
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "format/NalUnits.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ZENT::SDK::Format::PrefixedUnit;
using ZENT::SDK::Format::PrefixedUnitWalk;
using ZENT::SDK::Format::StartCodesInPlace;

// offset, length, cut
using Unit = std::tuple<uint64_t, uint64_t, bool>;

struct WalkCase {
    const char* name;
    Bytes stored;
    unsigned prefixSize;
    std::vector<Unit> units;
    uint64_t tail;
};

class PrefixedUnitWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(PrefixedUnitWalkTest, StepsOverEachUnitAndStopsAtTheTail) {
    const WalkCase& c = GetParam();
    PrefixedUnitWalk walk(c.stored.data(), c.stored.size(), c.prefixSize);
    std::vector<Unit> units;
    for (PrefixedUnit unit; walk.Next(unit);) {
        EXPECT_EQ(unit.offset, unit.prefixOffset + c.prefixSize);
        units.emplace_back(unit.offset, unit.length, unit.cut);
    }
    EXPECT_EQ(units, c.units);
    EXPECT_EQ(walk.Position(), c.tail);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, PrefixedUnitWalkTest,
    ::testing::Values(
        // 2 bytes, an empty unit, then one byte that cannot be a prefix.
        WalkCase{
            "EmptyUnitAndTail", {0, 0, 0, 2, 0xAA, 0xBB, 0, 0, 0, 0, 0xCC}, 4, {{4, 2, false}, {10, 0, false}}, 10},
        WalkCase{"ClaimExactlyWhatIsLeft", {0, 0, 0, 2, 0xAA, 0xBB}, 4, {{4, 2, false}}, 6},
        WalkCase{"ClaimPastTheEnd", {0, 0, 0, 9, 0x65, 1}, 4, {{4, 2, true}}, 6},
        WalkCase{"PrefixAtTheVeryEnd", {0, 0, 0, 5}, 4, {{4, 0, true}}, 4},
        WalkCase{"ClaimOfFourGiB", {0xFF, 0xFF, 0xFF, 0xFF, 1}, 4, {{4, 1, true}}, 5},
        WalkCase{"OneBytePrefixes", {2, 0xAA, 0xBB, 0, 1, 0xCC}, 1, {{1, 2, false}, {4, 0, false}, {5, 1, false}}, 6},
        WalkCase{"TwoBytePrefixes", {0, 1, 0xAA, 1, 0, 0x10}, 2, {{2, 1, false}, {5, 1, true}}, 6},
        WalkCase{"TwoBytePrefixesWithTail", {0, 1, 0xAA, 0}, 2, {{2, 1, false}}, 3}),
    [](const ::testing::TestParamInfo<WalkCase>& info) { return info.param.name; });

struct InPlaceCase {
    const char* name;
    Bytes stored;
    Bytes handedOut;
    std::vector<uint64_t> unitLengths;
    uint64_t tail;
};

class StartCodesInPlaceTest : public ::testing::TestWithParam<InPlaceCase> {};

TEST_P(StartCodesInPlaceTest, PrefixesBecomeStartCodesWhereTheyStand) {
    const InPlaceCase& c = GetParam();
    Bytes bytes = c.stored;
    std::vector<uint64_t> unitLengths;
    const uint64_t tail = StartCodesInPlace(bytes.data(), bytes.size(), [&](uint8_t* unit, uint64_t length) {
        EXPECT_EQ(unit[-1], 1) << "a unit follows its start code";
        unitLengths.push_back(length);
    });
    EXPECT_EQ(bytes, c.handedOut);
    EXPECT_EQ(unitLengths, c.unitLengths);
    EXPECT_EQ(tail, c.tail);

    Bytes again = c.stored;
    EXPECT_EQ(StartCodesInPlace(again.data(), again.size()), c.tail);
    EXPECT_EQ(again, c.handedOut);
}

INSTANTIATE_TEST_SUITE_P(Samples, StartCodesInPlaceTest,
                         ::testing::Values(InPlaceCase{"Empty", {}, {}, {}, 0},
                                           InPlaceCase{"TailOnly", {0, 0, 5}, {0, 0, 5}, {}, 0},
                                           InPlaceCase{"UnitsEmptyUnitAndCutUnit",
                                                       {0, 0, 0, 2, 0xAA, 0xBB, 0, 0, 0, 0, 0, 0, 0, 7, 0xCC, 0xDD, 1},
                                                       {0, 0, 0, 1, 0xAA, 0xBB, 0, 0, 0, 1, 0, 0, 0, 1, 0xCC, 0xDD, 1},
                                                       {2, 0, 3},
                                                       17}),
                         [](const ::testing::TestParamInfo<InPlaceCase>& info) { return info.param.name; });

}  // namespace

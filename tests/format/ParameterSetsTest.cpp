#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "format/ParameterSets.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace ZENT::SDK::Format;

enum class Codec { Avc, Hevc };

struct ConversionCase {
    const char* name;
    Codec codec;
    ConfigurationForm form;
    HevcUnitChoice choice;
    uint64_t limit;
    Bytes stored;
    Bytes converted;
    size_t parameterSetLength;
    ParameterSetEnd end;
};

class ParameterSetsTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ParameterSetsTest, UnitsGetStartCodes) {
    const ConversionCase& c = GetParam();
    const ConvertedParameterSets result =
        c.codec == Codec::Avc ? ConvertAvcParameterSets(c.stored.data(), c.stored.size(), c.form, c.limit)
                              : ConvertHevcParameterSets(c.stored.data(), c.stored.size(), c.form, c.choice, c.limit);
    EXPECT_EQ(result.bytes, c.converted);
    EXPECT_EQ(result.parameterSetLength, c.parameterSetLength);
    EXPECT_EQ(result.end, c.end);
}

Bytes HvcCHeader(Bytes arrays) {
    arrays.insert(arrays.begin(), 22, 0xEE);
    return arrays;
}

constexpr auto kBare = ConfigurationForm::Bare;
constexpr auto kRecord = ConfigurationForm::Record;
constexpr auto kAll = HevcUnitChoice::All;
constexpr auto kSetsFirst = HevcUnitChoice::ParameterSetsThenPrefixSei;
constexpr auto kComplete = ParameterSetEnd::Complete;
constexpr auto kTruncated = ParameterSetEnd::Truncated;
constexpr auto kOverLimit = ParameterSetEnd::OverLimit;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Avc, ParameterSetsTest,
    ::testing::Values(
        // SPS 67 42, one PPS 68.
        ConversionCase{"Bare", Codec::Avc, kBare, kAll, kNoLimit, {0, 2, 0x67, 0x42, 1, 0, 1, 0x68},
                       {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68}, 11, kComplete},
        ConversionCase{"BareWithoutPictureSetCount", Codec::Avc, kBare, kAll, kNoLimit, {0, 1, 0x67},
                       {0, 0, 0, 1, 0x67}, 5, kTruncated},
        // The second PPS claims 5 bytes, 1 is there.
        ConversionCase{"PictureSetPastTheEnd", Codec::Avc, kBare, kAll, kNoLimit,
                       {0, 1, 0x67, 2, 0, 1, 0x68, 0, 5, 0x68}, {0, 0, 0, 1, 0x67, 0, 0, 0, 1, 0x68}, 10, kTruncated},
        // 5 bytes for the SPS, 6 more for the PPS.
        ConversionCase{"UpToTheLimit", Codec::Avc, kBare, kAll, 11, {0, 1, 0x67, 1, 0, 2, 0x68, 0xCE},
                       {0, 0, 0, 1, 0x67, 0, 0, 0, 1, 0x68, 0xCE}, 11, kComplete},
        ConversionCase{"OneByteOverTheLimit", Codec::Avc, kBare, kAll, 10, {0, 1, 0x67, 1, 0, 2, 0x68, 0xCE},
                       {0, 0, 0, 1, 0x67}, 5, kOverLimit},
        // The limit is checked on the length, before the unit's bytes.
        ConversionCase{"LimitBeforeTruncation", Codec::Avc, kBare, kAll, 4, {0, 5, 0x67}, {}, 0, kOverLimit},
        // Header with two SPS (E2), no PPS.
        ConversionCase{"Record", Codec::Avc, kRecord, kAll, kNoLimit,
                       {1, 0x64, 0, 0x1F, 0xFF, 0xE2, 0, 1, 0x67, 0, 1, 0x27, 0},
                       {0, 0, 0, 1, 0x67, 0, 0, 0, 1, 0x27}, 10, kComplete},
        ConversionCase{"RecordHeaderOnly", Codec::Avc, kRecord, kAll, kNoLimit, {1, 0x64, 0, 0x1F, 0xFF, 0xE0}, {},
                       0, kTruncated},
        ConversionCase{"RecordCutInItsHeader", Codec::Avc, kRecord, kAll, kNoLimit, {1, 0x64, 0, 0x1F, 0xFF}, {}, 0,
                       kTruncated}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Hevc, ParameterSetsTest,
    ::testing::Values(
        // A VPS array (type 32) and a prefix SEI array (type 39), one unit each.
        ConversionCase{"AllInStoredOrder", Codec::Hevc, kBare, kAll, kNoLimit,
                       {2, 0x27, 0, 1, 0, 1, 0x4E, 0x20, 0, 1, 0, 1, 0x40},
                       {0, 0, 0, 1, 0x4E, 0, 0, 0, 1, 0x40}, 10, kComplete},
        ConversionCase{"ParameterSetsBeforePrefixSei", Codec::Hevc, kBare, kSetsFirst, kNoLimit,
                       {2, 0x27, 0, 1, 0, 1, 0x4E, 0x20, 0, 1, 0, 1, 0x40},
                       {0, 0, 0, 1, 0x40, 0, 0, 0, 1, 0x4E}, 5, kComplete},
        // Type 35 is passed over, type A2 & 3F is 34, a PPS.
        ConversionCase{"OtherTypesPassedOver", Codec::Hevc, kBare, kSetsFirst, kNoLimit,
                       {2, 0x23, 0, 1, 0, 1, 0x46, 0xA2, 0, 1, 0, 1, 0x44}, {0, 0, 0, 1, 0x44}, 5, kComplete},
        ConversionCase{"PassedOverUnitPastTheEnd", Codec::Hevc, kBare, kSetsFirst, kNoLimit,
                       {2, 0x22, 0, 1, 0, 1, 0x44, 0x23, 0, 1, 0, 5, 0x46}, {0, 0, 0, 1, 0x44}, 5, kTruncated},
        ConversionCase{"ArrayHeaderCut", Codec::Hevc, kBare, kAll, kNoLimit, {2, 0x20, 0, 1, 0, 1, 0x40, 0x21, 0},
                       {0, 0, 0, 1, 0x40}, 5, kTruncated},
        // Two empty units: 4 bytes each.
        ConversionCase{"EmptyUnitsOverTheLimit", Codec::Hevc, kBare, kAll, 7, {1, 0x20, 0, 2, 0, 0, 0, 0},
                       {0, 0, 0, 1}, 4, kOverLimit},
        ConversionCase{"Record", Codec::Hevc, kRecord, kSetsFirst, kNoLimit, HvcCHeader({1, 0x21, 0, 1, 0, 2, 0x42, 1}),
                       {0, 0, 0, 1, 0x42, 1}, 6, kComplete},
        ConversionCase{"RecordWithoutArrayCount", Codec::Hevc, kRecord, kSetsFirst, kNoLimit, HvcCHeader({}), {}, 0,
                       kTruncated}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });
// clang-format on

// The most a conversion reads beyond its limit: every array header there can
// be, then the length of a unit that does not fit.
TEST(ParameterSetsBound, ReadsAtMostBytesBeyondTheLimit) {
    Bytes area = {255};
    for (int a = 0; a < 254; ++a) area.insert(area.end(), {0x20, 0, 0});
    area.insert(area.end(), {0x20, 0, 1, 0, 0});
    ASSERT_EQ(area.size(), kBytesBeyondLimit);
    EXPECT_EQ(ConvertHevcParameterSets(area.data(), area.size(), kBare, kAll, 0).end, kOverLimit);
    EXPECT_EQ(ConvertHevcParameterSets(area.data(), area.size() - 1, kBare, kAll, 0).end, kTruncated);
}

}  // namespace

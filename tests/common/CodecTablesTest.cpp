#include "common/CodecTables.h"

#include <gtest/gtest.h>

#include <cstring>

#include "isom/AVReader.h"

using namespace ZENT::SDK::Utility;

TEST(CodecTables, FourCharacterCodesInBothByteOrders) {
    EXPECT_EQ(FourCC("moov"), 0x6D6F6F76u);
    EXPECT_EQ(FourCCLittle("JPEG"), 0x4745504Au);
}

TEST(CodecTables, NamesAndUnnamedValues) {
    EXPECT_STREQ(CodecName(kCodecSamr), "GAMR");  // the 4096 codec is named GAMR
    EXPECT_STREQ(CodecName(kCodecGamr), "????");  // and 0x800 has no name
    EXPECT_STREQ(CodecName(0xFF), "????");
    EXPECT_STREQ(CodecName(0xFF00), "????");
    EXPECT_STREQ(CodecName(0x3), "????");
    EXPECT_STREQ(CodecName(kCodecAac), "AAC4");
    EXPECT_EQ(CodecTrackFourCC(kCodecDummyVideo), 0u);
    EXPECT_EQ(CodecTrackFourCC(kCodecIva1), 0u);
}

TEST(CodecTables, SampleEntriesThatMapByTypeAlone) {
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("hev1")), kCodecHevc);
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("hvc1")), kCodecHevc);
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("samr")), kCodecSamr);
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("mp4v")), 0u);
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("mett")), 0u);
    EXPECT_EQ(CodecTypeFromSampleEntry(FourCC("xxxx")), 0u);
    EXPECT_EQ(CodecHeaderCode(kCodecUlaw), FourCC("PCMU"));
}

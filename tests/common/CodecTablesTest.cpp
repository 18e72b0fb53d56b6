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
    EXPECT_EQ(FindCodec(kCodecDummyVideo)->trackFourCC, 0u);
    EXPECT_EQ(FindCodec(kCodecIva1)->trackFourCC, 0u);
}

TEST(CodecTables, SampleEntriesThatMapByTypeAlone) {
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("hev1")), FindCodec(kCodecHevc));
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("hvc1")), FindCodec(kCodecHevc));
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("samr")), FindCodec(kCodecSamr));
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("mp4v")), nullptr);
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("mett")), nullptr);
    EXPECT_EQ(FindCodecBySampleEntry(FourCC("xxxx")), nullptr);
    EXPECT_EQ(FindCodec(kCodecUlaw)->headerCode, FourCC("PCMU"));
}

// The other keys, spelled as the bytes on disk give them.
static_assert(FindCodecByObjectType(0x6C)->codecType == kCodecJpeg);
static_assert(FindCodecByObjectType(0x20)->codecType == kCodecMp4v);
static_assert(FindCodecByTag(0x34363248)->codecType == kCodecH264);         // "H264"
static_assert(FindCodecByTag(0x31313747) == nullptr);                       // "G711" names no one law
static_assert(FindCodecByHeaderCode(0x47373131)->codecType == kCodecUlaw);  // "G711"
static_assert(FindCodecByHeaderCode(0x47414D52)->codecType == kCodecGamr);  // "GAMR"
static_assert(FindCodecByHeaderCode(0x53414D52)->codecType == kCodecSamr);  // "SAMR"
static_assert(FindCodecByHeaderCode(0) == nullptr, "IVA1 has no header code");
static_assert(FindCodec(kCodecHevc)->nalUnits && FindCodec(kCodecHevc)->decoderConfig == DecoderConfig::kHevc);
static_assert(!FindCodec(kCodecAac)->nalUnits && FindCodec(kCodecAac)->longHeader);
static_assert(!FindCodec(kCodecG7221)->longHeader && FindCodec(kCodecG7221)->sampleRate == 16000);

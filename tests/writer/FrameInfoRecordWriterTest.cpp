// Frame-information records, user-data items and trailers, against bytes
// worked out by hand from their layouts.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace writer;

TEST(UserData, BerLengthForms) {
    EXPECT_EQ(BerLength(5), Hex("05"));
    EXPECT_EQ(BerLength(0x7F), Hex("7F"));
    EXPECT_EQ(BerLength(144), Hex("81 90"));
    EXPECT_EQ(BerLength(256), Hex("82 0100"));
    EXPECT_EQ(BerLength(0x10000), Hex("83 010000"));
    EXPECT_EQ(BerLength(0x1000000), Hex("84 01000000"));
    EXPECT_EQ(BerLength(5, LengthForm::Long1), Hex("81 05"));
    EXPECT_EQ(BerLength(5, LengthForm::Long4), Hex("84 00000005"));
    EXPECT_THROW(BerLength(0x80, LengthForm::Short), std::invalid_argument);
    EXPECT_THROW(BerLength(0x100, LengthForm::Long1), std::invalid_argument);
}

TEST(UserData, TimeAndIntegrityItems) {
    UserData items;
    items.streamTime(1577836800, 123, 1, 0xFFFF).integrity(0x11223344);
    EXPECT_EQ(items.bytes(), Hex("60 0C 5E0BE100 0000007B 0001 FFFF 6E 04 44332211"));
    EXPECT_EQ(items.block(), Concat({Hex("00000014"), items.bytes()}));
    UserData longForm;
    longForm.item(0x61, TimeValue(1, 2), LengthForm::Long2);
    EXPECT_EQ(longForm.bytes(), Hex("61 82000C 00000001 00000002 0000 0000"));
}

TEST(MediaHeader, FlagWordBits) {
    EXPECT_EQ(FlagWord{}.value(), 0x00200300u);  // UTC (bit 21), zone index 48 at bits 4 to 10
    FlagWord local;
    local.utc = false;
    local.zoneIndex = 16;
    local.daylightSaving = true;
    local.taggedItems = true;
    EXPECT_EQ(local.value(), 0x00000908u);
    FlagWord events;
    events.utc = false;
    events.zoneIndex = 0;
    events.events = 0x0F;
    EXPECT_EQ(events.value(), 0x00CC0000u);
    events.events = 0;
    events.digitalInputs = 0x0F;
    events.digitalInputsValid = true;
    events.flag20 = true;
    EXPECT_EQ(events.value(), 0x0013E000u);
}

TEST(MediaHeader, FieldsAndPaddedExtension) {
    MediaHeader header;
    header.codec = "aac ";
    header.frameType = 1;
    header.digitalInputs = 5;
    header.seconds = 0x5E0BE100;
    header.milliseconds = 999;
    header.extension = Hex("400100");
    EXPECT_EQ(MediaHeaderBytes(header), Hex("00000000 61616320 15 00201304 5E0BE100 03E7 01 40010000"));
    header.extensionWords = 255;  // as written, whatever follows
    EXPECT_EQ(MediaHeaderBytes(header)[19], 255);
}

TEST(MediaHeader, TaggedHeaderItems) {
    EXPECT_EQ(HeaderItem(18, Hex("003412")), Hex("12 03 003412"));
    EXPECT_EQ(HeaderItem(20, Bytes(200, 0)), Concat({Hex("14 81 C8"), Bytes(200, 0)}));
}

TEST(FrameInfoRecord, LayoutByTheTable) {
    MediaHeader header;
    header.frameType = 1;
    header.seconds = 10;
    header.extension = Hex("01");
    UserData userData;
    userData.recordTime(10, 500);
    Bytes record = FrameInfoRecord(header, userData).bytes();
    EXPECT_EQ(record, Hex("0000000000000000 00000018 0000000E "
                          "00000000 68323634 10 00201304 0000000A 0000 01 01000000 "
                          "61 0C 0000000A 000001F4 0000 0000"));
}

TEST(FrameInfoRecord, ForcedLengthsForMalformedRecords) {
    Bytes record = FrameInfoRecord().forceHeaderLength(0x10000000).forceUserDataLength(0xFFFFFF00).bytes();
    EXPECT_EQ(ReadU32(record, 8), 0x10000000u);
    EXPECT_EQ(ReadU32(record, 12), 0xFFFFFF00u);
    EXPECT_EQ(record.size(), 16u + 20u);
}

TEST(EmbeddedFile, BothTrailerForms) {
    Bytes prefix = Hex("AABBCC");
    Bytes iso = Bytes(0x20, 0x11);
    EXPECT_EQ(Embed(prefix, iso), Concat({prefix, iso, Hex("78787878 5A454E54 03000000 20000000")}));
    TrailerFields longForm;
    longForm.form = TrailerForm::Long;
    EXPECT_EQ(Embed(prefix, iso, longForm), Concat({prefix, iso, Hex("5A454E54 03000000 2000000000000000")}));
    TrailerFields asBox;
    asBox.lead = Hex("00000010");
    asBox.totalCountsTrailer = true;
    EXPECT_EQ(Embed(prefix, iso, asBox), Concat({prefix, iso, Hex("00000010 5A454E54 03000000 30000000")}));
    TrailerFields given;
    given.totalSize = 0x21;
    given.baseOffset = 0x01020304;
    EXPECT_EQ(Embed(prefix, iso, given), Concat({prefix, iso, Hex("78787878 5A454E54 04030201 21000000")}));
}

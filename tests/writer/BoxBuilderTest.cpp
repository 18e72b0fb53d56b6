// Box sizes and headers, checked against hand-written bytes and the sizes
// of standard boxes.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace writer;

TEST(BoxBuilder, HeaderCountsItselfAndPayload) {
    Box box("free");
    box.u8(1).u16(0x0203);
    EXPECT_EQ(box.bytes(), Hex("0000000B 66726565 01 0203"));
}

TEST(BoxBuilder, FullBoxStartsWithVersionAndFlags) {
    EXPECT_EQ(Box::Full("abcd", 1, 0x000102).bytes(), Hex("0000000C 61626364 01 000102"));
}

TEST(BoxBuilder, LargeSizeFormHasSizeOneAnd64BitSize) {
    Box box("mdat");
    box.largeSize().u32(0xAABBCCDD);
    EXPECT_EQ(box.bytes(), Hex("00000001 6D646174 0000000000000014 AABBCCDD"));
}

TEST(BoxBuilder, UuidExtendedTypeCountsInTheSize) {
    Bytes extended = Hex("00112233445566778899AABBCCDDEEFF");
    Box box = Box::Uuid(extended);
    box.u8(7);
    EXPECT_EQ(box.bytes(), Concat({Hex("00000019 75756964"), extended, {7}}));
}

TEST(BoxBuilder, ForcedSizeLeavesTheContent) {
    Box small("moov");
    small.u32(0).forceSize(4);
    EXPECT_EQ(small.bytes(), Hex("00000004 6D6F6F76 00000000"));
    Box large("abcd");
    large.largeSize().forceSize(0);
    EXPECT_EQ(large.bytes(), Hex("00000001 61626364 0000000000000000"));
    Box huge("mdat");
    EXPECT_THROW(huge.forceSize(0x100000000ull).bytes(), std::length_error);
}

TEST(BoxBuilder, ChildrenFollowPayloadAndAddUp) {
    Box child("abcd");
    child.u8(9);
    Box parent = Box::Full("stsd", 0, 0);
    parent.u32(1).add(child);
    EXPECT_EQ(parent.bytes(), Hex("00000019 73747364 00000000 00000001 00000009 61626364 09"));
}

// The sizes every ISO writer produces for these boxes.
TEST(IsoBoxes, StandardHeaderBoxSizes) {
    EXPECT_EQ(Mvhd({}).size(), 108u);
    EXPECT_EQ(Mvhd({1}).size(), 120u);
    EXPECT_EQ(Tkhd({}).size(), 92u);
    EXPECT_EQ(Tkhd({1}).size(), 104u);
    EXPECT_EQ(Mdhd({}).size(), 32u);
    EXPECT_EQ(Mdhd({1}).size(), 44u);
    EXPECT_EQ(Hdlr("vide").size(), 33u);
    EXPECT_EQ(Vmhd().size(), 20u);
    EXPECT_EQ(Smhd().size(), 16u);
    EXPECT_EQ(Dinf().size(), 36u);
    EXPECT_EQ(VisualSampleEntry("avc1", 16, 16).size(), 86u);
    EXPECT_EQ(AudioSampleEntry("mp4a", {}).size(), 36u);
}

TEST(IsoBoxes, Version0HeadersRefuseTimesBeyond32Bits) {
    MdhdFields fields;
    fields.duration = 0x100000000ull;
    EXPECT_THROW(Mdhd(fields), std::invalid_argument);
    fields.version = 1;
    Bytes box = Mdhd(fields).bytes();
    EXPECT_EQ(ReadU64(box, 32), 0x100000000ull);  // after creation and modification times and timescale
}

TEST(IsoBoxes, TrackHeaderFieldsWhereTheReaderLooks) {
    TkhdFields fields;
    fields.creationTime = 0x11223344;
    fields.trackId = 7;
    fields.duration = 5000;
    fields.width = 320;
    fields.height = 240;
    Bytes box = Tkhd(fields).bytes();
    EXPECT_EQ(ReadU32(box, 12), 0x11223344u);
    EXPECT_EQ(ReadU32(box, 20), 7u);
    EXPECT_EQ(ReadU32(box, 28), 5000u);
    // skip 52 after the duration, then width and height in 16.16
    EXPECT_EQ(ReadU32(box, 32 + 52), 320u << 16);
    EXPECT_EQ(ReadU32(box, 36 + 52), 240u << 16);
}

TEST(IsoBoxes, EditListVersionsAndEmptyEdits) {
    EXPECT_EQ(Elst({{2000, -1}, {5000, 0}}).bytes(),
              Hex("00000028 656C7374 00000000 00000002 000007D0 FFFFFFFF 00010000 00001388 00000000 00010000"));
    EXPECT_EQ(Elst({{2000, -1}}, 1).bytes(),
              Hex("00000024 656C7374 01000000 00000001 00000000000007D0 FFFFFFFFFFFFFFFF 00010000"));
}

TEST(IsoBoxes, SampleAuxiliaryInformation) {
    EXPECT_EQ(Saiz(16, 3).bytes(), Hex("00000011 7361697A 00000000 10 00000003"));
    EXPECT_EQ(Saiz(0, 2, {8, 22}, AuxInfoType{0x63656E63, 0}).bytes(),
              Hex("0000001B 7361697A 00000001 63656E63 00000000 00 00000002 08 16"));
    EncryptionRecord record{Hex("0102030405060708"), {{5, 100}, {3, 0x10000}}};
    EXPECT_EQ(Senc({record}, true).bytes(),
              Hex("00000026 73656E63 00000002 00000001 0102030405060708 0002 0005 00000064 0003 00010000"));
    EXPECT_EQ(Senc({record}, false).bytes(), Hex("00000018 73656E63 00000000 00000001 0102030405060708"));
}

TEST(IsoBoxes, VendorSkipBoxStartsWithItsMark) {
    Box child("abcd");
    child.u8(1);
    EXPECT_EQ(VendorSkip({child}).bytes(), Hex("00000019 736B6970 54414C56454E6578 00000009 61626364 01"));
}

TEST(SampleEntries, AvcConfigurationFromParameterSets) {
    Bytes sps = Hex("6742C01E DA0507E4 1122");
    Bytes pps = Hex("68CE3C80");
    EXPECT_EQ(AvcCPayload({sps}, {pps}, 4), Concat({Hex("01 42 C0 1E FF E1 000A"), sps, Hex("01 0004"), pps}));
    EXPECT_EQ(AvcCPayload({sps}, {}, 2)[4], 0xFD);
    EXPECT_THROW(AvcCPayload({sps}, {pps}, 3), std::invalid_argument);
}

// profile 66, constraints C0, level 30, then ue(0) ue(0) ue(2) ue(1) 0
// ue(19) ue(14) 1 1 0 0 and the stop bit: 11 011 010 | 0 000010100 0001111 11001 + 00.
TEST(SampleEntries, MinimalParameterSetsByHand) {
    EXPECT_EQ(MinimalAvcSps(320, 240), Hex("67 42 C0 1E DA 05 07 E4"));
    // ue(0) ue(0) 0 0 ue(0) ue(0) ue(0) 0 00 se(0) se(0) se(0) 1 0 0, stop bit
    EXPECT_EQ(MinimalAvcPps(), Hex("68 CE 3C 80"));
}

TEST(SampleEntries, HevcConfigurationCarriesLengthSizeAndArrays) {
    Bytes payload = HvcCPayload({{32, {Hex("4001 0C")}}, {33, {Hex("4201"), Hex("4202 03")}}}, 2);
    ASSERT_EQ(payload.size(), 23u + (3 + 2 + 3) + (3 + 2 + 2 + 2 + 3));
    EXPECT_EQ(payload[21] & 3, 1);
    EXPECT_EQ(payload[22], 2);
    EXPECT_EQ(Bytes(payload.begin() + 23, payload.begin() + 31), Hex("A0 0001 0003 40010C"));
    EXPECT_EQ(payload[31], 0x80 | 33);
    EXPECT_EQ(ReadU16(payload, 32), 2u);
}

TEST(SampleEntries, EsdsWithOneByteLengths) {
    EsdsFields fields;
    fields.decoderSpecificInfo = Hex("1210");
    // ES: 3 + DecoderConfig (2 + 13 + 4) + SLConfig (3) = 25; DecoderConfig 17.
    EXPECT_EQ(Esds(fields).bytes(), Hex("00000027 65736473 00000000 03 19 0001 00 04 11 40 15 000000 00000000 00000000 "
                                        "05 02 1210 06 01 02"));
}

// The bytes ffmpeg 5.1 writes for a one-second mono 44.1 kHz AAC file.
TEST(SampleEntries, EsdsWithFourByteLengthsAsFfmpegWritesThem) {
    EsdsFields fields;
    fields.maxBitrate = 0x11288;
    fields.avgBitrate = 0x11288;
    fields.decoderSpecificInfo = Hex("120856E500");
    fields.lengthSize = 4;
    EXPECT_EQ(Esds(fields).bytes(), Hex("00000036 65736473 00000000 03808080 25 0001 00 04808080 17 40 15 000000 "
                                        "00011288 00011288 05808080 05 120856E500 06808080 01 02"));
    EXPECT_EQ(AacAudioSpecificConfig(2, 44100, 1), Hex("1208"));
    EXPECT_EQ(AacAudioSpecificConfig(2, 12000, 1, true), Hex("148C"));
}

TEST(SampleEntries, MetadataEntryRemainders) {
    // After the 8 leading bytes: an empty encoding and the MIME type, 23 bytes.
    EXPECT_EQ(MettPlain().content().size(), 8u + 23u);
    Box deflate = MettDeflate(Hex("CAFE"));
    const Bytes& content = deflate.content();
    ASSERT_EQ(content.size(), 8u + 68u);
    // txtC sits at remainder offset 54: size, type at 58, version and flags, dictionary at 66.
    EXPECT_EQ(ReadU32(content, 8 + 54), 14u);
    EXPECT_EQ(ReadFourCC(content, 8 + 58), "txtC");
    EXPECT_EQ(ReadU32(content, 8 + 62), 0u);
    EXPECT_EQ(ReadU16(content, 8 + 66), 0xCAFEu);
}

TEST(SampleEntries, ProtectedEntryKeepsItsFieldsAndNamesItsFormat) {
    TencFields tenc;
    tenc.defaultKeyId = Hex("000102030405060708090A0B0C0D0E0F");
    Box plain = Avc1(320, 240, {MinimalAvcSps(320, 240)}, {MinimalAvcPps()});
    Box protectedEntry = Protect(plain, "encv", tenc);
    EXPECT_EQ(protectedEntry.type(), "encv");
    Bytes sinf = Sinf("avc1", tenc).bytes();
    // sinf: frma (12), schm (20), schi > tenc (8 + 32)
    ASSERT_EQ(sinf.size(), 8u + 12u + 20u + 8u + 32u);
    EXPECT_EQ(Bytes(sinf.begin() + 8, sinf.begin() + 20), Hex("0000000C 66726D61 61766331"));
    EXPECT_EQ(Bytes(protectedEntry.content().begin(), protectedEntry.content().begin() + plain.content().size()),
              plain.content());
    EXPECT_EQ(Bytes(protectedEntry.content().end() - sinf.size(), protectedEntry.content().end()), sinf);
    tenc.defaultPerSampleIvSize = 0;
    tenc.constantIv = Hex("1122334455667788");
    EXPECT_EQ(Tenc(tenc).size(), 32u + 1u + 8u);
}

// Movie fragment boxes and the layout of a fragmented recording, against
// bytes worked out by hand.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace writer;

TEST(FragmentBoxes, FieldsFollowTheirFlags) {
    TfhdFields explicitBase;
    explicitBase.trackId = 2;
    explicitBase.baseDataOffset = 0x1000;
    explicitBase.defaultSampleSize = 5;
    TfhdFields moofBase;
    moofBase.defaultBaseIsMoof = true;
    moofBase.defaultSampleFlags = kNonSyncSampleFlags;
    TrunFields signedOffsets;
    signedOffsets.version = 1;
    signedOffsets.dataOffset = -8;
    signedOffsets.samples = {{10, std::nullopt, std::nullopt, -2}, {20, std::nullopt, std::nullopt, 3}};
    TrunFields firstFlags;
    firstFlags.firstSampleFlags = kSyncSampleFlags;
    firstFlags.samples = {{std::nullopt, 100, std::nullopt, std::nullopt},
                          {std::nullopt, 7, std::nullopt, std::nullopt}};
    TrexFields trex;
    trex.trackId = 3;
    trex.defaultSampleDuration = 512;
    trex.defaultSampleFlags = kSyncSampleFlags;
    const struct {
        const char* name;
        Box box;
        Bytes expected;
    } rows[] = {
        // flags 0x01 (base_data_offset) | 0x10 (default size): 8 + 4 + 4 + 8 + 4 = 28 bytes.
        {"tfhd explicit base", Tfhd(explicitBase),
         Hex("0000001C 74666864 00 000011 00000002 0000000000001000 00000005")},
        // flags 0x020000 (default-base-is-moof) | 0x20 (default flags): 8 + 4 + 4 + 4 = 20.
        {"tfhd moof base", Tfhd(moofBase), Hex("00000014 74666864 00 020020 00000001 01010000")},
        // flags 0x001 | 0x100 | 0x800: 8 + 4 + 4 + 4 + 2 * 8 = 36; offsets as two's complement.
        {"trun version 1", Trun(signedOffsets),
         Hex("00000024 7472756E 01 000901 00000002 FFFFFFF8 0000000A FFFFFFFE 00000014 00000003")},
        // flags 0x004 | 0x200: 8 + 4 + 4 + 4 + 2 * 4 = 28.
        {"trun first flags", Trun(firstFlags), Hex("0000001C 7472756E 00 000204 00000002 02000000 00000064 00000007")},
        {"tfdt version 1", Tfdt(0x123456789, 1), Hex("00000014 74666474 01 000000 0000000123456789")},
        {"trex", Trex(trex), Hex("00000020 74726578 00 000000 00000003 00000001 00000200 00000000 02000000")},
    };
    for (const auto& row : rows) EXPECT_EQ(row.box.bytes(), row.expected) << row.name;
}

TEST(FragmentedRecording, RunDataOffsetsPointAtTheSamples) {
    FragmentedRecording recording;
    recording.plan.samplesPerFragment = 2;
    Track track = VideoTrack(VisualSampleEntry("avc1", 16, 16), 1000);
    track.add(Hex("AA AA"), 40).add(Hex("BB BB BB"), 40, false).add(Hex("CC"), 40);
    recording.addTrack(track);
    const Bytes bytes = recording.bytes();
    const FragmentedLayout layout = recording.layout();
    ASSERT_EQ(layout.fragments.size(), 2u);
    EXPECT_EQ(layout.fileSize, bytes.size());
    // moof 8 + mfhd 16 + traf 8 + tfhd 16 (track_ID only) + tfdt 20 + trun
    // (8 + 4 + count 4 + data_offset 4 + 12 per sample): 112 with two
    // samples, 100 with one. The data offset field is 84 bytes in, and the
    // samples follow the moof and the 8-byte mdat header.
    const struct {
        size_t fragment;
        uint64_t moofSize;
        uint32_t dataOffset;
        Bytes samples;
    } rows[] = {{0, 112, 120, Hex("AA AA BB BB BB")}, {1, 100, 108, Hex("CC")}};
    for (const auto& row : rows) {
        const FragmentPlace& place = layout.fragments[row.fragment];
        EXPECT_EQ(place.moofSize, row.moofSize);
        EXPECT_EQ(ReadFourCC(bytes, place.moofOffset + 4), "moof");
        EXPECT_EQ(ReadU32(bytes, place.moofOffset + 84), row.dataOffset);
        const size_t at = place.moofOffset + row.dataOffset;
        EXPECT_EQ(Bytes(bytes.begin() + long(at), bytes.begin() + long(at + row.samples.size())), row.samples);
    }
}

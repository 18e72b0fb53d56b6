#include "common/CodedFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isom/AVReader.h"

using ZENT::SDK::Utility::CodedFrame;
using ZENT::SDK::Utility::CodedFrameParser;

namespace {

using Bytes = std::vector<uint8_t>;

// Header bits written most significant first, then a stop bit, as units are
// stored: behind a start code, with an 03 after each 00 00 that precedes a
// byte of 3 or less.
class Unit {
public:
    explicit Unit(Bytes header) : header_(std::move(header)) {}
    Unit& Bits(uint64_t value, unsigned count) {
        while (count-- > 0) bits_.push_back(((value >> count) & 1) != 0);
        return *this;
    }
    Unit& Ue(uint32_t value) {
        unsigned length = 0;
        while ((uint64_t(value) + 1) >> (length + 1)) ++length;
        return Bits(0, length).Bits(uint64_t(value) + 1, length + 1);
    }
    Bytes Stored() const {
        std::vector<bool> bits = bits_;
        bits.push_back(true);
        while (bits.size() % 8 != 0) bits.push_back(false);
        Bytes raw = header_;
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t j = 0; j < 8; ++j) byte = uint8_t(byte << 1 | (bits[i + j] ? 1 : 0));
            raw.push_back(byte);
        }
        Bytes stored = {0, 0, 0, 1};
        for (uint8_t byte : raw) {
            if (stored.size() >= 6 && stored[stored.size() - 1] == 0 && stored[stored.size() - 2] == 0 && byte <= 3)
                stored.push_back(3);
            stored.push_back(byte);
        }
        return stored;
    }

private:
    Bytes header_;
    std::vector<bool> bits_;
};

Bytes Join(std::initializer_list<Bytes> units) {
    Bytes joined;
    for (const Bytes& unit : units) joined.insert(joined.end(), unit.begin(), unit.end());
    return joined;
}

// H.264 slices by hand: first_mb_in_slice, slice_type, pic_parameter_set_id.
// 65 = IDR slice, 41 = non-IDR slice; 88 C0 = 1 0001000 1 1 (mb 0, type 7: I),
// 9A = 1 00110 1 0 (type 5: P), A8 = 1 010 1 000 (type 1: B),
// 42 30 = 010 0001000 1 1 (mb 1, type 7).
const Bytes kAvcIdrI = {0, 0, 0, 1, 0x65, 0x88, 0xC0};
const Bytes kAvcP = {0, 0, 0, 1, 0x41, 0x9A};
const Bytes kAvcB = {0, 0, 0, 1, 0x41, 0xA8};
const Bytes kAvcSecondSliceI = {0, 0, 1, 0x41, 0x42, 0x30};
const Bytes kAvcParameterSets = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x1E, 0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80};

// HEVC parameter sets for a picture of width x height in blocks of 64.
Bytes HevcSequenceSet(uint32_t width, uint32_t height, unsigned subLayers = 0) {
    Unit set({0x42, 0x01});
    set.Bits(0, 4).Bits(subLayers, 3).Bits(1, 1);
    set.Bits(0x01600000, 32).Bits(0x00900000, 32).Bits(0x0000005D, 32);  // general profile, tier, level
    for (unsigned i = 0; i < subLayers; ++i) set.Bits(0b10, 2);          // a profile, no level
    if (subLayers > 0) set.Bits(0, 2 * (8 - subLayers));
    for (unsigned i = 0; i < subLayers; ++i) set.Bits(0xFFFFFFFF, 32).Bits(0xFFFFFFFF, 32).Bits(0xFFFFFF, 24);
    set.Ue(0).Ue(1).Ue(width).Ue(height).Bits(1, 1).Ue(0).Ue(0).Ue(0).Ue(4);  // 4:2:0, window
    set.Ue(0).Ue(0).Ue(4).Bits(0, 1).Ue(4).Ue(0).Ue(2);                       // depths, poc lsb, one ordering
    set.Ue(0).Ue(3);                                                          // blocks of 8 to 64
    return set.Stored();
}

Bytes HevcPictureSet(bool dependentSegments, unsigned extraBits) {
    return Unit({0x44, 0x01}).Ue(0).Ue(0).Bits(dependentSegments, 1).Bits(0, 1).Bits(extraBits, 3).Stored();
}

const Bytes kHevcVideoSet = Unit({0x40, 0x01}).Bits(0xFFFF, 16).Stored();

// 1920 x 1080 in blocks of 64: 30 x 17 = 510 blocks, 9-bit addresses.
Bytes HevcSetsFor1080(bool dependentSegments, unsigned extraBits) {
    return Join({kHevcVideoSet, HevcSequenceSet(1920, 1080), HevcPictureSet(dependentSegments, extraBits)});
}

// HEVC slice segment types: 1 TRAIL_R, 19 IDR_W_RADL, 21 CRA; slice_type 0 B, 1 P, 2 I.
Bytes HevcFirstSegment(unsigned unitType, unsigned extraBits, uint32_t sliceType) {
    Unit segment({uint8_t(unitType << 1), 0x01});
    segment.Bits(1, 1);
    if (unitType >= 16) segment.Bits(0, 1);
    return segment.Ue(0).Bits(0, extraBits).Ue(sliceType).Stored();
}

Bytes HevcLaterSegment(bool dependentSegments, bool dependent, unsigned extraBits, uint32_t sliceType) {
    Unit segment({0x02, 0x01});
    segment.Bits(0, 1).Ue(0);
    if (dependentSegments) segment.Bits(dependent, 1);
    segment.Bits(300, 9);
    // A dependent segment has no type; what follows would read as B.
    return segment.Bits(0, extraBits).Ue(dependent ? 0 : sliceType).Stored();
}

struct Case {
    const char* name;
    uint32_t codec;
    Bytes configuration;
    Bytes payload;
    char codedType;
    bool randomAccess;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

class CodedFrameCase : public ::testing::TestWithParam<Case> {};

TEST_P(CodedFrameCase, TypeAndRandomAccess) {
    const Case& c = GetParam();
    CodedFrameParser parser(c.codec);
    parser.Configure(c.configuration.data(), c.configuration.size());
    CodedFrame frame = parser.Parse(c.payload.data(), c.payload.size());
    EXPECT_EQ(frame.codedType, c.codedType);
    EXPECT_EQ(frame.randomAccess, c.randomAccess);
}

// 8192 x 4320 in blocks of 16: 512 x 270 blocks, 18-bit addresses. A later
// segment at address 0 with two extra bits, by hand: 0 (not first), 1 (PPS 0),
// 0 (not dependent), eighteen 0, 00, 010 (P), 1 (stop) = 40 00 00 A0, stored
// as 40 00 00 03 A0.
Bytes EscapedHeaderPicture() {
    Unit sequenceSet({0x42, 0x01});
    sequenceSet.Bits(0, 8).Bits(0x01600000, 32).Bits(0x00900000, 32).Bits(0x0000005D, 32);
    sequenceSet.Ue(0).Ue(1).Ue(8192).Ue(4320).Bits(0, 1).Ue(0).Ue(0).Ue(4).Bits(0, 1).Ue(4).Ue(0).Ue(2).Ue(1).Ue(0);
    return Join({sequenceSet.Stored(),
                 HevcPictureSet(true, 2),
                 HevcFirstSegment(1, 2, 2),
                 {0, 0, 0, 1, 0x02, 0x01, 0x40, 0x00, 0x00, 0x03, 0xA0}});
}

// 03 bytes make a long run of zeros: an Exp-Golomb code with no end.
const Bytes kEndlessCode = {0,    0,    0,    1,    0x41, 0x00, 0x00, 0x03, 0x00,
                            0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x80};

INSTANTIATE_TEST_SUITE_P(
    Units, CodedFrameCase,
    ::testing::Values(
        Case{"AvcIdrI", kCodecH264, {}, Join({kAvcParameterSets, kAvcIdrI}), 'I', true},
        Case{"AvcP", kCodecH264, {}, kAvcP, 'P', false}, Case{"AvcB", kCodecH264, {}, kAvcB, 'B', false},
        Case{"AvcIThenB", kCodecH264, {}, Join({kAvcSecondSliceI, kAvcB}), 'B', false},
        Case{"AvcPThenI", kCodecH264, {}, Join({kAvcP, kAvcSecondSliceI}), 'P', false},
        Case{"AvcParameterSetsOnly", kCodecH264, {}, kAvcParameterSets, 0, false},
        Case{"AvcNoStartCode", kCodecH264, {}, {0x41, 0x9A, 0x41, 0xA8}, 0, false},
        Case{"AvcEndlessCode", kCodecH264, {}, kEndlessCode, 0, false},
        Case{"AvcSliceTypeTen", kCodecH264, {}, {0, 0, 1, 0x41, 0x8B}, 0, false},  // 1 0001011
        Case{"OtherCodec", kCodecMp4v, {}, kAvcIdrI, 0, false},
        Case{"HevcIdrI", kCodecHevc, {}, Join({HevcSetsFor1080(false, 0), HevcFirstSegment(19, 0, 2)}), 'I', true},
        Case{"HevcCraI", kCodecHevc, HevcSetsFor1080(false, 0), HevcFirstSegment(21, 0, 2), 'I', true},
        Case{"HevcP", kCodecHevc, HevcSetsFor1080(false, 0), HevcFirstSegment(1, 0, 1), 'P', false},
        Case{"HevcB", kCodecHevc, HevcSetsFor1080(false, 0), HevcFirstSegment(1, 0, 0), 'B', false},
        Case{"HevcPExtraBits", kCodecHevc, HevcSetsFor1080(false, 2), HevcFirstSegment(1, 2, 1), 'P', false},
        Case{"HevcBExtraBits", kCodecHevc, HevcSetsFor1080(false, 2), HevcFirstSegment(1, 2, 0), 'B', false},
        Case{"HevcNoPictureSet", kCodecHevc, {}, HevcFirstSegment(1, 0, 1), 0, false},
        Case{"HevcSubLayers", kCodecHevc, Join({HevcSequenceSet(1920, 1080, 2), HevcPictureSet(false, 0)}),
             Join({HevcFirstSegment(1, 0, 2), HevcLaterSegment(false, false, 0, 0)}), 'B', false},
        Case{"HevcLaterSegmentB", kCodecHevc, HevcSetsFor1080(true, 1),
             Join({HevcFirstSegment(1, 1, 2), HevcLaterSegment(true, false, 1, 0)}), 'B', false},
        // The first P slice decides; a later one is not read.
        Case{"HevcPThenB", kCodecHevc, HevcSetsFor1080(true, 1),
             Join({HevcFirstSegment(1, 1, 1), HevcLaterSegment(true, false, 1, 0)}), 'P', false},
        Case{"HevcDependentSegment", kCodecHevc, HevcSetsFor1080(true, 1),
             Join({HevcFirstSegment(1, 1, 1), HevcLaterSegment(true, true, 1, 0)}), 'P', false},
        Case{"HevcLaterSegmentWithoutSequenceSet", kCodecHevc, HevcPictureSet(false, 0),
             Join({HevcFirstSegment(1, 0, 2), HevcLaterSegment(false, false, 0, 0)}), 'I', false},
        Case{"HevcEscapedHeader", kCodecHevc, {}, EscapedHeaderPicture(), 'P', false}),
    CaseName);

// Every cut of a frame either ends before its slice type, which then gives
// nothing, or keeps it; no cut reads past its end (the sanitizer build checks).
TEST(CodedFrame, CutPayloadsGiveNoTypeOrTheWholeOne) {
    const Bytes configuration = HevcSetsFor1080(true, 2);
    const Bytes picture = Join({HevcFirstSegment(1, 2, 2), HevcLaterSegment(true, false, 2, 0)});
    for (size_t size = 0; size <= picture.size(); ++size) {
        SCOPED_TRACE("cut to " + std::to_string(size));
        CodedFrameParser parser(kCodecHevc);
        parser.Configure(configuration.data(), configuration.size());
        Bytes cut(picture.begin(), picture.begin() + std::ptrdiff_t(size));
        char type = parser.Parse(cut.data(), cut.size()).codedType;
        // After the start code and unit header, the first segment's first
        // byte holds its type: 1 1 00 011 (I); the last bit of all is the B.
        EXPECT_EQ(type, size < 7 ? 0 : size < picture.size() ? 'I' : 'B');
    }
    // The picture set comes last, so a cut one is not kept.
    for (size_t size = 0; size <= configuration.size(); ++size) {
        CodedFrameParser parser(kCodecHevc);
        parser.Configure(configuration.data(), size);
        EXPECT_EQ(parser.Parse(picture.data(), picture.size()).codedType, size == configuration.size() ? 'B' : 0)
            << "configuration cut to " << size;
    }
}

// Both recordings were made by ffmpeg; the letters are ffprobe's pict_type
// of each frame in stored order (ffprobe -show_frames, sorted by pkt_pos),
// and its key frames are at the listed indices.
struct RecordedCase {
    const char* file;
    std::string letters;
    std::vector<size_t> keyFrames;
};

void PrintTo(const RecordedCase& c, std::ostream* out) { *out << c.file; }
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class RecordedCodedFrames : public ::testing::TestWithParam<RecordedCase> {};

TEST_P(RecordedCodedFrames, MatchFfprobe) {
    const RecordedCase& c = GetParam();
    AVReader* reader = nullptr;
    ASSERT_EQ(AVReaderOpen(&reader, (std::string(STAMPWALK_DATA_DIR "/") + c.file).c_str(), kOpenNoCompanionTracks), 0);
    uint32_t codec = reader->GetTrackCodecType(0);
    CodedFrameParser parser(codec);
    const uint8_t* configuration = nullptr;
    uint32_t configurationSize = 0;
    if (reader->GetTrackDecoderConfig(0, &configuration, &configurationSize) == 0)
        parser.Configure(configuration, configurationSize);
    std::string letters;
    std::vector<size_t> keyFrames;
    reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    while (reader->ReadPacket(&packet) == kReaderOk && packet != nullptr) {
        if (packet->codecType == codec) {
            CodedFrame frame = parser.Parse(packet->frameData + packet->headerSize, packet->payloadSize);
            if (frame.randomAccess) keyFrames.push_back(letters.size());
            letters += frame.codedType == 0 ? '-' : frame.codedType;
        }
        packet = nullptr;  // the reader keeps it until the next read
    }
    reader->Release();
    EXPECT_EQ(letters, c.letters);
    EXPECT_EQ(keyFrames, c.keyFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, RecordedCodedFrames,
    ::testing::Values(
        RecordedCase{
            "h264_bframes.mp4", "IPPPPPPPPPPPBBPPPPBPPPPPPIPBBPPPPPPPPPPPPPPPPPPPPPIPPPPPPPPPPPPPP", {0, 25, 50}},
        RecordedCase{"hevc.mp4", "IPBBBBPBBBBPBBBBPBBBBIBBBBPBBBBPBBBBPBBBBPBBBBIBBBBPBBBBPBBB", {0, 21, 46}}));

}  // namespace

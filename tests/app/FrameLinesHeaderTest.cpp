// Frame lines of companion headers: frame letters, codec names, digital-input
// bits, motion windows (printed only with their alert), item 17 overriding a
// window, and motion-trigger records that must leave the user data alone.
#include "FrameLinesTest.h"

namespace {

using namespace framelines;
using writer::Concat;
using writer::FlagWord;
using writer::HeaderItem;
using writer::Recording;
using writer::UserData;

constexpr uint32_t B = 1710000000;  // 2024-03-09 16:00:00 UTC

uint32_t FlagsWith(bool taggedItems, bool digitalInputsValid = false, uint8_t digitalInputs = 0) {
    FlagWord word;
    word.taggedItems = taggedItems;
    word.digitalInputsValid = digitalInputsValid;
    word.digitalInputs = digitalInputs;
    return word.value();
}

Window Alerted(uint8_t level, std::array<uint16_t, 4> rect = {10, 20, 300, 400}) { return {true, true, level, rect}; }
Window Quiet(uint8_t level) { return {true, false, level, {0, 0, 1023, 1023}}; }

// One header per frame, with the letter, codec name, alert and motion
// values it must print.
struct HeaderFrame {
    bool sync;
    std::string codecCode;
    uint8_t frameType;
    uint8_t digitalInputs;
    uint32_t flags;
    Bytes extension;
    std::string codecName;
    char letter;
    uint32_t diAlert;
    std::array<int, 3> motion;
};

std::vector<HeaderFrame> HeaderFrames() {
    const Bytes eventItem = HeaderItem(18, {0x00, 0x34, 0x12});
    const Bytes unknownItem = HeaderItem(0x30, {0xAB, 0xCD});
    ByteWriter triggers;  // item 20: two motion-trigger records
    triggers.u8(2);
    triggers.u8(1).u8(0x85);
    for (uint16_t v = 1; v <= 8; ++v) triggers.u16(v);
    triggers.u8(2).u8(0x03);
    for (uint16_t v = 11; v <= 18; ++v) triggers.u16(v);
    const Bytes triggerItem = HeaderItem(20, triggers.take());

    // clang-format off
    return {
        // Bits 13 to 16 count only with bit 17; a quiet window prints 0.
        {true, "h264", 0, 0x5, FlagsWith(false, false, 0xA), VideoExtension({Alerted(30), Quiet(60), Window{}}),
         "H264", 'I', 5, {30, 0, 0}},
        {false, "h264", 1, 0x1, FlagsWith(false, true, 0x6),
         VideoExtension({Alerted(10), Alerted(20), Alerted(127, {1023, 1023, 0, 0})}), "H264", 'P', 7, {10, 20, 127}},
        {false, "h264", 2, 0x0, FlagsWith(false, true, 0xF), VideoExtension(), "H264", 'B', 15, {0, 0, 0}},
        {false, "h264", 5, 0x8, FlagsWith(false, true, 0x1), VideoExtension(), "H264", '?', 9, {0, 0, 0}},
        // Item 17 raises window 2's alert, enables window 3, and passes over
        // window 5; the event item and an unknown item come first.
        {false, "h264", 1, 0, FlagsWith(true), VideoExtension({Window{}, Quiet(50), Window{}}, Concat({eventItem, unknownItem,
              WindowItem({{2, true, 77, {5, 6, 7, 8}}, {5, true, 99, {}}, {3, true, 5, {9, 9, 9, 9}}})})),
         "H264", 'P', 0, {0, 77, 5}},
        // Item 17 silences window 1; window 3 keeps its alert.
        {true, "h264", 0, 0, FlagsWith(true),
         VideoExtension({Alerted(40), Window{}, Alerted(12)}, WindowItem({{1, false, 99, {}}})), "H264", 'I', 0,
         {0, 0, 12}},
        // Motion-trigger records are attached to the packet; the times in its
        // user data must survive them.
        {false, "h264", 1, 0x2, FlagsWith(true), VideoExtension({Alerted(66), Window{}, Window{}}, triggerItem), "H264",
         'P', 2, {66, 0, 0}},
        // "DMYV" is a video code without a name; an unknown code sets no codec.
        {false, "DMYV", 0, 0, FlagsWith(false), VideoExtension({Alerted(3), Window{}, Window{}}), "????", 'I', 0,
         {3, 0, 0}},
        {false, "ABCD", 1, 0x3, FlagsWith(false), VideoExtension(), "????", 'P', 3, {0, 0, 0}},
    };
    // clang-format on
}

class FrameLinesHeaders : public ::testing::TestWithParam<int> {};

TEST_P(FrameLinesHeaders, PrintLettersCodecsAlertsAndMotion) {
    const int timeType = GetParam();
    const std::vector<HeaderFrame> headers = HeaderFrames();
    std::vector<bool> sync;
    for (const HeaderFrame& h : headers) sync.push_back(h.sync);
    SliceTrack video = SliceVideo(sync);

    std::vector<Bytes> records;
    std::vector<Frame> expected;
    for (size_t i = 0; i < headers.size(); ++i) {
        const HeaderFrame& h = headers[i];
        const uint32_t i32 = uint32_t(i);
        const Bytes header =
            MediaHeader(h.codecCode, h.frameType, h.digitalInputs, h.flags, B + i32, uint16_t(40 * i), h.extension);
        records.push_back(Record(header, UserData().recordTime(B + 1000 + i32, 40 * i32 + 1)));
        Frame frame;
        frame.codec = h.codecName;
        frame.letter = h.letter;
        frame.time = timeType == 3 ? Time{B + i32, 40 * i32, 0, 0} : Time{B + 1000 + i32, 40 * i32 + 1, 0, 0};
        frame.mediaHeader = header;
        frame.payload = video.payloads[i];
        frame.diAlert = h.diAlert;
        frame.motion = h.motion;
        expected.push_back(frame);
    }
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);

    EXPECT_EQ(FrameReportOf(recording, timeType),
              Lines(expected) + Summary("video only", {{0x8, uint32_t(headers.size()), 0}}));
}

INSTANTIATE_TEST_SUITE_P(CameraAndRecordTime, FrameLinesHeaders, ::testing::Values(3, 1));

}  // namespace

// Frame lines of several tracks: packets come in timeline order, and on
// equal positions the track earlier in the file comes first. Video and AAC
// carry companion headers, the G.711 track gets built ones.
#include "FrameLinesTest.h"

#include <map>
#include <sstream>

namespace {

using namespace framelines;
using writer::AudioFields;
using writer::kIsoEpochOffset;
using writer::Recording;
using writer::Track;
using writer::UserData;

constexpr uint32_t B = 1690000000;  // 2023-07-22 04:26:40 UTC

// Video every 40 ms (timescale 1000), AAC every 64 ms (1024 at 16000),
// G.711 every 40 ms (320 at 8000): they meet at 0 and 320 ms, video and
// G.711 at every video frame.
struct ThreeTracks {
    SliceTrack video = SliceVideo({true, false, false, false, false, true, false, false, false});
    std::vector<Bytes> videoRecords;
    Track aac;
    std::vector<Bytes> aacRecords;
    Track ulaw;
    std::map<std::string, Frame> frames;  // by name: V3, A1, U8
};

ThreeTracks MakeTracks() {
    ThreeTracks t;
    for (uint32_t i = 0; i < t.video.payloads.size(); ++i) {
        const Bytes header = MediaHeader("h264", i == 0 || i == 5 ? 0 : 1, 0, Flags(48), B + 40 * i / 1000,
                                         uint16_t(40 * i % 1000), VideoExtension());
        t.videoRecords.push_back(Record(header, UserData().recordTime(B, 40 * i)));
        Frame frame;
        frame.letter = i == 0 || i == 5 ? 'I' : 'P';
        frame.time = Time{B + 40 * i / 1000, 40 * i % 1000, 0, 0};
        frame.mediaHeader = header;
        frame.payload = t.video.payloads[i];
        t.frames["V" + std::to_string(i)] = frame;
    }

    AudioFields aacFields;
    aacFields.sampleRate = 16000;
    t.aac = writer::AudioTrack(writer::Mp4a(aacFields, writer::AacAudioSpecificConfig(2, 16000, 1)), 16000);
    for (uint32_t i = 0; i < 6; ++i) {
        const Bytes payload(10 + i, uint8_t(0xA0 + i));
        t.aac.add(payload, 1024);
        // 40 01, the length, 16000 Hz, 1 channel.
        const Bytes extension = {0x40, 0x01, 0x00, uint8_t(payload.size()), 0x00, 0x3E, 0x80, 0x01};
        const Bytes header = MediaHeader("aac ", 0, 0, Flags(48), B, uint16_t(64 * i), extension);
        t.aacRecords.push_back(Record(header, UserData().recordTime(B, 64 * i)));
        Frame frame;
        frame.codec = "AAC4";
        frame.time = Time{B, 64 * i, 0, 0};
        frame.mediaHeader = header;
        frame.payload = payload;
        t.frames["A" + std::to_string(i)] = frame;
    }

    t.ulaw = writer::AudioTrack(writer::Ulaw(), 8000);
    t.ulaw.creationTime = kIsoEpochOffset + B;
    for (uint32_t i = 0; i < 9; ++i) {
        const Bytes payload(320, uint8_t(0x10 + i));
        t.ulaw.add(payload, 320);
        Frame frame;
        frame.codec = "ULAW";
        frame.time = Time{B + 40 * i / 1000, 40 * i % 1000, 0, 0};
        frame.mediaHeader = BuiltHeader("PCMU", false, frame.time->seconds, uint16_t(frame.time->milliseconds),
                                        {0xC0, 0x01, 0x01, 0x40, 0x00, 0x1F, 0x40, 0x01});
        frame.payload = payload;
        t.frames["U" + std::to_string(i)] = frame;
    }
    return t;
}

std::string LinesInOrder(const ThreeTracks& t, const std::string& order) {
    std::istringstream names(order);
    std::string name;
    std::string text;
    while (names >> name) text += Line(t.frames.at(name));
    return text;
}

TEST(FrameLinesInterleave, VideoFirstWinsEveryTie) {
    const ThreeTracks t = MakeTracks();
    Recording recording;
    recording.addTrack(t.video.track);
    recording.addCompanion(t.videoRecords);
    recording.addTrack(t.aac);
    recording.addCompanion(t.aacRecords);
    recording.addTrack(t.ulaw);

    EXPECT_EQ(FrameReportOf(recording, 3),
              LinesInOrder(t, "V0 A0 U0  V1 U1  A1  V2 U2  V3 U3  A2  V4 U4  A3  V5 U5  V6 U6  A4  V7 U7  V8 A5 U8") +
                  Summary("A/V", {{0x8, 9, 0}, {0x400, 6, 0}, {0x2000, 9, 0}}));
}

TEST(FrameLinesInterleave, AudioFirstWinsEveryTie) {
    const ThreeTracks t = MakeTracks();
    Recording recording;
    recording.addTrack(t.ulaw);
    recording.addTrack(t.aac);
    recording.addCompanion(t.aacRecords);
    recording.addTrack(t.video.track);
    recording.addCompanion(t.videoRecords);

    EXPECT_EQ(FrameReportOf(recording, 3),
              LinesInOrder(t, "U0 A0 V0  U1 V1  A1  U2 V2  U3 V3  A2  U4 V4  A3  U5 V5  U6 V6  A4  U7 V7  U8 A5 V8") +
                  Summary("A/V", {{0x2000, 9, 0}, {0x400, 6, 0}, {0x8, 9, 0}}));
}

}  // namespace

// What the frame-line tests share: running the built stampwalk on a written
// recording, and the lines expected from it, made from the frame bytes a
// packet should carry (media header with its length word, then the payload).
#ifndef STAMPWALK_TESTS_APP_FRAMELINESTEST_H
#define STAMPWALK_TESTS_APP_FRAMELINESTEST_H

#include <zlib.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace framelines {

using writer::BitWriter;
using writer::Bytes;
using writer::ByteWriter;

// ---- running the tool -------------------------------------------------------

inline std::string RunStampwalk(const std::string& path, int timeType) {
    const testsupport::ProgramRun run =
        testsupport::RunProgram(STAMPWALK_BINARY, {"-p", path, "-t", std::to_string(timeType)});
    EXPECT_TRUE(run.exitCode == 0) << "stampwalk did not end with exit code 0";
    return run.output;
}

// Everything between the option echo and the closing line: the frame lines
// and the media summary.
inline std::string FrameReportOf(const std::string& path, int timeType) {
    const std::string output = RunStampwalk(path, timeType);
    const std::string echo = "ParsingOptions - processing media file pathname: " + path +
                             "\nParsingOptions - parse time type: " + std::to_string(timeType) + "\n";
    const size_t start = output.find(echo);
    const size_t end = output.rfind("Congratulation! The time parser parseed completely.");
    if (start == std::string::npos || end == std::string::npos || end < start + echo.size()) {
        ADD_FAILURE() << "no option echo or closing line in:\n" << output;
        return output;
    }
    return output.substr(start + echo.size(), end - start - echo.size());
}

inline std::string FrameReportOf(const writer::Recording& recording, int timeType) {
    testsupport::TempFile file(recording.bytes());
    return FrameReportOf(file.path(), timeType);
}

// ---- expected lines ---------------------------------------------------------

// A timestamp as the line prints it: the two words signed.
struct Time {
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
    int16_t word1 = 0;
    int16_t word2 = 0;
};

// The frame bytes of a packet: the stored media header whose first word
// says how many bytes follow it (H - 4 + L), then the payload.
inline Bytes FrameBytes(const Bytes& mediaHeader, const Bytes& payload) {
    Bytes frame = mediaHeader;
    const uint32_t following = uint32_t(mediaHeader.size() - 4 + payload.size());
    for (int i = 0; i < 4; ++i) frame[size_t(i)] = uint8_t(following >> (24 - 8 * i));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

inline uint32_t Crc(const Bytes& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes.data(), uInt(bytes.size())));
}

struct Frame {
    std::string codec = "H264";
    char letter = 'I';
    std::optional<Time> time;  // none: "NO TIME INFO"
    Bytes mediaHeader;         // as stored or built, length word not yet rewritten
    Bytes payload;             // as handed out
    uint32_t diAlert = 0;
    std::array<int, 3> motion{};  // the printed values: level when alerted, else 0
};

inline std::string Line(const Frame& frame) {
    const uint32_t crc = Crc(FrameBytes(frame.mediaHeader, frame.payload));
    const uint32_t size = uint32_t(frame.payload.size());
    char text[512];
    if (frame.time)
        std::snprintf(text, sizeof text,
                      "Stream:%s Frame:%c %u.%03u %hd %hd CRC32:%08X Size:%u DI alert: %u motionWin1: %d%% "
                      "motionWin2: %d%% motionWin3: %d%%\n",
                      frame.codec.c_str(), frame.letter, frame.time->seconds, frame.time->milliseconds,
                      frame.time->word1, frame.time->word2, crc, size, frame.diAlert, frame.motion[0], frame.motion[1],
                      frame.motion[2]);
    else
        std::snprintf(text, sizeof text,
                      "Stream:%s Frame:%c NO TIME INFO CRC32:%08X Size:%u DI alert: %u motionWin1: %d%% "
                      "motionWin2: %d%% motionWin3: %d%%\n",
                      frame.codec.c_str(), frame.letter, crc, size, frame.diAlert, frame.motion[0], frame.motion[1],
                      frame.motion[2]);
    return text;
}

inline std::string Lines(const std::vector<Frame>& frames) {
    std::string text;
    for (const Frame& frame : frames) text += Line(frame);
    return text;
}

struct TrackFigures {
    uint32_t codecType = 0;
    uint32_t sampleCount = 0;
    uint32_t durationSeconds = 0;
};

inline std::string Summary(const std::string& mediaType, const std::vector<TrackFigures>& tracks) {
    std::string text = "Mediatype: " + mediaType + ", total " + std::to_string(tracks.size()) + " track(s)\n";
    for (size_t i = 0; i < tracks.size(); ++i) {
        char block[160];
        std::snprintf(block, sizeof block, "Track: %zu\n stream type: 0x%08x\n sample count: %u\n duration: %u sec\n\n",
                      i + 1, tracks[i].codecType, tracks[i].sampleCount, tracks[i].durationSeconds);
        text += block;
    }
    return text;
}

// ---- H.264 samples ----------------------------------------------------------

inline const Bytes kSps = writer::MinimalAvcSps(176, 144);
inline const Bytes kPps = writer::MinimalAvcPps();
inline const Bytes kStartCode = {0, 0, 0, 1};

inline writer::Track AvcTrack(uint32_t timescale = 1000) {
    return writer::VideoTrack(writer::Avc1(176, 144, {kSps}, {kPps}), timescale, 176, 144);
}

// A coded slice: the NAL header byte (0x65 IDR, 0x41 non-IDR) and a few
// bytes standing for the slice data.
inline Bytes Slice(bool idr, uint8_t seed, size_t size = 6) {
    Bytes unit{uint8_t(idr ? 0x65 : 0x41)};
    for (size_t i = 0; i < size; ++i) unit.push_back(uint8_t(seed + 17 * i));
    return unit;
}

// Units behind 4-byte big-endian lengths, as the sample stores them.
inline Bytes LengthPrefixed(const std::vector<Bytes>& units) {
    ByteWriter out;
    for (const Bytes& unit : units) out.u32(uint32_t(unit.size())).bytes(unit);
    return out.take();
}

// A sample of one slice as the reader hands it out: start code form, the
// track's SPS and PPS in front of the IDR slice of a sync sample.
inline Bytes HandedOut(const Bytes& slice, bool sync) {
    ByteWriter out;
    if (sync) out.bytes(kStartCode).bytes(kSps).bytes(kStartCode).bytes(kPps);
    out.bytes(kStartCode).bytes(slice);
    return out.take();
}

// A video track of one slice per sample, 40 ms apart, and the payloads the
// reader should hand out for it.
struct SliceTrack {
    writer::Track track = AvcTrack();
    std::vector<Bytes> payloads;
};
inline SliceTrack SliceVideo(const std::vector<bool>& sync) {
    SliceTrack video;
    for (size_t i = 0; i < sync.size(); ++i) {
        const Bytes slice = Slice(sync[i], uint8_t(0x20 + 8 * i), 5 + i % 4);
        video.track.add(LengthPrefixed({slice}), 40, sync[i]);
        video.payloads.push_back(HandedOut(slice, sync[i]));
    }
    return video;
}

// ---- media headers ----------------------------------------------------------

struct Window {
    bool enabled = false;
    bool alert = false;
    uint8_t level = 0;               // 7 bits
    std::array<uint16_t, 4> rect{};  // 10 bits each
};

// The video extension area: the three windows, the extra flag and four
// reserved bits (always whole bytes: 8 + 48 bits per enabled window), then
// the tagged items behind as many zero padding bytes as make the area a
// multiple of 4 bytes, so that no single zero byte is left after the items.
inline Bytes VideoExtension(const std::array<Window, 3>& windows = {}, const Bytes& items = {}) {
    BitWriter bits;
    for (const Window& window : windows) {
        bits.flag(window.enabled);
        if (!window.enabled) continue;
        bits.flag(window.alert).bits(window.level, 7);
        for (uint16_t coordinate : window.rect) bits.bits(coordinate, 10);
    }
    bits.flag(false).bits(0, 4);
    Bytes area = bits.bytes();
    if (items.empty()) return area;
    area.insert(area.end(), (4 - (area.size() + items.size()) % 4) % 4, 0);
    area.insert(area.end(), items.begin(), items.end());
    return area;
}

// Item 17: per entry window number, alert bit and 7-bit level, rectangle.
struct WindowEntry {
    uint8_t window = 0;
    bool alert = false;
    uint8_t level = 0;
    std::array<uint16_t, 4> rect{};
};
inline Bytes WindowItem(const std::vector<WindowEntry>& entries) {
    ByteWriter value;
    value.u8(uint8_t(entries.size()));
    for (const WindowEntry& entry : entries) {
        value.u8(entry.window).u8(uint8_t((entry.alert ? 0x80 : 0) | (entry.level & 0x7F)));
        for (uint16_t coordinate : entry.rect) value.u16(coordinate);
    }
    return writer::HeaderItem(17, value.take());
}

inline Bytes MediaHeader(const std::string& codec, uint8_t frameType, uint8_t digitalInputs, uint32_t flags,
                         uint32_t seconds, uint16_t milliseconds, const Bytes& extension) {
    writer::MediaHeader header;
    header.codec = codec;
    header.frameType = frameType;
    header.digitalInputs = digitalInputs;
    header.flags = flags;
    header.seconds = seconds;
    header.milliseconds = milliseconds;
    header.extension = extension;
    return writer::MediaHeaderBytes(header);
}

inline uint32_t Flags(uint8_t zoneIndex, bool utc = true, bool daylightSaving = false) {
    writer::FlagWord word;
    word.zoneIndex = zoneIndex;
    word.utc = utc;
    word.daylightSaving = daylightSaving;
    return word.value();
}

// A companion record: 8 unused bytes, H, X, the header, the user data.
inline Bytes Record(const Bytes& mediaHeader, const writer::UserData& userData = {}) {
    return writer::FrameInfoRecord().headerBytes(mediaHeader).userData(userData).bytes();
}

// ---- headers the reader builds for tracks without companion -------------------

// 24 bytes (one extension word) or 28 (two), flag bytes 00 20 13 04.
inline Bytes BuiltHeader(const std::string& fourcc, bool nonSyncVideo, uint32_t seconds, uint16_t milliseconds,
                         const Bytes& extension) {
    return MediaHeader(fourcc, nonSyncVideo ? 1 : 0, 0, writer::kSynthesisFlagWord, seconds, milliseconds, extension);
}

}  // namespace framelines

#endif

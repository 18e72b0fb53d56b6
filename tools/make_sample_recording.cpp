// Writes a short recording as a network camera stores it: H.264 video and
// AAC audio, each followed by its frame-information track. The frame
// headers carry local camera time with a zone and, for the second half,
// daylight saving; digital-input alerts; motion windows; and per-frame user
// data with the record and stream times.
//
//   make_sample_recording samples/sample.mp4
#include <cstdio>
#include <exception>

#include "tools/HelpOption.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/MediaHeaderExtensions.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

namespace {

using namespace writer;

constexpr uint32_t kStartUtc = 1710028800;  // 2024-03-10 00:00:00 UTC
constexpr uint32_t kFramesPerSecond = 25;
constexpr uint32_t kVideoFrames = 3 * kFramesPerSecond;
constexpr uint32_t kGop = 25;
constexpr uint32_t kAudioRate = 16000;
constexpr uint32_t kAudioFrameSamples = 1024;
constexpr uint32_t kAudioFrames = 47;  // 3.008 s
constexpr uint32_t kDaylightSavingFromMs = 1500;
// The zone field holds the offset that turns the camera's local time into
// UTC: -8 h (index 16) for a camera at +08:00.
constexpr uint8_t kZoneIndex = 16;
constexpr uint32_t kLocalAheadOfUtc = 8 * 3600;
// The camera's stream clock started a while before the recording.
constexpr uint32_t kStreamClockStart = kStartUtc - 3600;

struct Clock {
    uint32_t seconds;
    uint16_t milliseconds;
};

Clock At(uint32_t baseSeconds, uint32_t ms) { return {baseSeconds + ms / 1000, uint16_t(ms % 1000)}; }

// The header's clock: local time, an hour further on under daylight saving.
uint32_t HeaderFlags(bool daylightSaving, bool alertValid = false, uint8_t alertBits = 0, bool items = false) {
    FlagWord word;
    word.utc = false;
    word.zoneIndex = kZoneIndex;
    word.daylightSaving = daylightSaving;
    word.digitalInputsValid = alertValid;
    word.digitalInputs = alertBits;
    word.taggedItems = items;
    return word.value();
}

Clock LocalClock(uint32_t ms) {
    const uint32_t ahead = kLocalAheadOfUtc + (ms >= kDaylightSavingFromMs ? 3600 : 0);
    return At(kStartUtc + ahead, ms);
}

// Record time, a vendor element behind a long length, then stream time: a
// stream-time reader has to step over both.
UserData FrameUserData(uint32_t ms, uint16_t sequence) {
    const Clock record = At(kStartUtc, ms);
    const Clock stream = At(kStreamClockStart, ms);
    Bytes vendor(130);
    for (size_t i = 0; i < vendor.size(); ++i) vendor[i] = uint8_t(sequence + i);
    return UserData()
        .recordTime(record.seconds, record.milliseconds, sequence, 0)
        .item(0x70, vendor, LengthForm::Long1)
        .streamTime(stream.seconds, stream.milliseconds, sequence, 0);
}

// Three motion windows, window 1 watching the door, 2 the yard, 3 off; then
// tagged items when there are any.
Bytes VideoExtension(uint32_t frame, const Bytes& items) {
    const bool doorAlert = frame >= 20 && frame < 30;
    BitWriter bits;
    bits.flag(true).flag(doorAlert).bits(doorAlert ? 20 + 7 * (frame - 20) : 3, 7);
    bits.bits(40, 10).bits(60, 10).bits(360, 10).bits(420, 10);
    bits.flag(true).flag(false).bits(12, 7);
    bits.bits(500, 10).bits(100, 10).bits(900, 10).bits(700, 10);
    bits.flag(false);
    bits.flag(false).bits(0, 4);
    Bytes area = bits.bytes();
    if (items.empty()) return area;
    // Padding before the items keeps the area a multiple of 4 bytes.
    area.insert(area.end(), (4 - (area.size() + items.size()) % 4) % 4, 0);
    area.insert(area.end(), items.begin(), items.end());
    return area;
}

// Item 17 raises the yard window's alert with its own level.
Bytes YardAlertItem(uint8_t level) {
    ByteWriter value;
    value.u8(1).u8(2).u8(uint8_t(0x80 | level)).u16(500).u16(100).u16(900).u16(700);
    return HeaderItem(17, value.take());
}

Bytes Slice(bool idr, uint32_t frame) {
    Bytes unit{uint8_t(idr ? 0x65 : 0x41)};
    const size_t size = idr ? 48 : 12 + frame % 9;
    for (size_t i = 0; i < size; ++i) unit.push_back(uint8_t(frame * 31 + i * 7));
    return unit;
}

void AddVideo(Recording& recording) {
    Track video = VideoTrack(Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), 90000, 176, 144);
    video.creationTime = kIsoEpochOffset + kStartUtc;
    video.modificationTime = video.creationTime;
    video.samplesPerChunk = 5;
    std::vector<Bytes> records;
    for (uint32_t frame = 0; frame < kVideoFrames; ++frame) {
        const bool sync = frame % kGop == 0;
        const Bytes slice = Slice(sync, frame);
        video.add(ByteWriter().u32(uint32_t(slice.size())).bytes(slice).take(), 90000 / kFramesPerSecond, sync);

        const uint32_t ms = frame * 1000 / kFramesPerSecond;
        const bool daylightSaving = ms >= kDaylightSavingFromMs;
        const Bytes items = frame >= 60 && frame < 65 ? YardAlertItem(uint8_t(50 + frame - 60)) : Bytes{};
        MediaHeader header;
        header.codec = "h264";
        header.frameType = sync ? 0 : 1;
        if (frame >= 10 && frame < 15) {
            header.digitalInputs = 1;  // input 1 in the frame type byte
            header.flags = HeaderFlags(daylightSaving, false, 0, !items.empty());
        } else if (frame >= 40 && frame < 45) {
            header.flags = HeaderFlags(daylightSaving, true, 0x2, !items.empty());  // input 2 in the flag word
        } else {
            header.flags = HeaderFlags(daylightSaving, false, 0, !items.empty());
        }
        const Clock local = LocalClock(ms);
        header.seconds = local.seconds;
        header.milliseconds = local.milliseconds;
        header.extension = VideoExtension(frame, items);
        records.push_back(FrameInfoRecord(header, FrameUserData(ms, uint16_t(frame))).bytes());
    }
    recording.addTrack(video);
    recording.addCompanion(records);
}

void AddAudio(Recording& recording) {
    AudioFields fields;
    fields.channelCount = 1;
    fields.sampleRate = kAudioRate;
    Track audio = AudioTrack(Mp4a(fields, AacAudioSpecificConfig(2, kAudioRate, 1)), kAudioRate);
    audio.creationTime = kIsoEpochOffset + kStartUtc;
    audio.modificationTime = audio.creationTime;
    audio.samplesPerChunk = 5;
    std::vector<Bytes> records;
    for (uint32_t frame = 0; frame < kAudioFrames; ++frame) {
        Bytes payload(24 + frame % 11);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(0x21 + frame * 13 + i);
        audio.add(payload, kAudioFrameSamples);

        const uint32_t ms = uint32_t(uint64_t(frame) * kAudioFrameSamples * 1000 / kAudioRate);
        MediaHeader header;
        header.codec = "aac ";
        header.flags = HeaderFlags(ms >= kDaylightSavingFromMs);
        const Clock local = LocalClock(ms);
        header.seconds = local.seconds;
        header.milliseconds = local.milliseconds;
        // Sizes listed, rate and channels present; one frame per sample.
        header.extension = ByteWriter().u8(0x40).u8(1).u16(uint16_t(payload.size())).u24(kAudioRate).u8(1).take();
        records.push_back(FrameInfoRecord(header, FrameUserData(ms, uint16_t(frame))).bytes());
    }
    recording.addTrack(audio);
    recording.addCompanion(records);
}

}  // namespace

const char kUsage[] =
    "usage: make_sample_recording OUTPUT.mp4\n"
    "  Writes the sample recording: 3 s of H.264 and AAC, each with its companion track.\n";

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc != 2) return helpoption::Usage(kUsage, help);
    try {
        Recording recording;
        recording.movie.creationTime = kIsoEpochOffset + kStartUtc;
        recording.movie.modificationTime = recording.movie.creationTime;
        AddVideo(recording);
        AddAudio(recording);
        recording.writeFile(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}

#include "ExpectedFrames.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "FigureFile.h"

namespace datatest {

namespace {

// The creation time 1970-01-01 in the header boxes' seconds since 1904.
constexpr uint64_t kUnixEpochSince1904 = 2082844800u;

enum class Extension { kVideo, kAac, kAmr, kG711 };

struct CodecRules {
    const char* ffprobeName;
    const char* printedName;  // the frame line's codec name
    const char* headerCode;   // the media header's four-character code
    Extension extension;
    bool nalUnits;  // AVC or HEVC: start codes and parameter sets
    bool hevc;
};

constexpr CodecRules kCodecRules[] = {
    {"h264", "H264", "h264", Extension::kVideo, true, false},
    {"hevc", "HEVC", "h265", Extension::kVideo, true, true},
    {"mpeg4", "MP4V", "mp4v", Extension::kVideo, false, false},
    {"aac", "AAC4", "aac ", Extension::kAac, false, false},
    {"amr_nb", "GAMR", "SAMR", Extension::kAmr, false, false},
    {"pcm_mulaw", "ULAW", "PCMU", Extension::kG711, false, false},
};

const CodecRules& RulesFor(const std::string& ffprobeName) {
    for (const CodecRules& rules : kCodecRules)
        if (ffprobeName == rules.ffprobeName) return rules;
    throw std::runtime_error("no frame rules for ffprobe's codec " + ffprobeName);
}

struct TrackFacts {
    const CodecRules* rules = nullptr;
    uint64_t timescale = 0;
    uint64_t editMediaTime = 0;   // ffprobe's times start this many units below 0
    uint64_t emptyEditUnits = 0;  // movie units of empty edits before the first sample
    uint64_t movieTimescale = 0;
    uint64_t creationSince1904 = 0;
    uint64_t constantSampleSize = 0;  // stsz sample_size; 0 when sizes are listed
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    std::string parameterSets;  // start-code form
};

struct Sample {
    size_t track = 0;
    uint64_t index = 0;
    uint64_t decodeUnits = 0;  // time-to-sample sum of the samples before it
    bool key = false;
    std::string stored;        // the bytes as the file stores them
    bool wholePacket = false;  // one ffprobe packet, whose CRC is storedCrc
    uint32_t storedCrc = 0;
};

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

void PutBig(std::string& out, uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

uint32_t BigWord(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

uint64_t FirstEditMediaTime(const FigureLine& track) {
    const std::string& times = track.Text("edit_media_times");
    const std::string first = times.substr(0, times.find(','));
    return first.empty() ? 0 : std::stoull(first);
}

TrackFacts ReadTrackFacts(const FigureLine& stream, const FigureLine& track, const FigureLine& movie) {
    TrackFacts facts;
    facts.rules = &RulesFor(stream.Text("codec_name"));
    facts.timescale = track.Unsigned("media_timescale");
    facts.editMediaTime = FirstEditMediaTime(track);
    facts.emptyEditUnits = track.Unsigned("edit_empty_sum");
    facts.movieTimescale = movie.Unsigned("timescale");
    facts.creationSince1904 = track.Unsigned("creation_time");
    facts.constantSampleSize = track.Unsigned("stsz_sample_size");
    if (facts.rules->extension != Extension::kVideo) {
        facts.sampleRate = static_cast<uint32_t>(track.Unsigned("sample_rate"));
        facts.channels = static_cast<uint32_t>(track.Unsigned("channel_count"));
    }
    if (facts.rules->nalUnits) {
        EXPECT_EQ(track.Unsigned("nal_length_size"), 4u) << "the payload rules below assume 4-byte prefixes";
        facts.parameterSets = FromHex(track.Text("parameter_sets"));
    }
    return facts;
}

// ffprobe's packets of every stream, in sample order, cut into the samples
// of the sample size table: a packet of a track with a constant sample size
// (the QuickTime u-law track) groups several one-byte samples.
std::vector<std::vector<Sample>> ReadSamples(const FigureFile& ffprobe, const std::vector<TrackFacts>& tracks,
                                             const std::string& media, bool fragmented) {
    std::vector<std::vector<Sample>> samples(tracks.size());
    std::vector<std::optional<uint64_t>> running(tracks.size(), uint64_t(0));
    for (const FigureLine* packet : ffprobe.Section("packet")) {
        const size_t track = static_cast<size_t>(packet->Unsigned("stream_index"));
        if (track >= tracks.size()) throw std::runtime_error("packet of an unknown stream");
        const TrackFacts& facts = tracks[track];
        const uint64_t pos = packet->Unsigned("pos");
        const uint64_t size = packet->Unsigned("size");
        // ffprobe does not know the duration of a fragmented remux's first
        // AAC packet: it says N/A, or 1024 where the run says 1280 (the next
        // dts), so a fragmented file's first packets are not summed: the
        // running sum starts again from the next packet's dts.
        const bool durationKnown = packet->Text("duration") != "N/A" && !(fragmented && samples[track].empty());
        const uint64_t duration = durationKnown ? packet->Unsigned("duration") : 0;
        if (pos > media.size() || size > media.size() - pos) throw std::runtime_error("packet outside the file");
        const std::string stored = media.substr(pos, size);
        const std::string& hash = packet->Text("data_hash");
        const uint32_t storedCrc = static_cast<uint32_t>(std::stoul(hash.substr(hash.find(':') + 1), nullptr, 16));
        EXPECT_EQ(Crc(stored), storedCrc) << "the bytes at " << pos << " are not the packet ffprobe read";

        // The reader times samples by the time-to-sample sum from 0; ffprobe
        // shows the same times moved down by the edit's media time.
        const uint64_t decodeUnits = static_cast<uint64_t>(packet->Signed("dts") + int64_t(facts.editMediaTime));
        if (running[track]) {
            EXPECT_EQ(decodeUnits, *running[track]) << "dts " << packet->Signed("dts") << " of stream " << track;
        }
        running[track] = durationKnown ? std::optional<uint64_t>(decodeUnits + duration) : std::nullopt;
        const bool key = packet->Text("flags")[0] == 'K';

        const uint64_t perSample = facts.constantSampleSize != 0 ? facts.constantSampleSize : size;
        const uint64_t count = size / perSample;
        EXPECT_EQ(count * perSample, size);
        EXPECT_EQ(duration % count, 0u);
        EXPECT_TRUE(durationKnown || count == 1) << "a packet of several samples without a duration";
        for (uint64_t i = 0; i < count; ++i) {
            Sample sample;
            sample.track = track;
            sample.index = samples[track].size();
            sample.decodeUnits = decodeUnits + i * (duration / count);
            sample.key = key;
            sample.stored = stored.substr(i * perSample, perSample);
            sample.wholePacket = count == 1;
            sample.storedCrc = storedCrc;
            samples[track].push_back(std::move(sample));
        }
    }
    return samples;
}

// Whether sample a lies strictly before sample b on the common timeline
// (empty-edit start offset plus decoding time), compared exactly.
bool Before(const Sample& a, const TrackFacts& ta, const Sample& b, const TrackFacts& tb) {
    using Wide = unsigned __int128;
    const Wide left = Wide(ta.emptyEditUnits) * ta.timescale * tb.timescale * tb.movieTimescale +
                      Wide(a.decodeUnits) * ta.movieTimescale * tb.movieTimescale * tb.timescale;
    const Wide right = Wide(tb.emptyEditUnits) * tb.timescale * ta.timescale * ta.movieTimescale +
                       Wide(b.decodeUnits) * tb.movieTimescale * ta.movieTimescale * ta.timescale;
    return left < right;
}

// Repeatedly the track whose next sample lies earliest; a later track takes
// over only when strictly earlier, so ties go to the earlier track.
std::vector<const Sample*> TimelineOrder(const std::vector<std::vector<Sample>>& samples,
                                         const std::vector<TrackFacts>& tracks) {
    std::vector<const Sample*> order;
    std::vector<size_t> cursor(samples.size(), 0);
    for (;;) {
        size_t chosen = samples.size();
        for (size_t t = 0; t < samples.size(); ++t) {
            if (cursor[t] >= samples[t].size()) continue;
            if (chosen == samples.size() ||
                Before(samples[t][cursor[t]], tracks[t], samples[chosen][cursor[chosen]], tracks[chosen]))
                chosen = t;
        }
        if (chosen == samples.size()) return order;
        order.push_back(&samples[chosen][cursor[chosen]++]);
    }
}

bool IsParameterSet(unsigned type, bool hevc) { return hevc ? (type >= 32 && type <= 34) : (type == 7 || type == 8); }

// Units in front of which a key sample gets the stored parameter sets.
bool TakesParameterSets(unsigned type, bool hevc) {
    return hevc ? (type == 19 || type == 20 || type == 39) : (type == 1 || type == 5 || type == 6 || type == 14);
}

// The payload handed out for an unprotected AVC or HEVC sample with 4-byte
// length prefixes: each prefix becomes the start code 00 00 00 01, and a key
// sample gets the stored parameter sets in front of its first slice or SEI
// unit of the kinds above. A key sample with none of them (an HEVC CRA
// picture, type 21) gets no sets. In-band parameter sets would be dropped or
// kept by further rules; these files have none, which is checked.
std::string NalPayload(const Sample& sample, const TrackFacts& facts) {
    const bool hevc = facts.rules->hevc;
    std::string payload;
    bool inserted = false;
    size_t at = 0;
    while (at + 4 <= sample.stored.size()) {
        const uint32_t length = BigWord(sample.stored, at);
        if (length == 0 || length > sample.stored.size() - at - 4) {
            ADD_FAILURE() << "unit length " << length << " in sample " << sample.index;
            return payload;
        }
        const uint8_t head = static_cast<uint8_t>(sample.stored[at + 4]);
        const unsigned type = hevc ? (head & 0x7E) >> 1 : head & 0x1F;
        EXPECT_FALSE(IsParameterSet(type, hevc)) << "in-band parameter set in sample " << sample.index;
        if (sample.key && !inserted && TakesParameterSets(type, hevc)) {
            payload += facts.parameterSets;
            inserted = true;
        }
        payload += std::string("\0\0\0\1", 4);
        payload += sample.stored.substr(at + 4, length);
        at += 4 + length;
    }
    EXPECT_EQ(at, sample.stored.size()) << "sample " << sample.index << " does not end with a whole unit";
    return payload;
}

// One AMR frame including its table-of-contents byte, by the frame type in
// bits 3 to 6 of the first byte.
uint32_t AmrFrameSize(const std::string& payload) {
    static constexpr uint8_t kSpeechBytes[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 5};
    if (payload.empty()) return 1;
    return 1u + kSpeechBytes[(static_cast<uint8_t>(payload[0]) >> 3) & 0x0F];
}

// The media header built for a track without a frame-information track:
// length word, codec code, frame type byte, flag bytes 00 20 13 04 (UTC,
// zone 0), seconds, milliseconds, extension word count and the extension.
std::string MediaHeader(const TrackFacts& facts, bool key, uint32_t seconds, uint32_t milliseconds,
                        const std::string& payload) {
    const uint32_t length = static_cast<uint32_t>(payload.size());
    std::string extension;
    switch (facts.rules->extension) {
        case Extension::kVideo: extension = std::string(4, '\0'); break;
        case Extension::kAac:
            extension = "\x40\x01";
            PutBig(extension, length & 0xFFFF, 2);
            PutBig(extension, facts.sampleRate & 0xFFFFFF, 3);
            PutBig(extension, facts.channels & 0xFF, 1);
            break;
        case Extension::kAmr: {
            const uint32_t frameSize = AmrFrameSize(payload);
            extension = "\xC0";
            PutBig(extension, (length / frameSize) & 0xFF, 1);
            PutBig(extension, frameSize & 0xFFFF, 2);
            PutBig(extension, facts.sampleRate & 0xFFFFFF, 3);
            PutBig(extension, facts.channels & 0xFF, 1);
            break;
        }
        case Extension::kG711:
            extension = "\xC0\x01";
            PutBig(extension, length & 0xFFFF, 2);
            PutBig(extension, facts.sampleRate & 0xFFFFFF, 3);
            PutBig(extension, facts.channels & 0xFF, 1);
            break;
    }
    const uint32_t headerLength = 20 + static_cast<uint32_t>(extension.size());
    std::string header;
    PutBig(header, headerLength + length - 4, 4);
    header += facts.rules->headerCode;
    header += static_cast<char>(facts.rules->extension == Extension::kVideo && !key ? 0x10 : 0x00);
    header += std::string("\x00\x20\x13\x04", 4);
    PutBig(header, seconds, 4);
    PutBig(header, milliseconds & 0xFFFF, 2);
    header += static_cast<char>(extension.size() / 4);
    return header + extension;
}

ExpectedFrame WorkOutFrame(const Sample& sample, const TrackFacts& facts) {
    ExpectedFrame frame;
    frame.track = sample.track;
    frame.sample = sample.index;
    frame.codecName = facts.rules->printedName;
    // The built frame type byte marks non-sync video samples as predicted;
    // ffprobe's key flag is the sync sample table's.
    frame.letter = sample.key ? 'I' : 'P';
    EXPECT_TRUE(sample.key || facts.rules->extension == Extension::kVideo) << "a non-key audio packet";

    // The timeline position in milliseconds, rounded as the reader does it in
    // doubles: start offset × 1000 + sample time × 1000 + 0.5, truncated.
    const double startOffset = double(facts.emptyEditUnits) / double(facts.movieTimescale);
    const double sampleTime = double(sample.decodeUnits) / double(facts.timescale);
    const uint64_t ms = static_cast<uint64_t>(startOffset * 1000 + sampleTime * 1000 + 0.5);
    const uint64_t created = std::max(facts.creationSince1904, kUnixEpochSince1904);
    frame.seconds = static_cast<uint32_t>(created + ms / 1000 - kUnixEpochSince1904);
    frame.milliseconds = static_cast<uint32_t>(ms % 1000);

    if (facts.rules->nalUnits) {
        const std::string payload = NalPayload(sample, facts);
        frame.size = static_cast<uint32_t>(payload.size());
        frame.crc = Crc(MediaHeader(facts, sample.key, frame.seconds, frame.milliseconds, payload) + payload);
    } else {
        // The payload is the stored packet, whose CRC ffprobe gives; the line's
        // CRC runs on from the header's over it.
        const std::string header = MediaHeader(facts, sample.key, frame.seconds, frame.milliseconds, sample.stored);
        const uint32_t payloadCrc = sample.wholePacket ? sample.storedCrc : Crc(sample.stored);
        frame.size = static_cast<uint32_t>(sample.stored.size());
        frame.crc = static_cast<uint32_t>(crc32_combine(Crc(header), payloadCrc, static_cast<z_off_t>(frame.size)));
    }
    return frame;
}

}  // namespace

std::string ExpectedFrame::CameraTimeText() const {
    char text[48];
    std::snprintf(text, sizeof text, "%u.%03u 0 0", seconds, milliseconds);
    return text;
}

ExpectedFile WorkOutExpectedFrames(const std::string& dataDir, const std::string& name) {
    const std::string path = dataDir + "/" + name;
    const FigureFile ffprobe = ReadFigureFile(path + ".ffprobe.txt");
    const FigureFile boxes = ReadFigureFile(path + ".boxes.txt");
    const std::string media = ReadWholeFile(path);
    const auto streams = ffprobe.Section("stream");
    const auto trackLines = boxes.Section("track");
    if (streams.size() != trackLines.size()) throw std::runtime_error("ffprobe and the boxes disagree on tracks");

    // A fragmented file's samples are in its movie fragments, not in its
    // (empty) sample tables: there the count is ffprobe's packets.
    const bool fragmented = boxes.Single("file").Text("top_boxes").find("moof") != std::string::npos;
    ExpectedFile expected;
    std::vector<TrackFacts> tracks;
    for (size_t i = 0; i < streams.size(); ++i) {
        tracks.push_back(ReadTrackFacts(*streams[i], *trackLines[i], boxes.Single("movie")));
        expected.samplesPerTrack.push_back(trackLines[i]->Unsigned("stsz_sample_count"));
        expected.codecNamePerTrack.push_back(tracks.back().rules->printedName);
    }
    const std::vector<std::vector<Sample>> samples = ReadSamples(ffprobe, tracks, media, fragmented);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (fragmented) {
            EXPECT_EQ(expected.samplesPerTrack[i], 0u) << "samples in the movie of a fragmented file";
            expected.samplesPerTrack[i] = samples[i].size();
        } else {
            EXPECT_EQ(samples[i].size(), expected.samplesPerTrack[i]) << "ffprobe's packets of stream " << i;
        }
    }
    for (const Sample* sample : TimelineOrder(samples, tracks))
        expected.frames.push_back(WorkOutFrame(*sample, tracks[sample->track]));
    return expected;
}

}  // namespace datatest

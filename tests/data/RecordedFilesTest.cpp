// The reader and the tool on small real files written by ffmpeg, checked
// against what ffprobe reads from the same files. Every file was made with
// creation time 2020-01-01 00:00:00 UTC; see README.md for why each track's
// sample count and truncated duration are what ffprobe's figures give.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "FigureFile.h"
#include "ToolRun.h"
#include "isom/AVReader.h"
#include "isom/FragmentProgress.h"

using datatest::FigureFile;
using datatest::FigureLine;
using datatest::ReadFigureFile;
using datatest::RunStampwalk;
using datatest::StartsWith;
using datatest::ToolRun;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

// 2020-01-01 00:00:00 UTC in seconds since 1904 and since 1970.
constexpr uint64_t kCreationSince1904 = 3660681600u;
constexpr uint32_t kCreationSince1970 = 1577836800u;

struct CodecFacts {
    const char* ffprobeName;
    uint32_t codecType;
    const char* fourCC;  // GetTrackFourCC, first character in the lowest byte
};

constexpr CodecFacts kCodecs[] = {
    {"h264", 0x8, "H264"},  {"hevc", 0x10, "HEVC"},     {"mpeg4", 0x4, "MP4V"},
    {"aac", 0x400, "AAC4"}, {"amr_nb", 0x1000, "GAMR"}, {"pcm_mulaw", 0x2000, "ULAW"},
};

uint32_t LittleFourCC(const char* text) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}

struct ExpectedTrack {
    uint32_t codecType = 0;
    uint32_t fourCC = 0;
    uint32_t sampleCount = 0;
    uint32_t seconds = 0;
    uint32_t trackNumber = 0;
    bool video = false;
    uint32_t width = 0;
    uint32_t height = 0;
};

struct ExpectedFile {
    uint32_t mediaType = 0;
    uint32_t movieSeconds = 0;
    std::vector<ExpectedTrack> tracks;
};

FigureFile Figures(const std::string& name, const char* kind) {
    return ReadFigureFile(kDataDir + "/" + name + "." + kind + ".txt");
}

// The packets ffprobe lists for one stream.
uint32_t PacketCount(const FigureFile& ffprobe, uint64_t streamIndex) {
    uint32_t count = 0;
    for (const FigureLine* packet : ffprobe.Section("packet"))
        if (packet->Unsigned("stream_index") == streamIndex) ++count;
    return count;
}

// ffprobe's nb_frames of an MP4/MOV stream is the sample count of its
// sample size table, and its stream duration is the edit list's (or, without
// one, the media header's), which for these files equals the track duration
// the reader computes; truncating the printed decimal gives whole seconds.
// A fragmented file's samples are in its fragments, which ffprobe does not
// count (nb_frames N/A): there the count is that of its packets, and the
// durations are the fragments' sums, which ffprobe gives as they are.
ExpectedFile ExpectFromFfprobe(const FigureFile& ffprobe) {
    ExpectedFile expected;
    expected.movieSeconds = ffprobe.Single("format").TruncatedSeconds("duration");
    for (const FigureLine* stream : ffprobe.Section("stream")) {
        ExpectedTrack track;
        const std::string& name = stream->Text("codec_name");
        bool known = false;
        for (const CodecFacts& codec : kCodecs) {
            if (name != codec.ffprobeName) continue;
            track.codecType = codec.codecType;
            track.fourCC = LittleFourCC(codec.fourCC);
            known = true;
        }
        if (!known) ADD_FAILURE() << "no codec type for ffprobe's " << name;
        track.sampleCount = stream->Text("nb_frames") == "N/A" ? PacketCount(ffprobe, stream->Unsigned("index"))
                                                               : static_cast<uint32_t>(stream->Unsigned("nb_frames"));
        track.seconds = stream->TruncatedSeconds("duration");
        track.trackNumber = static_cast<uint32_t>(stream->Unsigned("id") - 1);
        track.video = stream->Text("codec_type") == "video";
        if (track.video) {
            track.width = static_cast<uint32_t>(stream->Unsigned("width"));
            track.height = static_cast<uint32_t>(stream->Unsigned("height"));
        }
        expected.mediaType |= track.video ? kMediaVideo : kMediaAudio;
        expected.tracks.push_back(track);
    }
    return expected;
}

// The track duration by the reader's rule, worked out from the raw boxes:
// the non-empty edits over the movie timescale, else the time-to-sample sum
// over the media timescale; whole seconds.
uint32_t EditListSeconds(const FigureLine& movie, const FigureLine& track) {
    return static_cast<uint32_t>(track.Unsigned("edit_nonempty_sum") / movie.Unsigned("timescale"));
}
uint32_t SampleTableSeconds(const FigureLine& track) {
    return static_cast<uint32_t>(track.Unsigned("stts_delta_sum") / track.Unsigned("media_timescale"));
}
uint32_t ReaderRuleSeconds(const FigureLine& movie, const FigureLine& track) {
    return track.Unsigned("edit_nonempty_sum") != 0 ? EditListSeconds(movie, track) : SampleTableSeconds(track);
}

const char* MediaTypeText(uint32_t mediaType) {
    switch (mediaType) {
        case 1: return "audio only";
        case 2: return "video only";
        case 3: return "A/V";
        default: return "N/A";
    }
}

std::vector<std::string> SummaryLines(const ExpectedFile& expected) {
    std::vector<std::string> lines;
    lines.push_back(std::string("Mediatype: ") + MediaTypeText(expected.mediaType) + ", total " +
                    std::to_string(expected.tracks.size()) + " track(s)");
    for (size_t i = 0; i < expected.tracks.size(); ++i) {
        const ExpectedTrack& track = expected.tracks[i];
        char type[32];
        std::snprintf(type, sizeof type, " stream type: 0x%08x", track.codecType);
        lines.push_back("Track: " + std::to_string(i + 1));
        lines.push_back(type);
        lines.push_back(" sample count: " + std::to_string(track.sampleCount));
        lines.push_back(" duration: " + std::to_string(track.seconds) + " sec");
        lines.push_back("");
    }
    return lines;
}

const char* const kReadableFiles[] = {
    "h264_bframes.mp4", "h264_nobframes.mp4", "hevc.mp4", "mpeg4.mp4",
    "aac.m4a",          "amrnb.3gp",          "ulaw.mov", "h264_aac.mp4",
};

class RecordedFile : public ::testing::TestWithParam<const char*> {};

TEST_P(RecordedFile, BoxFiguresAgreeWithFfprobe) {
    // Guards the data: a remade file whose ffprobe figures no longer follow
    // from its boxes by the reader's rules must not become a silent expectation.
    const FigureFile ffprobe = Figures(GetParam(), "ffprobe");
    const FigureFile boxes = Figures(GetParam(), "boxes");
    const FigureLine& movie = boxes.Single("movie");
    EXPECT_EQ(movie.Unsigned("creation_time"), kCreationSince1904);
    EXPECT_EQ(movie.Unsigned("duration") / movie.Unsigned("timescale"),
              ffprobe.Single("format").TruncatedSeconds("duration"));
    const auto streams = ffprobe.Section("stream");
    const auto tracks = boxes.Section("track");
    ASSERT_EQ(streams.size(), tracks.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        const FigureLine& stream = *streams[i];
        const FigureLine& track = *tracks[i];
        EXPECT_EQ(track.Text("sample_entry"), stream.Text("codec_tag_string"));
        EXPECT_EQ(track.Text("media_header"), stream.Text("codec_type") == "video" ? "vmhd" : "smhd");
        EXPECT_EQ(track.Unsigned("track_id"), stream.Unsigned("id"));
        EXPECT_EQ(track.Unsigned("creation_time"), kCreationSince1904);
        EXPECT_EQ(track.Unsigned("stsz_sample_count"), stream.Unsigned("nb_frames"));
        EXPECT_EQ(ReaderRuleSeconds(movie, track), stream.TruncatedSeconds("duration"));
    }
}

void ExpectReaderMatchesFfprobe(const std::string& name) {
    const ExpectedFile expected = ExpectFromFfprobe(Figures(name, "ffprobe"));
    const std::string path = kDataDir + "/" + name;
    AVReader* reader = nullptr;
    ASSERT_EQ(AVReaderOpen(&reader, path.c_str(), kOpenPairCompanionTracks), 0);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->GetMediaType(), expected.mediaType);
    EXPECT_EQ(reader->GetCreationTime(), kCreationSince1970);
    EXPECT_EQ(reader->GetDuration(), expected.movieSeconds);
    EXPECT_EQ(reader->GetTrackCount(), expected.tracks.size());
    for (uint32_t i = 0; i < reader->GetTrackCount() && i < expected.tracks.size(); ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        const ExpectedTrack& track = expected.tracks[i];
        EXPECT_EQ(reader->GetTrackCodecType(i), track.codecType);
        EXPECT_EQ(reader->GetTrackFourCC(i), track.fourCC);
        EXPECT_EQ(reader->GetTrackSampleCount(i), track.sampleCount);
        EXPECT_EQ(reader->GetTrackDuration(i), track.seconds);
        EXPECT_EQ(reader->GetTrackNumber(i), track.trackNumber);
        if (track.video) {
            EXPECT_EQ(reader->GetTrackWidth(i), track.width);
            EXPECT_EQ(reader->GetTrackHeight(i), track.height);
        }
    }
    reader->Release();
}

void ExpectToolPrintsTheSummary(const std::string& name) {
    const std::vector<std::string> expected = SummaryLines(ExpectFromFfprobe(Figures(name, "ffprobe")));
    const ToolRun run = RunStampwalk(kDataDir + "/" + name, 1);
    EXPECT_EQ(run.exitCode, 0);
    size_t first = 0;
    while (first < run.lines.size() && !StartsWith(run.lines[first], "Mediatype: ")) ++first;
    ASSERT_LT(first, run.lines.size()) << "no summary in the output";
    // The summary is followed by the closing line and nothing else.
    ASSERT_EQ(run.lines.size(), first + expected.size() + 1);
    const std::vector<std::string> summary(run.lines.begin() + first, run.lines.end() - 1);
    EXPECT_EQ(summary, expected);
    EXPECT_TRUE(StartsWith(run.lines.back(), "Congratulation! The time parser parseed completely. elapsed time: "))
        << run.lines.back();
}

TEST_P(RecordedFile, ReaderMatchesFfprobe) { ExpectReaderMatchesFfprobe(GetParam()); }

TEST_P(RecordedFile, ToolPrintsTheSummary) { ExpectToolPrintsTheSummary(GetParam()); }

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, RecordedFile, ::testing::ValuesIn(kReadableFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(RecordedFiles, SomeTracksNeedTheEditListForTheirDuration) {
    // Encoder priming makes these media longer than the edit that plays
    // them, so a reader that ignores the edit list reports a second more.
    const struct {
        const char* file;
        size_t track;
    } primed[] = {{"aac.m4a", 0}, {"amrnb.3gp", 0}, {"h264_aac.mp4", 1}};
    for (const auto& entry : primed) {
        SCOPED_TRACE(entry.file);
        const FigureFile boxes = Figures(entry.file, "boxes");
        const auto tracks = boxes.Section("track");
        ASSERT_LT(entry.track, tracks.size());
        const FigureLine& track = *tracks[entry.track];
        EXPECT_EQ(SampleTableSeconds(track), EditListSeconds(boxes.Single("movie"), track) + 1);
    }
}

// The sample tables of the fragmented files' movies are empty and their
// movie headers say 0 ms, so the box figures do not give ffprobe's; the
// reader and the tool are checked against ffprobe's packets and durations.
class FragmentedRecordedFile : public ::testing::TestWithParam<const char*> {};

TEST_P(FragmentedRecordedFile, ReaderMatchesFfprobe) { ExpectReaderMatchesFfprobe(GetParam()); }

TEST_P(FragmentedRecordedFile, ToolPrintsTheSummary) { ExpectToolPrintsTheSummary(GetParam()); }

TEST_P(FragmentedRecordedFile, EveryFragmentIsReadToTheEndOfTheFile) {
    // Every moof of the top-level boxes is read, and the files end with a
    // whole mfra box, so nothing is left after the fragments.
    const FigureFile figures = Figures(GetParam(), "boxes");
    const std::string& boxes = figures.Single("file").Text("top_boxes");
    uint32_t fragments = 0;
    for (size_t at = boxes.find("moof"); at != std::string::npos; at = boxes.find("moof", at + 1)) ++fragments;
    ASSERT_GT(fragments, 0u);
    ASSERT_EQ(boxes.substr(boxes.size() - 4), "mfra");

    const std::string path = kDataDir + "/" + GetParam();
    std::FILE* media = std::fopen(path.c_str(), "rb");
    ASSERT_NE(media, nullptr);
    std::fseek(media, 0, SEEK_END);
    const uint64_t fileSize = static_cast<uint64_t>(std::ftell(media));
    std::fclose(media);

    AVReader* reader = nullptr;
    ASSERT_EQ(AVReaderOpen(&reader, path.c_str(), kOpenPairCompanionTracks), 0);
    TFragmentProgress progress{};
    EXPECT_EQ(AVReaderGetFragmentProgress(reader, &progress), kReaderOk);
    EXPECT_EQ(progress.fragmented, 1u);
    EXPECT_EQ(progress.completeFragments, fragments);
    EXPECT_EQ(progress.endOffset, fileSize);
    EXPECT_EQ(progress.bytesAfter, 0u);
    reader->Release();
}

const char* const kFragmentedFiles[] = {
    "fragmented.mp4", "frag_h264_aac.mp4", "frag_base_moof.mp4", "frag_duration.mp4", "frag_hevc.mp4",
};

INSTANTIATE_TEST_SUITE_P(FfmpegFiles, FragmentedRecordedFile, ::testing::ValuesIn(kFragmentedFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace

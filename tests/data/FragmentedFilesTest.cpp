// A fragmented recording cut inside a fragment, as a power loss or a
// recording still being written leaves it: the tool reads the fragments
// before the cut and its check says the recording is in progress.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "FigureFile.h"
#include "ToolRun.h"
#include "support/TempFile.h"

using datatest::JsonField;
using datatest::RunStampwalk;
using datatest::ToolRun;

namespace {

const std::string kDataDir = STAMPWALK_DATA_DIR;

// Per track, one "codec letter key size payloadCrc32" line per frame.
std::map<std::string, std::vector<std::string>> FramesByTrack(const std::string& path) {
    std::map<std::string, std::vector<std::string>> tracks;
    for (const std::string& line : RunStampwalk(path, 1, {"--format", "json"}).lines) {
        if (JsonField(line, "type") != "frame") continue;
        tracks[JsonField(line, "track")].push_back(JsonField(line, "codec") + " " + JsonField(line, "frameType") + " " +
                                                   JsonField(line, "key") + " " + JsonField(line, "size") + " " +
                                                   JsonField(line, "payloadCrc32"));
    }
    return tracks;
}

// ffprobe's packets per stream, as the summary's track numbers ("1", "2").
std::map<std::string, uint64_t> PacketsByTrack(const std::string& name, uint64_t before = UINT64_MAX) {
    std::map<std::string, uint64_t> counts;
    const datatest::FigureFile figures = datatest::ReadFigureFile(kDataDir + "/" + name + ".ffprobe.txt");
    for (const datatest::FigureLine* packet : figures.Section("packet")) {
        if (packet->Unsigned("pos") < before) ++counts[std::to_string(packet->Unsigned("stream_index") + 1)];
    }
    return counts;
}

std::map<std::string, uint64_t> Counts(const std::map<std::string, std::vector<std::string>>& tracks) {
    std::map<std::string, uint64_t> counts;
    for (const auto& [track, frames] : tracks) counts[track] = frames.size();
    return counts;
}

// frag_duration.mp4 cut in the middle of its third fragment's media data:
// the frames are those ffprobe places before the third moof, and the check
// reports the recording as in progress.
TEST(FragmentedCut, ACopyCutInsideAFragmentGivesTheCompleteFragments) {
    std::ifstream in(kDataDir + "/frag_duration.mp4", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u32 = [&](uint64_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    std::vector<uint64_t> moofs;
    for (uint64_t at = 0; at + 8 <= bytes.size(); at += u32(at)) {
        if (std::string(bytes.begin() + std::ptrdiff_t(at + 4), bytes.begin() + std::ptrdiff_t(at + 8)) == "moof") {
            moofs.push_back(at);
        }
        if (u32(at) < 8) break;
    }
    ASSERT_GE(moofs.size(), 4u);
    const uint64_t third = moofs[2];
    const uint64_t mdat = third + u32(third);  // the third fragment's mdat follows its moof
    bytes.resize(mdat + u32(mdat) / 2);
    testsupport::TempFile cut(bytes);

    EXPECT_EQ(Counts(FramesByTrack(cut.path())), PacketsByTrack("frag_duration.mp4", third));
    const ToolRun check = RunStampwalk(cut.path(), 1, {"--check", "--format", "json"});
    ASSERT_FALSE(check.lines.empty());
    EXPECT_EQ(JsonField(check.lines.back(), "status"), "in-progress") << check.lines.back();
    EXPECT_EQ(JsonField(check.lines.back(), "chunks"), "2") << check.lines.back();
    EXPECT_EQ(JsonField(check.lines.back(), "pendingBytes"), std::to_string(bytes.size() - third));
}

}  // namespace

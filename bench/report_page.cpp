// Times the report page over a synthetic recording: a camera's video at 25
// frames per second interleaved with its audio at 12.5 packets per second,
// with clock wander, a gap every so often, DI alert periods and motion. The
// recording's frames go through the checks too, so that the page carries
// their findings. Prints what the page cost and weighs; with OUTPUT, keeps it.
//
//   report_page [--frames N] [--compare] [OUTPUT.html]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "analysis/Checks.h"
#include "analysis/ReportPage.h"
#include "tools/HelpOption.h"

namespace {

using namespace ZENT::SDK::Analysis;

const char kUsage[] =
    "usage: report_page [--frames N] [--compare] [OUTPUT.html]\n"
    "  Builds the report page of N synthetic frames (default 1000000), with --compare\n"
    "  against a second recording, and prints its size and the time it took.\n";

constexpr int64_t kEpochMs = 1700000000000;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Frame `position` of the interleaved recording: two video frames, then one audio packet.
FrameRecord Frame(uint64_t position, bool second) {
    static uint64_t counts[2][3] = {};
    uint64_t* count = counts[second ? 1 : 0];
    const bool video = position % 3 != 2;
    const uint64_t index = count[video ? 0 : 1]++;
    FrameRecord frame;
    frame.track = video ? 1 : 2;
    frame.index = index;
    frame.video = video;
    frame.codec = video ? "H264" : "G711";
    // Every 5000th video frame comes 400 ms late: a gap of nine frames.
    const int64_t late = video ? static_cast<int64_t>(index / 5000) * 400 : 0;
    const int64_t ms = video ? static_cast<int64_t>(index) * 40 + late : static_cast<int64_t>(index) * 80;
    frame.decodeTime = ContainerTime{(ms + (second ? 7 : 0)) * 90, 90000};
    frame.streamTime = kEpochMs + ms;
    frame.recordTime = kEpochMs + ms + 300 + static_cast<int64_t>(index % 97) - (second ? 20 : 0);
    frame.cameraTime = kEpochMs + ms - 50 + static_cast<int64_t>((index / 1000) % 13);
    frame.key = video && index % 50 == 0;
    frame.frameType = frame.key ? 'I' : 'P';
    frame.size = video ? (frame.key ? 60000u + static_cast<uint32_t>(index % 7919)
                                    : 4000u + static_cast<uint32_t>(index * 7919 % 3000))
                       : 320u;
    frame.diAlert = (index / 3000) % 5 == 0 ? 1u : 0u;
    frame.motion = {static_cast<uint8_t>(index % 256), static_cast<uint8_t>((index / 7) % 200),
                    static_cast<uint8_t>((index / 300) % 2 == 0 ? 10 : 180)};
    return frame;
}

struct Recording {
    ReportSeries series;
    std::vector<TrackCheck> checks;
};

Recording Build(uint64_t frames, bool second, double& addSeconds) {
    Recording recording;
    Checker checker;
    for (uint64_t position = 0; position < frames; ++position) {
        const FrameRecord frame = Frame(position, second);
        const auto start = std::chrono::steady_clock::now();
        recording.series.AddFrame(frame);
        addSeconds += Since(start);
        checker.AddFrame(frame);
    }
    recording.checks = checker.Finish();
    return recording;
}

}  // namespace

int main(int argc, char** argv) {
    if (helpoption::AsksForHelp(argc, argv)) return helpoption::Usage(kUsage, true);
    uint64_t frames = 1000000;
    bool compare = false;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            char* end = nullptr;
            frames = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || frames == 0) return helpoption::Usage(kUsage, false);
        } else if (std::strcmp(argv[i], "--compare") == 0) {
            compare = true;
        } else if (argv[i][0] != '-' && output.empty()) {
            output = argv[i];
        } else {
            return helpoption::Usage(kUsage, false);
        }
    }

    double addSeconds = 0;
    Recording a = Build(frames, false, addSeconds);
    ReportInput input;
    input.title = "synthetic <camera> & recording";
    input.a = std::move(a.series);
    input.checks = std::move(a.checks);
    if (compare) {
        Recording b = Build(frames, true, addSeconds);
        input.b = std::move(b.series);
        input.checksB = std::move(b.checks);
        for (uint64_t index = 0; index < frames / 3; index += 50000) {
            ReportMark mark;
            mark.track = 1;
            mark.index = index;
            mark.kind = "time";
            mark.message = "decode times differ by 7 ms";
            input.marks.push_back(mark);
        }
    }

    std::ostringstream page;
    const auto start = std::chrono::steady_clock::now();
    WriteReportPage(page, input);
    const double writeSeconds = Since(start);
    const std::string text = page.str();
    if (!output.empty()) {
        std::ofstream file(output, std::ios::binary);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!file) {
            std::fprintf(stderr, "report_page: cannot write %s\n", output.c_str());
            return 1;
        }
    }
    uint64_t kept = 0;
    for (const ReportSeries* series : {&input.a, input.b ? &*input.b : nullptr}) {
        if (series == nullptr) continue;
        for (const ReportTrack& track : series->tracks()) kept += track.points.size() * sizeof(ReportPoint);
    }
    std::printf("frames %llu per recording%s\n", static_cast<unsigned long long>(frames),
                compare ? ", two recordings" : "");
    std::printf("kept   %.1f MB of points (%zu bytes per frame)\n", static_cast<double>(kept) / 1e6,
                sizeof(ReportPoint));
    std::printf("add    %.3f s for all frames\n", addSeconds);
    std::printf("write  %.3f s\n", writeSeconds);
    std::printf("page   %.2f MB\n", static_cast<double>(text.size()) / 1e6);
    return 0;
}

// The checks of the built tool on recordings whose frame information comes
// from a companion track: record and stream times that jump or drift apart,
// a change of time zone, and the integrity test with a key.
#include "FrameLinesTest.h"

namespace {

using namespace framelines;
using writer::Recording;
using writer::UserData;

constexpr uint32_t B = 1700000000;  // 2023-11-14 22:13:20 UTC

// (check, index) of the finding objects, in output order.
using Located = std::pair<std::string, uint64_t>;

std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos) return "";
    const size_t start = at + key.size() + (line[at + key.size()] == '"' ? 1 : 0);
    return line.substr(start, line.find_first_of("\",}", start) - start);
}

struct CheckedRun {
    int exitCode = -1;
    std::vector<Located> findings;
    std::vector<std::string> integrity;  // of the frame objects
};

CheckedRun Check(const Recording& recording, const std::vector<std::string>& options = {}) {
    testsupport::TempFile file(recording.bytes());
    std::vector<std::string> arguments = {"-p", file.path(), "-t", "1", "--check", "--format", "json"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const testsupport::ProgramRun run = testsupport::RunProgram(STAMPWALK_BINARY, arguments);
    CheckedRun checked;
    checked.exitCode = run.exitCode;
    size_t start = 0;
    for (size_t end; (end = run.output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = run.output.substr(start, end - start);
        if (Field(line, "type") == "finding")
            checked.findings.emplace_back(Field(line, "check"), std::stoull(Field(line, "index")));
        if (Field(line, "type") == "frame") checked.integrity.push_back(Field(line, "integrity"));
    }
    return checked;
}

Bytes Video(uint8_t zone, uint32_t seconds, uint16_t milliseconds) {
    return MediaHeader("h264", 0, 0, Flags(zone), seconds, milliseconds, VideoExtension());
}

// Ten key frames 40 ms apart. Stream time runs from B; record time from
// B + 3600 s, moved by shift[i] ms; the header names zone[i] (48 is UTC).
struct ClockCase {
    const char* name;
    std::vector<int64_t> shift;
    std::vector<uint8_t> zone;
    std::vector<Located> findings;
};

class ClockCheck : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockCheck, FindsWhereRecordAndStreamTimeMoveApart) {
    const ClockCase& row = GetParam();
    SliceTrack video = SliceVideo(std::vector<bool>(10, true));
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 10; ++i) {
        const int64_t stream = int64_t(B) * 1000 + 40 * i;
        const int64_t record = stream + 3600000 + (row.shift.empty() ? 0 : row.shift[i]);
        const UserData times = UserData()
                                   .recordTime(uint32_t(record / 1000), uint32_t(record % 1000))
                                   .streamTime(uint32_t(stream / 1000), uint32_t(stream % 1000));
        records.push_back(Record(Video(row.zone.empty() ? 48 : row.zone[i], B + i / 25, uint16_t(40 * i)), times));
    }
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);
    const CheckedRun run = Check(recording);
    EXPECT_EQ(run.findings, row.findings);
    EXPECT_EQ(run.exitCode, row.findings.empty() ? 0 : 1);
}

// The tolerance is 1000 ms: a shift is found where it first exceeds it, found
// again only when it moves more than that from the shift found, and not when
// it comes back within the tolerance.
INSTANTIATE_TEST_SUITE_P(
    Rows, ClockCheck,
    ::testing::Values(
        ClockCase{"Steady", {}, {}, {}},
        ClockCase{"WithinTolerance", {0, 400, 1000, -1000, 0, 999, 0, 0, 0, 0}, {}, {}},
        ClockCase{"StepOfFiveSeconds", {0, 0, 0, 0, 5000, 5000, 5000, 5000, 5000, 5000}, {}, {{"clock", 4}}},
        // 300 ms more per frame: 1200 at frame 4 is found; 2400 at frame 8 is
        // 1200 from it; 2100 at frame 7 only 900.
        ClockCase{"Drift", {0, 300, 600, 900, 1200, 1500, 1800, 2100, 2400, 2700}, {}, {{"clock", 4}, {"clock", 8}}},
        ClockCase{"BackAgain", {0, 0, 0, -5000, -5000, -5000, 0, 0, 0, 0}, {}, {{"clock", 3}}},
        // Zone 52 is one hour east of 48: the change is found, nothing else moves.
        ClockCase{"TimeZoneChange", {}, {48, 48, 48, 48, 48, 52, 52, 52, 52, 52}, {{"clock", 5}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The value the integrity item must hold, worked out apart from the reader:
// zlib's CRC of the frame bytes (header with its length word, payload in
// start-code form) in lower-case hex, the key behind it, and the CRC of that.
uint32_t CheckValue(const Bytes& frame, const std::string& key) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", Crc(frame));
    const std::string text = std::string(hex) + key;
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
}

TEST(IntegrityCheck, FindsEveryMismatchAndMissingValue) {
    const std::string key = "camera-key";
    SliceTrack video = SliceVideo({true, false, false, false});
    std::vector<Bytes> headers;
    for (uint32_t i = 0; i < 4; ++i) {
        headers.push_back(MediaHeader("h264", i == 0 ? 0 : 1, 0, Flags(48), B, uint16_t(40 * i), VideoExtension()));
    }
    const auto value = [&](uint32_t i) { return CheckValue(FrameBytes(headers[i], video.payloads[i]), key); };
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(
        {Record(headers[0], UserData().integrity(value(0))), Record(headers[1], UserData().integrity(value(1) + 1)),
         Record(headers[2], UserData().integrity(0)), Record(headers[3], UserData().integrity(value(3)))});

    const CheckedRun checked = Check(recording, {"--integrity-key", key});
    EXPECT_EQ(checked.integrity, (std::vector<std::string>{"match", "mismatch", "no-value", "match"}));
    EXPECT_EQ(checked.findings, (std::vector<Located>{{"integrity", 1}, {"integrity", 2}}));
    EXPECT_EQ(checked.exitCode, 1);
    // Without the key the test does not run.
    EXPECT_EQ(Check(recording).integrity, std::vector<std::string>(4, "null"));
}

}  // namespace

namespace {

// Two recordings of the same ten slices whose companion records differ: B
// names DI inputs 2 at frame 3 and an alerted motion window (level 40) at
// frame 5, and every time of B's run (header, record and stream time) is
// five seconds later. The times of the two runs are not compared; the alert
// and the motion are.
Recording Companion(bool changed, uint32_t secondsLater) {
    SliceTrack video = SliceVideo(std::vector<bool>(10, true));
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 10; ++i) {
        writer::FlagWord flags;
        flags.digitalInputsValid = true;
        flags.digitalInputs = changed && i == 3 ? 2 : 0;
        std::array<Window, 3> windows{};
        if (changed && i == 5) windows[0] = Window{true, true, 40, {0, 0, 100, 100}};
        const uint32_t seconds = B + secondsLater + i / 25;
        const Bytes header =
            MediaHeader("h264", 0, 0, flags.value(), seconds, uint16_t(40 * i), VideoExtension(windows));
        records.push_back(Record(header, UserData().recordTime(seconds, 40 * i).streamTime(seconds - 3600, 40 * i)));
    }
    Recording recording;
    recording.addTrack(video.track);
    recording.addCompanion(records);
    return recording;
}

std::vector<std::string> Differences(const Recording& a, const Recording& b, int& exitCode) {
    testsupport::TempFile fileA(a.bytes());
    testsupport::TempFile fileB(b.bytes());
    const testsupport::ProgramRun run = testsupport::RunProgram(
        STAMPWALK_BINARY, {"-p", fileA.path(), "-t", "1", "--compare", fileB.path(), "--format", "json"});
    exitCode = run.exitCode;
    std::vector<std::string> kinds;
    size_t start = 0;
    for (size_t end; (end = run.output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = run.output.substr(start, end - start);
        if (Field(line, "type") == "difference") kinds.push_back(Field(line, "kind") + " " + Field(line, "indexA"));
    }
    return kinds;
}

TEST(CompareCompanions, ReportAlertAndMotionButNotTheTimesOfTheRuns) {
    int exitCode = -1;
    EXPECT_EQ(Differences(Companion(false, 0), Companion(true, 5), exitCode),
              (std::vector<std::string>{"alert 3", "motion 5"}));
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Differences(Companion(false, 0), Companion(false, 5), exitCode), std::vector<std::string>{});
    EXPECT_EQ(exitCode, 0);
}

}  // namespace

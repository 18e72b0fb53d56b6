// JSON Lines: one object per line, nothing else on the stream. Frames, tracks
// and findings (or the differences of a comparison) as the run gives them, a
// result object last.
#ifndef STAMPWALK_ANALYSIS_JSONLINES_H
#define STAMPWALK_ANALYSIS_JSONLINES_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "analysis/Comparison.h"
#include "analysis/Finding.h"
#include "analysis/FrameRecord.h"

namespace ZENT::SDK::Analysis {

enum class RunStatus : uint8_t { kOk, kFindings, kUnreadable, kInProgress };

struct RunResult {
    RunStatus status = RunStatus::kOk;
    bool checked = false;  // the checks ran: without them "ok" says only that the file was read
    uint64_t frames = 0;
    uint64_t tracks = 0;
    uint64_t findings = 0;
    std::optional<RecordingProgress> progress;  // a recording in progress
};

class JsonLinesWriter {
public:
    explicit JsonLinesWriter(std::ostream& out) : out_(out) {}

    void WriteFrame(const FrameRecord& frame);
    void WriteTrack(const TrackRecord& track);
    void WriteFinding(const Finding& finding);
    // "track" is A's track, or B's for a track only B has; "trackB" is null for one only A has.
    void WriteDifference(const Difference& difference);
    // The last line of a comparison: "same", "differences" or "unreadable", and the counts.
    void WriteComparisonResult(const char* status, uint64_t framesA, uint64_t framesB, uint64_t differences);
    void WriteResult(const RunResult& result);

private:
    void Begin(const char* type);
    void Key(const char* name);
    void String(std::string_view text);
    void Unsigned(uint64_t value);
    void End();

    std::ostream& out_;
    std::string line_;   // the line being built, kept for its capacity
    std::string field_;  // a field's text before it is quoted
};

// Appends text as a JSON string. Well-formed UTF-8 passes through; quotes,
// backslashes, control characters and every byte that is not part of a
// well-formed sequence become \u00XX (a stray byte 0xE9 reads back as U+00E9).
void AppendJsonString(std::string& line, std::string_view text);

}  // namespace ZENT::SDK::Analysis

#endif

// The report of a recording as one self-contained HTML page: per track four
// charts drawn as inline SVG (interval between frames, frame size, clock
// offsets, DI alerts and motion), the findings of the checks as marks on them
// and as a table whose rows link to the marks. With a second recording, B,
// both share the time axis in two colours and the differences between them
// are marks too. The page needs no network, no font and no script to show;
// its small script only adds a read-out of the time under the pointer.
#ifndef STAMPWALK_ANALYSIS_REPORTPAGE_H
#define STAMPWALK_ANALYSIS_REPORTPAGE_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Checks.h"
#include "analysis/FrameRecord.h"
#include "analysis/ReportData.h"

namespace ZENT::SDK::Analysis {

// The charts of a track, top to bottom.
enum class ReportChart : uint8_t { kInterval, kSize, kOffsets, kActivity };

// A located remark that is not a finding of the checks: a difference between
// the two recordings.
struct ReportMark {
    uint32_t track = 0;             // in the recording the mark belongs to (A, or B with fromB)
    std::optional<uint64_t> index;  // the track's frame, where the mark names one: drawn at its time
    std::optional<double> time;     // else seconds on the report's axis (ReportSeries::TimeOf gives them)
    std::string kind;
    std::string message;
    bool fromB = false;
    ReportChart chart = ReportChart::kInterval;  // where it is drawn
};

struct ReportInput {
    std::string title;  // the page's heading, usually the file name
    ReportSeries a;
    std::optional<ReportSeries> b;  // when comparing
    std::string nameA = "A";        // the legend's names of the two recordings
    std::string nameB = "B";
    std::vector<TrackRecord> tracks;  // of A, from the summary
    std::vector<TrackRecord> tracksB;
    std::vector<TrackCheck> checks;  // Checker::Finish() of A; may be empty
    std::vector<TrackCheck> checksB;
    std::vector<ReportMark> marks;
};

// The page lists and marks at most this many marks and findings (the marks
// first, then A's findings, then B's); the rest are counted.
constexpr size_t kReportListed = 2000;
// A polyline of a chart has at most this many points, besides those of marks.
constexpr size_t kReportPointsPerLine = 1500;

void WriteReportPage(std::ostream& out, const ReportInput& input);

// Appends text for HTML content or a quoted attribute value: & < > " ' as
// references, well-formed UTF-8 as it is, a control character as its picture
// (U+2400 on), and a byte of no well-formed sequence as the character of that
// number (a stray 0xE9 shows as U+00E9, as the JSON report reads it).
void AppendHtmlEscaped(std::string& out, std::string_view text);

}  // namespace ZENT::SDK::Analysis

#endif

// The check section the tool prints after the summary: a few "check track N"
// lines of figures per track, one "finding:" line per finding, and a total.
#ifndef STAMPWALK_ANALYSIS_CHECKSECTION_H
#define STAMPWALK_ANALYSIS_CHECKSECTION_H

#include <ostream>
#include <vector>

#include "analysis/Checks.h"

namespace ZENT::SDK::Analysis {

// finding: <check> track <n> frame <index> time <t> s: <message>
// ("time <t> s" is left out when the track has no basis time).
void WriteFinding(std::ostream& out, const Finding& finding, TimeBasis basis);

void WriteCheckSection(std::ostream& out, const std::vector<TrackCheck>& tracks);

// check: in progress, <n> complete chunks, <samples> samples up to <time> ms, <bytes> bytes not complete yet
void WriteProgressLine(std::ostream& out, const RecordingProgress& progress);

}  // namespace ZENT::SDK::Analysis

#endif

// The comparison section the tool prints for two recordings: per track pair
// one "difference:" line per difference and a line of counts, then the
// differences of unpaired tracks and a total.
#ifndef STAMPWALK_ANALYSIS_COMPARESECTION_H
#define STAMPWALK_ANALYSIS_COMPARESECTION_H

#include <ostream>

#include "analysis/Comparison.h"

namespace ZENT::SDK::Analysis {

// difference: <kind> track <a>/<b> frame <index a>/<index b> time <time a>/<time b> s: <message>
// ("-" where a side has none; times in seconds with six places).
void WriteDifference(std::ostream& out, const Difference& difference);

// compare track <a>/<b> <codec>: frames <a>/<b>, paired <n>, only in A <n>, ..., gop <n>[, re-encoded]
void WriteTrackComparison(std::ostream& out, const TrackComparison& track);

// "Compare:", the lines above, and "compare: <n> differences in <m> track pairs".
void WriteCompareSection(std::ostream& out, const ComparisonResult& result);

}  // namespace ZENT::SDK::Analysis

#endif

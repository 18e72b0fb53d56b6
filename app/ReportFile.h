// Writes the HTML report of a run to the file --report names.
#ifndef STAMPWALK_APP_REPORTFILE_H
#define STAMPWALK_APP_REPORTFILE_H

#include <vector>

#include "analysis/Checks.h"
#include "analysis/ReportData.h"
#include "analysis/ReportPage.h"
#include "app/RunOptions.h"

// The page of one recording, its findings marked. A file that cannot be
// written is reported on standard error.
void WriteReportFile(const RunOptions& options, ZENT::SDK::Analysis::ReportSeries series,
                     const std::vector<ZENT::SDK::Analysis::TrackRecord>& tracks,
                     const std::vector<ZENT::SDK::Analysis::TrackCheck>& checks);

// The page of a comparison.
void WriteReportFile(const RunOptions& options, const ZENT::SDK::Analysis::ReportInput& input);

#endif

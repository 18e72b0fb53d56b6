// What a run gives besides its text lines: the checks over the frame records
// and the machine-readable writers, the check section or the closing objects,
// and the run's verdict as an exit code.
#ifndef STAMPWALK_APP_RUNREPORT_H
#define STAMPWALK_APP_RUNREPORT_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "analysis/Checks.h"
#include "analysis/Csv.h"
#include "analysis/FrameRecord.h"
#include "analysis/JsonLines.h"
#include "analysis/ReportData.h"
#include "app/RunOptions.h"
#include "app/RunSink.h"

class RunReport : public RunSink {
public:
    RunReport(const RunOptions& options, std::ostream& out);

    void Frame(const ZENT::SDK::Analysis::FrameRecord& frame) override;
    // The check lists the tracks in the order they are given.
    void Tracks(const std::vector<ZENT::SDK::Analysis::TrackRecord>& tracks) override;
    void Progress(const ZENT::SDK::Analysis::RecordingProgress& progress) override;

    // Text with --check: the check section. JSON: the track, finding and
    // result objects. With --report, the page. Then the verdict is known.
    void Finish();

    // With --check: 0 no finding, 1 findings, 2 not readable as a recording;
    // 0 without.
    int ExitCode() const;

private:
    const RunOptions& options_;
    std::ostream& out_;
    std::optional<ZENT::SDK::Analysis::Checker> checker_;
    std::optional<ZENT::SDK::Analysis::JsonLinesWriter> json_;
    std::optional<ZENT::SDK::Analysis::CsvWriter> csv_;
    std::optional<ZENT::SDK::Analysis::ReportSeries> series_;  // with --report
    std::vector<ZENT::SDK::Analysis::TrackRecord> tracks_;
    std::optional<ZENT::SDK::Analysis::RecordingProgress> progress_;
    uint64_t frames_ = 0;
    ZENT::SDK::Analysis::RunStatus status_ = ZENT::SDK::Analysis::RunStatus::kOk;
};

#endif

#include "app/RunReport.h"

#include "analysis/CheckSection.h"
#include "app/ReportFile.h"

namespace Analysis = ZENT::SDK::Analysis;

RunReport::RunReport(const RunOptions& options, std::ostream& out) : options_(options), out_(out) {
    // The report marks the findings of the checks whether or not --check asked for them.
    if (options.check || options.reportPath) checker_.emplace(options.tolerances);
    if (options.reportPath) series_.emplace();
    if (options.format == OutputFormat::kJson) json_.emplace(out);
    if (options.format == OutputFormat::kCsv) csv_.emplace(out);
}

void RunReport::Frame(const Analysis::FrameRecord& frame) {
    ++frames_;
    if (checker_) checker_->AddFrame(frame);
    if (json_) json_->WriteFrame(frame);
    if (csv_) csv_->WriteFrame(frame);
    if (series_) series_->AddFrame(frame);
}

void RunReport::Tracks(const std::vector<Analysis::TrackRecord>& tracks) {
    tracks_ = tracks;
    if (checker_) {
        for (const Analysis::TrackRecord& track : tracks) checker_->AddTrack(track);
    }
}

void RunReport::Progress(const Analysis::RecordingProgress& progress) { progress_ = progress; }

void RunReport::Finish() {
    std::vector<Analysis::TrackCheck> checks;
    if (checker_) checks = checker_->Finish();
    if (series_) WriteReportFile(options_, std::move(*series_), tracks_, checks);
    if (!options_.check) checks.clear();
    const std::vector<Analysis::Finding> findings = Analysis::AllFindings(checks);
    const uint64_t findingTotal = Analysis::FindingTotal(checks);

    const bool readable = frames_ > 0 || (progress_ && progress_->completeChunks > 0);
    if (!readable) {
        status_ = Analysis::RunStatus::kUnreadable;
    } else if (findingTotal > 0) {
        status_ = Analysis::RunStatus::kFindings;
    } else if (progress_) {
        status_ = Analysis::RunStatus::kInProgress;
    } else {
        status_ = Analysis::RunStatus::kOk;
    }

    if (options_.Text() && options_.check) {
        // The fallback run leaves the stream printing integers in hexadecimal.
        out_ << std::dec;
        Analysis::WriteCheckSection(out_, checks);
        if (progress_) Analysis::WriteProgressLine(out_, *progress_);
        if (!readable) out_ << "check: not readable as a recording\n";
    }
    if (json_) {
        for (const Analysis::TrackRecord& track : tracks_) json_->WriteTrack(track);
        for (const Analysis::Finding& finding : findings) json_->WriteFinding(finding);
        Analysis::RunResult result;
        result.status = status_;
        result.checked = options_.check;
        result.frames = frames_;
        result.tracks = tracks_.size();
        result.findings = findingTotal;
        result.progress = progress_;
        json_->WriteResult(result);
    }
    out_.flush();
}

int RunReport::ExitCode() const {
    if (!options_.check) return 0;
    switch (status_) {
        case Analysis::RunStatus::kUnreadable: return 2;
        case Analysis::RunStatus::kFindings: return 1;
        case Analysis::RunStatus::kOk:
        case Analysis::RunStatus::kInProgress: break;
    }
    return 0;
}

#include "app/CompareRun.h"

#include <cmath>
#include <optional>

#include "analysis/CompareSection.h"
#include "analysis/JsonLines.h"
#include "app/FallbackReport.h"
#include "app/MediaReaderRun.h"
#include "app/ReportFile.h"

namespace Analysis = ZENT::SDK::Analysis;

Analysis::CompareTrack& CompareCollector::TrackOf(uint32_t number, const std::string& codec, bool video) {
    for (Analysis::CompareTrack& track : tracks_) {
        if (track.track == number) return track;
    }
    Analysis::CompareTrack& track = tracks_.emplace_back();
    track.track = number;
    track.codec = codec;
    track.video = video;
    times_.emplace_back();
    return track;
}

void CompareCollector::Tracks(const std::vector<Analysis::TrackRecord>& tracks) {
    trackRecords_ = tracks;
    for (const Analysis::TrackRecord& record : tracks) TrackOf(record.track, record.codec, record.video);
}

void CompareCollector::Progress(const Analysis::RecordingProgress& progress) {
    completeChunks_ = progress.completeChunks;
}

void CompareCollector::Frame(const Analysis::FrameRecord& frame) {
    ++frames_;
    if (series_ != nullptr) series_->AddFrame(frame);
    Analysis::CompareTrack& track = TrackOf(frame.track, frame.codec, frame.video);
    TrackTime& time = times_[size_t(&track - tracks_.data())];
    if (track.codec.empty()) track.codec = frame.codec;

    // Microseconds of the kind of time the track's first frame had.
    const auto microseconds = [&frame](TimeKind kind) -> std::optional<int64_t> {
        switch (kind) {
            case TimeKind::kDecode:
                if (!frame.decodeTime || frame.decodeTime->timescale == 0) return std::nullopt;
                return std::llround(static_cast<double>(frame.decodeTime->value) * 1e6 / frame.decodeTime->timescale);
            case TimeKind::kStream:
                if (!frame.streamTime) return std::nullopt;
                return *frame.streamTime * 1000;
            case TimeKind::kRecord:
                if (!frame.recordTime) return std::nullopt;
                return *frame.recordTime * 1000;
            case TimeKind::kCamera:
                if (!frame.cameraTime) return std::nullopt;
                return *frame.cameraTime * 1000;
            case TimeKind::kNone: break;
        }
        return std::nullopt;
    };
    if (track.frames.empty()) {
        for (const TimeKind kind : {TimeKind::kDecode, TimeKind::kStream, TimeKind::kRecord, TimeKind::kCamera}) {
            if (const std::optional<int64_t> first = microseconds(kind)) {
                time.kind = kind;
                time.firstMicroseconds = *first;
                break;
            }
        }
    }

    Analysis::CompareFrame& kept = track.frames.emplace_back();
    kept.index = track.frames.size() - 1;
    if (const std::optional<int64_t> now = microseconds(time.kind)) {
        kept.time = *now - time.firstMicroseconds;
        kept.timed = true;
    }
    kept.payloadCrc32 = frame.payloadCrc32;
    kept.size = frame.payloadBytes;
    kept.diAlert = frame.diAlert;
    kept.motion = frame.motion;
    kept.key = frame.key;
    kept.frameType = frame.frameType;
}

void CollectRecording(const RunOptions& options, const std::string& pathname, RunSink& sink) {
    RunOptions silent = options;
    silent.pathname = pathname;
    silent.format = OutputFormat::kJson;  // collects, prints nothing
    silent.check = false;
    silent.compareWith.reset();
    if (ParseWithAVReader(silent, sink) < 0) ViewWhileRec(silent, sink);
}

namespace {

Analysis::ReportChart ChartOf(const std::string& kind) {
    if (kind == "payload" || kind == "key" || kind == "gop" || kind == "re-encoded")
        return Analysis::ReportChart::kSize;
    if (kind == "alert" || kind == "motion") return Analysis::ReportChart::kActivity;
    return Analysis::ReportChart::kInterval;
}

// Each difference as a mark on the recording whose frame it names (A where both do).
std::vector<Analysis::ReportMark> MarksOf(const std::vector<Analysis::Difference>& differences) {
    std::vector<Analysis::ReportMark> marks;
    for (const Analysis::Difference& difference : differences) {
        Analysis::ReportMark& mark = marks.emplace_back();
        mark.fromB = !difference.indexA && (difference.indexB || difference.trackA == 0);
        mark.track = mark.fromB ? difference.trackB : difference.trackA;
        mark.index = mark.fromB ? difference.indexB : difference.indexA;
        mark.kind = difference.kind;
        mark.message = difference.message;
        mark.chart = ChartOf(difference.kind);
    }
    return marks;
}

}  // namespace

int RunComparison(const RunOptions& options, std::ostream& out) {
    std::optional<Analysis::ReportInput> report;
    if (options.reportPath) {
        report.emplace();
        report->b.emplace();
    }
    CompareCollector a(report ? &report->a : nullptr);
    CompareCollector b(report ? &*report->b : nullptr);
    CollectRecording(options, options.pathname, a);
    CollectRecording(options, *options.compareWith, b);
    const bool readable = a.Readable() && b.Readable();
    Analysis::ComparisonResult result;
    if (readable) result = Analysis::Compare(a.Result(), b.Result());

    if (report) {
        report->title = options.pathname + " against " + *options.compareWith;
        report->nameA = options.pathname;
        report->nameB = *options.compareWith;
        report->tracks = a.TrackRecords();
        report->tracksB = b.TrackRecords();
        report->marks = MarksOf(result.differences);
        WriteReportFile(options, *report);
    }

    if (options.Text()) {
        if (!a.Readable()) out << "compare: " << options.pathname << " is not readable as a recording\n";
        if (!b.Readable()) out << "compare: " << *options.compareWith << " is not readable as a recording\n";
        if (readable) Analysis::WriteCompareSection(out, result);
    } else if (options.format == OutputFormat::kJson) {
        Analysis::JsonLinesWriter json(out);
        for (const Analysis::Difference& difference : result.differences) json.WriteDifference(difference);
        json.WriteComparisonResult(!readable        ? "unreadable"
                                   : result.differs ? "differences"
                                                    : "same",
                                   a.Frames(), b.Frames(), result.differences.size());
    }
    out.flush();
    if (!readable) return 2;
    return result.differs ? 1 : 0;
}

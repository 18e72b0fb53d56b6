#include "app/CompareRun.h"

#include <cmath>

#include "analysis/CompareSection.h"
#include "analysis/JsonLines.h"
#include "app/FallbackReport.h"
#include "app/MediaReaderRun.h"

namespace Analysis = ZENT::SDK::Analysis;

Analysis::CompareTrack& CompareCollector::TrackOf(const Analysis::FrameRecord& frame) {
    for (Analysis::CompareTrack& track : tracks_) {
        if (track.track == frame.track) return track;
    }
    Analysis::CompareTrack& track = tracks_.emplace_back();
    track.track = frame.track;
    track.codec = frame.codec;
    track.video = frame.video;
    times_.emplace_back();
    return track;
}

void CompareCollector::Tracks(const std::vector<Analysis::TrackRecord>& tracks) {
    for (const Analysis::TrackRecord& record : tracks) {
        bool known = false;
        for (const Analysis::CompareTrack& track : tracks_) known = known || track.track == record.track;
        if (known) continue;
        Analysis::CompareTrack& track = tracks_.emplace_back();
        track.track = record.track;
        track.codec = record.codec;
        track.video = record.video;
        times_.emplace_back();
    }
}

void CompareCollector::Progress(const Analysis::RecordingProgress& progress) {
    completeChunks_ = progress.completeChunks;
}

void CompareCollector::Frame(const Analysis::FrameRecord& frame) {
    ++frames_;
    Analysis::CompareTrack& track = TrackOf(frame);
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

int RunComparison(const RunOptions& options, std::ostream& out) {
    CompareCollector a;
    CompareCollector b;
    CollectRecording(options, options.pathname, a);
    CollectRecording(options, *options.compareWith, b);
    const bool readable = a.Readable() && b.Readable();
    Analysis::ComparisonResult result;
    if (readable) result = Analysis::Compare(a.Result(), b.Result());

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

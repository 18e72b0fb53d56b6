// The comparison run: both recordings read through whichever reader opens
// each, their frames aligned track by track, and the differences printed as
// a section or as JSON Lines.
#ifndef STAMPWALK_APP_COMPARERUN_H
#define STAMPWALK_APP_COMPARERUN_H

#include <ostream>
#include <string>
#include <vector>

#include "analysis/Comparison.h"
#include "analysis/ReportData.h"
#include "app/RunOptions.h"
#include "app/RunSink.h"

// Keeps what the comparison needs of every frame of one recording: a
// CompareFrame per frame, its time on the first frame's kind of time (decode
// time, else stream, record, camera time) from the track's first frame.
class CompareCollector : public RunSink {
public:
    // With a series, every frame goes to it too, for the report.
    explicit CompareCollector(ZENT::SDK::Analysis::ReportSeries* series = nullptr) : series_(series) {}

    void Frame(const ZENT::SDK::Analysis::FrameRecord& frame) override;
    void Tracks(const std::vector<ZENT::SDK::Analysis::TrackRecord>& tracks) override;
    void Progress(const ZENT::SDK::Analysis::RecordingProgress& progress) override;

    const std::vector<ZENT::SDK::Analysis::CompareTrack>& Result() const { return tracks_; }
    // A packet was handed out or a complete chunk exists.
    bool Readable() const { return frames_ > 0 || completeChunks_ > 0; }
    uint64_t Frames() const { return frames_; }
    const std::vector<ZENT::SDK::Analysis::TrackRecord>& TrackRecords() const { return trackRecords_; }

private:
    enum class TimeKind : uint8_t { kNone, kDecode, kStream, kRecord, kCamera };
    struct TrackTime {
        TimeKind kind = TimeKind::kNone;
        int64_t firstMicroseconds = 0;
    };

    // The track of that number, added with the codec and kind when new.
    ZENT::SDK::Analysis::CompareTrack& TrackOf(uint32_t number, const std::string& codec, bool video);

    ZENT::SDK::Analysis::ReportSeries* series_;
    std::vector<ZENT::SDK::Analysis::TrackRecord> trackRecords_;
    std::vector<ZENT::SDK::Analysis::CompareTrack> tracks_;  // in track number order
    std::vector<TrackTime> times_;                           // beside tracks_
    uint64_t frames_ = 0;
    uint32_t completeChunks_ = 0;
};

// Reads one recording as the run would, printing nothing.
void CollectRecording(const RunOptions& options, const std::string& pathname, RunSink& sink);

// Reads both recordings, writes the comparison to out (the section, or JSON
// Lines with --format json) and gives the exit code: 0 nothing differs, 1
// differences, 2 either file is not readable as a recording.
int RunComparison(const RunOptions& options, std::ostream& out);

#endif

// Where a run over either reader hands what it read besides its text lines:
// the frame records, the tracks of the summary, and how far a recording in
// progress could be read.
#ifndef STAMPWALK_APP_RUNSINK_H
#define STAMPWALK_APP_RUNSINK_H

#include <vector>

#include "analysis/FrameRecord.h"

class RunSink {
public:
    virtual ~RunSink() = default;

    virtual void Frame(const ZENT::SDK::Analysis::FrameRecord& frame) = 0;
    // Given before the frames where the reader knows the tracks beforehand.
    virtual void Tracks(const std::vector<ZENT::SDK::Analysis::TrackRecord>& tracks) = 0;
    // The run went through the reader of recordings in progress.
    virtual void Progress(const ZENT::SDK::Analysis::RecordingProgress& progress) = 0;
};

#endif

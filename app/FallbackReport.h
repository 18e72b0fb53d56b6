// The fallback run over the view-while-recording reader, for recordings the
// media reader cannot open: its status lines and its own two frame-line
// formats, without alert or motion values.
#ifndef STAMPWALK_APP_FALLBACKREPORT_H
#define STAMPWALK_APP_FALLBACKREPORT_H

#include <cstdint>
#include <string>

#include "app/FrameReport.h"
#include "app/RunOptions.h"
#include "app/RunSink.h"
#include "isom/AVReader.h"

// The status lines and frame lines go to standard output in a text run; the
// frames, the tracks and how far the recording could be read go to the
// report when the options collect them. A key given without an identifier
// (else the first one given) decrypts a protected recording.
void ViewWhileRec(const RunOptions& options, RunSink& report);

// The frame lines of the fallback run. Camera time takes localSeconds, and
// the two words print unsigned.
class FallbackFrameReport : public FrameLineReport {
public:
    explicit FallbackFrameReport(int32_t timeType);

    std::string BuildLine(const TMediaPacket& packet) override;
};

#endif

// The fallback run over the view-while-recording reader, for recordings the
// media reader cannot open: its status lines and its own two frame-line
// formats, without alert or motion values.
#ifndef STAMPWALK_APP_FALLBACKREPORT_H
#define STAMPWALK_APP_FALLBACKREPORT_H

#include <cstdint>
#include <string>

#include "app/FrameReport.h"
#include "isom/AVReader.h"

void ViewWhileRec(const std::string& pathname, int32_t timeType);

// The frame lines of the fallback run. Camera time takes localSeconds, and
// the two words print unsigned.
class FallbackFrameReport : public FrameLineReport {
public:
    explicit FallbackFrameReport(int32_t timeType);

    std::string BuildLine(const TMediaPacket& packet) override;
};

#endif

// The fallback run over the view-while-recording reader, for recordings the
// media reader cannot open: its status lines and its own two frame-line
// formats, without alert or motion values.
#ifndef STAMPWALK_APP_FALLBACKREPORT_H
#define STAMPWALK_APP_FALLBACKREPORT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <boost/format.hpp>

#include "isom/AVReader.h"
#include "app/FrameReport.h"
#include "app/FrameTime.h"

void ViewWhileRec(const std::string& pathname, int32_t timeType);

// The frame lines of the fallback run. Camera time takes localSeconds, and
// the two words print unsigned.
class FallbackFrameReport {
public:
    explicit FallbackFrameReport(int32_t timeType);

    std::string BuildLine(const TMediaPacket& packet);
    // Applies the running-minimum test and prints the line, flushed; false
    // when the test ends the run.
    bool Report(const TMediaPacket& packet, std::ostream& out);

private:
    int32_t timeType_;
    RunningMinimum minimum_;
    std::vector<FrameTime> frameTimes_;
    boost::format timedLine_;
    boost::format untimedLine_;
};

#endif

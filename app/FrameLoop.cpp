#include "app/FrameLoop.h"

#include "app/FrameReport.h"

void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream& out) {
    reader.SeekTime(0, 0);
    MediaReaderFrameReport report(timeType);
    // Reset before every read, so that a success without a packet ends the
    // loop instead of reporting the previous packet again.
    TMediaPacket* packet = nullptr;
    if (reader.ReadPacket(&packet) != kReaderOk) return;
    while (packet != nullptr) {
        if (!report.Report(*packet, out)) return;
        packet = nullptr;
        if (reader.ReadPacket(&packet) != kReaderOk) return;
    }
}

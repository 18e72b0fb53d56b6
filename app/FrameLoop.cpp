#include "app/FrameLoop.h"

#include "app/FrameReport.h"

namespace {

bool Continues(int32_t status, bool integrityStatuses) {
    return status == kReaderOk || (integrityStatuses && (status == kNoCheckValue || status == kCheckMismatch));
}

}  // namespace

void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream& out) {
    RunFrameLoop(reader, timeType, &out, PacketObserver(), false);
}

void RunFrameLoop(AVReader& reader, int32_t timeType, std::ostream* out, const PacketObserver& observer,
                  bool integrityStatuses) {
    reader.SeekTime(0, 0);
    MediaReaderFrameReport report(timeType);
    // Reset before every read, so that a success without a packet ends the
    // loop instead of reporting the previous packet again.
    TMediaPacket* packet = nullptr;
    int32_t status = reader.ReadPacket(&packet);
    while (Continues(status, integrityStatuses) && packet != nullptr) {
        if (!report.Report(*packet, out)) return;
        if (observer) observer(*packet, status);
        packet = nullptr;
        status = reader.ReadPacket(&packet);
    }
}

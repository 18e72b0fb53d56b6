#include "app/FallbackReport.h"

#include <iostream>

#include "viewwhilerecording/ViewWhileRec.h"

FallbackFrameReport::FallbackFrameReport(int32_t timeType)
    : FrameLineReport(timeType, "Stream:%s Frame:%c %u.%03u %02u %u CRC32:%08X Size:%u",
                      "Stream:%s Frame:%c NO StreamingTime CRC32:%08X Size:%u") {}

// The words go in as unsigned 16-bit values: -3600 prints as 61936.
std::string FallbackFrameReport::BuildLine(const TMediaPacket& packet) {
    return LineUpToSize<uint16_t>(packet, uint32_t(packet.localSeconds)).str();
}

void ViewWhileRec(const std::string& pathname, int32_t timeType) {
    VIEWWHILEREC_HANDLE parser = nullptr;
    int32_t status = VIEWWHILEREC_InitParser(&parser, pathname.c_str());
    // Statuses print as their 32-bit pattern in lower-case hexadecimal; the
    // stream stays in that mode, which nothing printed later depends on.
    std::cout << "ViewWhileRec - VIEWWHILEREC_InitParser scRet: " << std::hex << uint32_t(status) << std::endl;
    if (status != kOk) return;

    FallbackFrameReport report(timeType);
    for (;;) {
        TMediaPacket* packet = nullptr;
        status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
        if (status != kOk) {
            std::cout << "ViewWhileRec - VIEWWHILEREC_OutputRawPacket scRet: " << std::hex << uint32_t(status)
                      << std::endl;
            break;
        }
        if (!packet || !report.Report(*packet, std::cout)) break;
    }
    // Nothing is printed for it, but the parser is not left to the process's end.
    VIEWWHILEREC_ReleaseParser(&parser);
}

#include "app/FallbackReport.h"

#include <iostream>

#include "viewwhilerecording/ViewWhileRec.h"

FallbackFrameReport::FallbackFrameReport(int32_t timeType)
    : timeType_(timeType),
      timedLine_("Stream:%s Frame:%c %u.%03u %02u %u CRC32:%08X Size:%u"),
      untimedLine_("Stream:%s Frame:%c NO StreamingTime CRC32:%08X Size:%u") {}

std::string FallbackFrameReport::BuildLine(const TMediaPacket& packet) {
    const CodecAndFrameType codec = GetCodecAndFrameType(packet);
    const uint32_t crc = PacketCrc32(packet);

    CollectFrameTime(packet, timeType_, uint32_t(packet.localSeconds), frameTimes_);

    // The words go in as unsigned 16-bit values: -3600 prints as 61936.
    const bool timed = !frameTimes_.empty();
    boost::format& line = timed ? timedLine_ : untimedLine_;
    line.clear();
    line % codec.codecName % codec.frameLetter;
    if (timed) {
        const FrameTime& time = frameTimes_.front();
        line % time.seconds % time.milliseconds % time.word1 % time.word2;
    }
    line % crc % packet.payloadSize;
    return line.str();
}

bool FallbackFrameReport::Report(const TMediaPacket& packet, std::ostream& out) {
    if (!minimum_.Admit(packet.seconds)) return false;
    out << BuildLine(packet) << std::endl;
    return true;
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

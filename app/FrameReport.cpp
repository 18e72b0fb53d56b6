#include "app/FrameReport.h"

#include "common/CodecTables.h"
#include "common/Crc32.h"

namespace {

constexpr char kFrameLetters[] = {'I', 'P', 'B'};  // indexed by frame type
constexpr uint32_t kLargestForwardStep = 0x7FFFFFFF;

}  // namespace

int32_t MotionValue(const TMediaPacket& packet, int window) {
    return packet.motionWindowAlert[window] != 0 ? int32_t(packet.motionLevel[window]) : 0;
}

CodecAndFrameType GetCodecAndFrameType(const TMediaPacket& packet) {
    const bool known = packet.frameType >= 0 && packet.frameType < int32_t(sizeof(kFrameLetters));
    return {ZENT::SDK::Utility::CodecName(packet.codecType), known ? kFrameLetters[packet.frameType] : '?'};
}

uint32_t PacketCrc32(const TMediaPacket& packet) {
    return ZENT::SDK::Utility::Crc32(packet.frameData, size_t(packet.headerSize) + size_t(packet.payloadSize));
}

bool RunningMinimum::Admit(uint32_t seconds) {
    if (seconds < minimum_) {
        minimum_ = seconds;
        return true;
    }
    return seconds - minimum_ <= kLargestForwardStep;
}

bool FrameLineReport::Report(const TMediaPacket& packet, std::ostream& out) { return Report(packet, &out); }

bool FrameLineReport::Report(const TMediaPacket& packet, std::ostream* out) {
    if (!minimum_.Admit(packet.seconds)) return false;
    if (out != nullptr) *out << BuildLine(packet) << std::endl;
    return true;
}

MediaReaderFrameReport::MediaReaderFrameReport(int32_t timeType)
    : FrameLineReport(timeType,
                      "Stream:%s Frame:%c %u.%03u %hd %hd CRC32:%08X Size:%u DI alert: %u "
                      "motionWin1: %u%% motionWin2: %u%% motionWin3: %u%%",
                      "Stream:%s Frame:%c NO TIME INFO CRC32:%08X Size:%u DI alert: %u "
                      "motionWin1: %u%% motionWin2: %u%% motionWin3: %u%%") {}

// The two words of the time print signed.
std::string MediaReaderFrameReport::BuildLine(const TMediaPacket& packet) {
    boost::format& line = LineUpToSize<int16_t>(packet, packet.seconds);
    line % packet.diAlert % MotionValue(packet, 0) % MotionValue(packet, 1) % MotionValue(packet, 2);
    return line.str();
}

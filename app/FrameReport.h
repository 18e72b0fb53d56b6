// The per-packet steps of the frame report (running minimum, codec name and
// frame letter, CRC-32, time) and the two line formats of the media-reader run.
#ifndef STAMPWALK_APP_FRAMEREPORT_H
#define STAMPWALK_APP_FRAMEREPORT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <boost/format.hpp>

#include "isom/AVReader.h"
#include "app/FrameTime.h"

struct CodecAndFrameType {
    const char* codecName;  // "????" for a codec type without a name
    char frameLetter;       // 'I', 'P', 'B', or '?' for any other frame type
};

CodecAndFrameType GetCodecAndFrameType(const TMediaPacket& packet);

// CRC-32 over the frame-information header and the payload together.
uint32_t PacketCrc32(const TMediaPacket& packet);

// The stop test of a run: a packet is reported unless its seconds lie more
// than 0x7FFFFFFF above the smallest seconds seen so far. Times that go back
// are reported and lower the minimum.
class RunningMinimum {
public:
    // False when the run ends here (the packet is not reported).
    bool Admit(uint32_t seconds);
    uint32_t Minimum() const { return minimum_; }

private:
    uint32_t minimum_ = 0xFFFFFFFF;
};

// The report of the media-reader run: one line per packet with the time of
// the chosen type, the CRC, the size, the digital-input alert and the three
// motion windows. The two line formats are parsed once and re-fed per line.
class MediaReaderFrameReport {
public:
    explicit MediaReaderFrameReport(int32_t timeType);

    // The frame line of one packet, without its line end.
    std::string BuildLine(const TMediaPacket& packet);

    // Applies the running-minimum test and prints the packet's line, flushed.
    // False when the test ends the run; nothing is printed then.
    bool Report(const TMediaPacket& packet, std::ostream& out);

private:
    int32_t timeType_;
    RunningMinimum minimum_;
    std::vector<FrameTime> frameTimes_;  // emptied for every packet
    boost::format timedLine_;
    boost::format untimedLine_;
};

#endif

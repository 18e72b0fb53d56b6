// The per-packet steps of the frame report (running minimum, codec name and
// frame letter, CRC-32, time) and the two line formats of the media-reader run.
#ifndef STAMPWALK_APP_FRAMEREPORT_H
#define STAMPWALK_APP_FRAMEREPORT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <boost/format.hpp>

#include "app/FrameTime.h"
#include "isom/AVReader.h"

struct CodecAndFrameType {
    const char* codecName;  // "????" for a codec type without a name
    char frameLetter;       // 'I', 'P', 'B', or '?' for any other frame type
};

CodecAndFrameType GetCodecAndFrameType(const TMediaPacket& packet);

// A motion window's level, counted only while its alert is raised. A 32-bit
// integer: an 8-bit value would be printed as a character.
int32_t MotionValue(const TMediaPacket& packet, int window);

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

// What the frame reports of both runs share: the stop test and a line of
// the packet's codec and frame letter, its time of the chosen type, the CRC
// and the size, in one of two formats (with and without a time) that are
// parsed once and re-fed per line.
class FrameLineReport {
public:
    virtual ~FrameLineReport() = default;

    // The frame line of one packet, without its line end.
    virtual std::string BuildLine(const TMediaPacket& packet) = 0;

    // Applies the running-minimum test and prints the packet's line, flushed.
    // False when the test ends the run; nothing is printed then.
    bool Report(const TMediaPacket& packet, std::ostream& out);
    // The same without a line when out is null.
    bool Report(const TMediaPacket& packet, std::ostream* out);

protected:
    FrameLineReport(int32_t timeType, const char* timedLine, const char* untimedLine)
        : timeType_(timeType), timedLine_(timedLine), untimedLine_(untimedLine) {}

    // The line up to the size; camera time takes cameraSeconds. boost::format
    // converts by the argument's type, so Word decides how the two words of
    // the time print.
    template <typename Word>
    boost::format& LineUpToSize(const TMediaPacket& packet, uint32_t cameraSeconds) {
        const CodecAndFrameType codec = GetCodecAndFrameType(packet);
        const uint32_t crc = PacketCrc32(packet);

        CollectFrameTime(packet, timeType_, cameraSeconds, frameTimes_);

        const bool timed = !frameTimes_.empty();
        boost::format& line = timed ? timedLine_ : untimedLine_;
        line.clear();
        line % codec.codecName % codec.frameLetter;
        if (timed) {
            const FrameTime& time = frameTimes_.front();
            line % time.seconds % time.milliseconds % Word(time.word1) % Word(time.word2);
        }
        line % crc % packet.payloadSize;
        return line;
    }

private:
    int32_t timeType_;
    RunningMinimum minimum_;
    std::vector<FrameTime> frameTimes_;  // emptied for every packet
    boost::format timedLine_;
    boost::format untimedLine_;
};

// The report of the media-reader run: one line per packet with the time of
// the chosen type, the CRC, the size, the digital-input alert and the three
// motion windows.
class MediaReaderFrameReport : public FrameLineReport {
public:
    explicit MediaReaderFrameReport(int32_t timeType);

    std::string BuildLine(const TMediaPacket& packet) override;
};

#endif

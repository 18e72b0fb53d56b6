// Turns the packets of either run into the plain frame records of the checks
// and writers: track number and index, codec and frame letter, the coded
// type from the slice headers, the container's times, all three camera times,
// both CRCs, alert and motion levels.
#ifndef STAMPWALK_APP_FRAMECOLLECTOR_H
#define STAMPWALK_APP_FRAMECOLLECTOR_H

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/FrameRecord.h"
#include "app/FrameTime.h"
#include "common/CodedFrame.h"
#include "isom/AVReader.h"
#include "isom/PacketOrigin.h"

// A track record of the codec type: its name and whether it is video.
ZENT::SDK::Analysis::TrackRecord TrackRecordOf(uint32_t number, uint32_t codecType);

class FrameCollector {
public:
    using Sink = std::function<void(const ZENT::SDK::Analysis::FrameRecord&)>;

    // The two CRCs are worked out only withCrcs: the checks do not read them.
    FrameCollector(Sink sink, bool withCrcs) : sink_(std::move(sink)), withCrcs_(withCrcs) {}

    // The media-reader run: one track per entry of the reader's track list,
    // its slice parser seeded with the track's decoder configuration.
    void BeginTracks(AVReader& reader);
    // A packet ReadPacket handed out with status; the integrity outcome is
    // taken from the status when integrityRan.
    void AddMediaReaderPacket(AVReader& reader, const TMediaPacket& packet, int32_t status, bool integrityRan);
    // The summary's tracks: codec, sample count and duration as it prints them.
    static std::vector<ZENT::SDK::Analysis::TrackRecord> MediaReaderTracks(AVReader& reader);

    // The fallback run: one track per codec tag of the chunks, numbered in
    // the order they first hand out a packet; camera time is the local time
    // the line prints.
    void AddFallbackPacket(const TMediaPacket& packet, uint32_t tag);
    // The fallback run's tracks in number order: their tags and the codec
    // type of their first packet.
    const std::vector<std::pair<uint32_t, uint32_t>>& FallbackTracks() const { return fallbackTracks_; }

    uint64_t Frames() const { return frames_; }

private:
    struct Track {
        uint64_t nextIndex = 0;
        uint32_t codecType = UINT32_MAX;  // of the last frame, whose kind follows
        bool video = false;
        std::unique_ptr<ZENT::SDK::Utility::CodedFrameParser> parser;  // H.264 and HEVC only
    };

    Track& FallbackTrack(uint32_t tag, uint32_t codecType, uint32_t& number);
    void Fill(const TMediaPacket& packet, uint32_t cameraSeconds, Track& track);

    Sink sink_;
    bool withCrcs_;
    std::vector<Track> tracks_;
    std::vector<std::pair<uint32_t, uint32_t>> fallbackTracks_;
    ZENT::SDK::Analysis::FrameRecord record_;  // reused for every frame
    std::vector<FrameTime> times_;
    uint64_t frames_ = 0;
};

#endif

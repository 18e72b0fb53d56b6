// The choice of the track that hands out the next packet. A recording in
// progress may hold one track per chunk, so the tracks are not all asked for
// every packet: those with a pending packet stay ordered by its time, and a
// track that had nothing to give is asked again only after something that can
// change its answer happened to it.
#ifndef STAMPWALK_VIEWWHILERECORDING_PACKETSELECTOR_H
#define STAMPWALK_VIEWWHILERECORDING_PACKETSELECTOR_H

#include <cstdint>
#include <map>
#include <set>
#include <utility>

#include <boost/shared_ptr.hpp>

#include "viewwhilerecording/TrackCursor.h"

namespace ZENT::SDK::ViewWhileRecording {

using TrackTable = std::map<uint32_t, boost::shared_ptr<TrackInfo>>;

class PacketSelector {
public:
    struct Selection {
        int32_t status = 0;
        uint32_t tag = 0;  // the chosen track's, when status is 0
    };

    // The track's answer may no longer be the one known: the track is new,
    // got packets, was sought, or its pending packet was taken or dropped.
    void Invalidate(uint32_t tag);
    // Every track of the table, as after a seek.
    void InvalidateAll(const TrackTable& tracks);

    // Tracks without a pending packet are asked for one (TrackNextForward or
    // TrackNextBackward). Forward (direction 1) the earliest pending packet
    // wins, backward the latest; at equal times the smaller tag. With no
    // pending packet anywhere, the status of the track with the largest tag.
    // The chosen track keeps its pending packet.
    Selection Select(const TrackTable& tracks, int16_t direction, uint16_t skipSeconds, bool keyFramesOnly);

private:
    // A track that answered with a status other than 0 gives that status
    // again, and moves nothing, when asked with the same direction and
    // filters before it is invalidated: so the answer is kept, not asked.
    void AskTracks(const TrackTable& tracks, bool forward, uint16_t skipSeconds, bool keyFramesOnly);

    std::set<std::pair<uint64_t, uint32_t>> pending_;  // (timestamp, tag)
    std::map<uint32_t, uint64_t> pendingTimes_;        // tag: its timestamp in pending_
    std::set<uint32_t> toAsk_;
    std::map<uint32_t, int32_t> exhausted_;  // tag: the status it answered
    // What the answers in exhausted_ were given for.
    int16_t direction_ = 1;
    uint16_t skipSeconds_ = 0;
    bool keyFramesOnly_ = false;
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

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
    // The reader instance's track table and play mode, read at every choice.
    PacketSelector(const TrackTable& tracks, const int16_t& direction, const uint16_t& skipSeconds,
                   const bool& keyFramesOnly, const bool& videoOnly)
        : tracks_(tracks),
          direction_(direction),
          skipSeconds_(skipSeconds),
          keyFramesOnly_(keyFramesOnly),
          videoOnly_(videoOnly) {}
    PacketSelector(const PacketSelector&) = delete;
    PacketSelector& operator=(const PacketSelector&) = delete;

    struct Choice {
        int32_t status = 0;
        boost::shared_ptr<TPacketIdxInfo> packet;  // when status is 0
    };
    // The next packet across tracks, taken from its track: status 0 and the
    // packet, -1 with no track yet, or, with nothing left, the status of the
    // track with the largest tag. Packets the play mode leaves out (all but
    // video with videoOnly or skipping) are taken and dropped on the way, so
    // a packet that fails to build later is consumed all the same.
    Choice TakeNext();

    // The track's answer may no longer be the one known: the track is new,
    // got packets, was sought, or its pending packet was taken or dropped.
    void Invalidate(uint32_t tag);
    // Every track of the table, as after a seek.
    void InvalidateAll();

private:
    struct Selection {
        int32_t status = 0;
        uint32_t tag = 0;  // the chosen track's, when status is 0
    };
    // Tracks without a pending packet are asked for one (TrackNextForward or
    // TrackNextBackward). Forward (direction 1) the earliest pending packet
    // wins, backward the latest; at equal times the smaller tag. With no
    // pending packet anywhere, the status of the track with the largest tag.
    // The chosen track keeps its pending packet.
    Selection Select();

    // A track that answered with a status other than 0 gives that status
    // again, and moves nothing, when asked with the same direction and
    // filters before it is invalidated: so the answer is kept, not asked.
    void AskTracks(bool forward);

    const TrackTable& tracks_;
    const int16_t& direction_;
    const uint16_t& skipSeconds_;
    const bool& keyFramesOnly_;
    const bool& videoOnly_;

    std::set<std::pair<uint64_t, uint32_t>> pending_;  // (timestamp, tag)
    std::map<uint32_t, uint64_t> pendingTimes_;        // tag: its timestamp in pending_
    std::set<uint32_t> toAsk_;
    std::map<uint32_t, int32_t> exhausted_;  // tag: the status it answered
    // What the answers in exhausted_ were given for.
    int16_t answeredDirection_ = 1;
    uint16_t answeredSkipSeconds_ = 0;
    bool answeredKeyFramesOnly_ = false;
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

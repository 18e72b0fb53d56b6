#include "viewwhilerecording/PacketSelector.h"

#include "viewwhilerecording/ViewWhileRec.h"

namespace ZENT::SDK::ViewWhileRecording {

void PacketSelector::Invalidate(uint32_t tag) {
    const auto found = pendingTimes_.find(tag);
    if (found != pendingTimes_.end()) {
        pending_.erase({found->second, tag});
        pendingTimes_.erase(found);
    }
    exhausted_.erase(tag);
    toAsk_.insert(tag);
}

void PacketSelector::InvalidateAll(const TrackTable& tracks) {
    pending_.clear();
    pendingTimes_.clear();
    exhausted_.clear();
    for (const auto& entry : tracks) toAsk_.insert(toAsk_.end(), entry.first);
}

void PacketSelector::AskTracks(const TrackTable& tracks, bool forward, uint16_t skipSeconds, bool keyFramesOnly) {
    for (const uint32_t tag : toAsk_) {
        const auto found = tracks.find(tag);
        if (found == tracks.end()) continue;  // invalidated before its creation failed
        TrackInfo& track = *found->second;
        int32_t status = kOk;
        // A pending packet stays the track's candidate even when the
        // direction or the filters changed since it was taken.
        if (!track.pending)
            status = forward ? track.TrackNextForward(skipSeconds, keyFramesOnly)
                             : track.TrackNextBackward(skipSeconds, keyFramesOnly);
        if (track.pending) {
            pending_.emplace(track.pending->timestamp, tag);
            pendingTimes_[tag] = track.pending->timestamp;
        } else {
            exhausted_[tag] = status;
        }
    }
    toAsk_.clear();
}

PacketSelector::Selection PacketSelector::Select(const TrackTable& tracks, int16_t direction, uint16_t skipSeconds,
                                                 bool keyFramesOnly) {
    if (direction != direction_ || skipSeconds != skipSeconds_ || keyFramesOnly != keyFramesOnly_) {
        for (const auto& entry : exhausted_) toAsk_.insert(entry.first);
        exhausted_.clear();
        direction_ = direction;
        skipSeconds_ = skipSeconds;
        keyFramesOnly_ = keyFramesOnly;
    }
    const bool forward = direction == 1;
    AskTracks(tracks, forward, skipSeconds, keyFramesOnly);

    if (pending_.empty()) {
        // Every track was asked and answered: the last one's answer stands.
        if (tracks.empty()) return {kNoNewData, 0};
        const auto last = exhausted_.find(tracks.rbegin()->first);
        return {last != exhausted_.end() ? last->second : kNoNewData, 0};
    }
    if (forward) return {kOk, pending_.begin()->second};
    const uint64_t latest = pending_.rbegin()->first;
    return {kOk, pending_.lower_bound({latest, 0})->second};
}

}  // namespace ZENT::SDK::ViewWhileRecording

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

void PacketSelector::InvalidateAll() {
    pending_.clear();
    pendingTimes_.clear();
    exhausted_.clear();
    for (const auto& entry : tracks_) toAsk_.insert(toAsk_.end(), entry.first);
}

void PacketSelector::AskTracks(bool forward) {
    for (const uint32_t tag : toAsk_) {
        const auto found = tracks_.find(tag);
        if (found == tracks_.end()) continue;  // invalidated before its creation failed
        TrackInfo& track = *found->second;
        int32_t status = kOk;
        // A pending packet stays the track's candidate even when the
        // direction or the filters changed since it was taken.
        if (!track.pending)
            status = forward ? track.TrackNextForward(skipSeconds_, keyFramesOnly_)
                             : track.TrackNextBackward(skipSeconds_, keyFramesOnly_);
        if (track.pending) {
            pending_.emplace(track.pending->timestamp, tag);
            pendingTimes_[tag] = track.pending->timestamp;
        } else {
            exhausted_[tag] = status;
        }
    }
    toAsk_.clear();
}

PacketSelector::Choice PacketSelector::TakeNext() {
    if (tracks_.empty()) return {-1, nullptr};
    for (;;) {
        const Selection selection = Select();
        if (selection.status != kOk) return {selection.status, nullptr};
        TrackInfo& track = *tracks_.at(selection.tag);
        Choice choice{kOk, std::move(track.pending)};
        track.pending.reset();
        Invalidate(selection.tag);
        if ((videoOnly_ || skipSeconds_ != 0) && !choice.packet->isVideo) continue;
        return choice;
    }
}

PacketSelector::Selection PacketSelector::Select() {
    if (direction_ != answeredDirection_ || skipSeconds_ != answeredSkipSeconds_ ||
        keyFramesOnly_ != answeredKeyFramesOnly_) {
        for (const auto& entry : exhausted_) toAsk_.insert(entry.first);
        exhausted_.clear();
        answeredDirection_ = direction_;
        answeredSkipSeconds_ = skipSeconds_;
        answeredKeyFramesOnly_ = keyFramesOnly_;
    }
    const bool forward = direction_ == 1;
    AskTracks(forward);

    if (pending_.empty()) {
        // Every track was asked and answered: the last one's answer stands.
        if (tracks_.empty()) return {kNoNewData, 0};
        const auto last = exhausted_.find(tracks_.rbegin()->first);
        return {last != exhausted_.end() ? last->second : kNoNewData, 0};
    }
    if (forward) return {kOk, pending_.begin()->second};
    const uint64_t latest = pending_.rbegin()->first;
    return {kOk, pending_.lower_bound({latest, 0})->second};
}

}  // namespace ZENT::SDK::ViewWhileRecording

#include "viewwhilerecording/TrackCursor.h"

#include <algorithm>
#include <cstring>

#include "viewwhilerecording/ViewWhileRec.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

constexpr uint64_t kMillisecondsPerSecond = 1000;

}  // namespace

void TrackInfo::AddPacket(const boost::shared_ptr<TPacketIdxInfo>& packet) {
    packet->index = uint32_t(packets.size());
    if (nonce) {
        packet->nonce.reset(new uint8_t[8]);
        std::memcpy(packet->nonce.get(), nonce.get(), 8);
        // A 64-bit big-endian increment: all bytes 0xFF wrap to zero.
        for (int i = 7; i >= 0; --i)
            if (++nonce[i] != 0) break;
    }
    packets.push_back(packet);
}

int64_t TrackInfo::FirstNotBelow(int64_t from, int64_t to, uint64_t t, uint32_t index) const {
    // A plain bisection over positions: on a list that is not in order it
    // still ends inside [from, to].
    while (from < to) {
        const int64_t middle = from + (to - from) / 2;
        const TPacketIdxInfo& packet = *packets[size_t(middle)];
        const bool below = packet.timestamp < t || (packet.timestamp == t && packet.index < index);
        if (below)
            from = middle + 1;
        else
            to = middle;
    }
    return from;
}

int32_t TrackInfo::StepForward() {
    if (cursor >= LastPosition()) return kNoNewData;
    ++cursor;
    return kOk;
}

int32_t TrackInfo::StepBackward() {
    if (cursor <= 0) return kAtBeginning;
    --cursor;
    return kOk;
}

int32_t TrackInfo::AdvanceForward(uint16_t skipSeconds) {
    if (cursor == kTrackEnd) return kNoNewData;
    if (cursor == kBeforeFirst) {
        cursor = 0;
        return kOk;
    }
    if (!CursorOnPacket()) return kNoNewData;
    if (skipSeconds != 0) {
        const uint64_t target = packets[size_t(cursor)]->timestamp + skipSeconds * kMillisecondsPerSecond;
        if (int32_t status = LocateForward(target, true)) return status;
    }
    return StepForward();
}

int32_t TrackInfo::AdvanceBackward(uint16_t skipSeconds) {
    if (cursor == kBeforeFirst) return kAtBeginning;
    if (cursor == kTrackEnd) {
        cursor = LastPosition();
        return kOk;
    }
    if (!CursorOnPacket()) return kAtBeginning;
    if (skipSeconds != 0) {
        // Saturates: a camera clock near 1970 must not wrap to the far future.
        const uint64_t now = packets[size_t(cursor)]->timestamp;
        const uint64_t jump = skipSeconds * kMillisecondsPerSecond;
        if (int32_t status = LocateBackward(now > jump ? now - jump : 0, true)) return status;
    }
    return StepBackward();
}

int32_t TrackInfo::TrackNext(uint16_t skipSeconds, bool keyFramesOnly, bool forward) {
    if (packets.empty()) return kNoNewData;
    if (int32_t status = forward ? AdvanceForward(skipSeconds) : AdvanceBackward(skipSeconds)) return status;
    if (keyFramesOnly || skipSeconds != 0) {
        // When no key frame follows yet, the cursor waits on the last packet
        // and the search goes on from there once more packets arrive.
        while (!packets[size_t(cursor)]->isKey)
            if (int32_t status = forward ? StepForward() : StepBackward()) return status;
    }
    pending = packets[size_t(cursor)];
    return kOk;
}

int32_t TrackInfo::TrackNextForward(uint16_t skipSeconds, bool keyFramesOnly) {
    return TrackNext(skipSeconds, keyFramesOnly, true);
}

int32_t TrackInfo::TrackNextBackward(uint16_t skipSeconds, bool keyFramesOnly) {
    return TrackNext(skipSeconds, keyFramesOnly, false);
}

int32_t TrackInfo::LocateForward(uint64_t t, bool relative) {
    if (relative && !CursorOnPacket()) return kNoNewData;
    if (relative && cursor == LastPosition()) return kNoNewData;
    const int64_t begin = relative ? cursor + 1 : 0;
    const int64_t end = int64_t(packets.size());
    const int64_t lo = FirstNotBelow(begin, end, t, 0);
    if (lo == end) {
        if (!relative) cursor = kTrackEnd;
        return kNoNewData;
    }
    if (lo == begin) {
        if (!relative) cursor = kBeforeFirst;
        return kOk;
    }
    // Also when exactly one packet of the range lies before t: the next
    // packet is the first one at or after t.
    cursor = lo - 1;
    return kOk;
}

int32_t TrackInfo::LocateBackward(uint64_t t, bool relative) {
    if (relative && !CursorOnPacket()) return kAtBeginning;
    if (relative && cursor == 0) return kAtBeginning;
    const int64_t begin = 0;
    const int64_t end = relative ? cursor : int64_t(packets.size());
    // In practice the first packet after t: no track holds 2^32 packets.
    const int64_t lo = FirstNotBelow(begin, end, t, 0xFFFFFFFF);
    if (lo == end) {
        // A jump back from the cursor over a gap longer than the jump: the
        // packet right before the cursor is the nearest to the target, and
        // nothing will ever arrive before it, so waiting would stall reading.
        if (relative) return kOk;
        cursor = kTrackEnd;
        return kNoNewData;
    }
    if (lo == begin) {
        if (!relative) cursor = kBeforeFirst;
        return kAtBeginning;
    }
    if (packets[size_t(lo - 1)]->timestamp == t) {
        cursor = lo;
        return kOk;
    }
    if (lo != end - 1) {
        cursor = lo + 1;
        return kOk;
    }
    if (!relative) cursor = kTrackEnd;
    return kOk;
}

int32_t TrackInfo::TrackSeekForward(uint64_t t) {
    if (packets.empty()) {
        cursor = kBeforeFirst;
        return kNoNewData;
    }
    const int32_t status = LocateForward(t, false);
    if (status != kOk || !isVideo) return status;
    if (cursor == kBeforeFirst) return kOk;
    // Back to the key frame the found packet depends on; position 1 is
    // tested too, and with none found reading resumes at position 0.
    while (cursor >= 0 && !packets[size_t(cursor + 1)]->isKey) --cursor;
    return kOk;
}

int32_t TrackInfo::TrackSeekBackward(uint64_t t) {
    if (packets.empty()) {
        cursor = kBeforeFirst;
        return kNoNewData;
    }
    return LocateBackward(t, false);
}

}  // namespace ZENT::SDK::ViewWhileRecording

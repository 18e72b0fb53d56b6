// The packets of one codec tag of a recording in progress, and the cursor
// that steps, jumps and seeks through them while the list keeps growing.
#ifndef STAMPWALK_VIEWWHILERECORDING_TRACKCURSOR_H
#define STAMPWALK_VIEWWHILERECORDING_TRACKCURSOR_H

#include <cstdint>
#include <vector>

#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

namespace ZENT::SDK::ViewWhileRecording {

// cursor value past the last packet: nothing forward until the track is
// sought again; going backward, the next packet is the last one.
constexpr int64_t kTrackEnd = 0x00000000FFFFFFFF;

// Before the first packet: forward, the next is position 0; backward,
// nothing is left.
constexpr int64_t kBeforeFirst = -1;

// One sample of the recording.
struct TPacketIdxInfo {
    uint64_t timestamp = 0;  // milliseconds since 1970, from the frame-information record
    uint32_t index = 0;      // position in the track's packets
    uint8_t isKey = 0;
    uint8_t isVideo = 0;
    uint64_t offset = 0;  // file offset of the sample's first byte
    uint32_t size = 0;
    uint32_t tag = 0;
    boost::shared_array<uint8_t> record;  // the frame-information record
    uint32_t recordLength = 0;
    boost::shared_array<uint8_t> nonce;  // 8 bytes, or empty when not protected
};

// Packets are ordered by (timestamp, index) as the camera writes them. The
// searches only ever look inside the list, so a track whose clock stepped
// back gives some packet, never a read outside the list.
class TrackInfo {
public:
    uint32_t isVideo = 0;
    std::vector<boost::shared_ptr<TPacketIdxInfo>> packets;
    int64_t cursor = kBeforeFirst;
    boost::shared_array<uint8_t> nonce;  // counter-block prefix for the next packet added
    boost::shared_ptr<TPacketIdxInfo> pending;

    // Appends with the next index; a protected track hands the packet its
    // nonce and counts its own on by one.
    void AddPacket(const boost::shared_ptr<TPacketIdxInfo>& packet);

    // Make the next packet pending; statuses kNoNewData or kAtBeginning.
    int32_t TrackNextForward(uint16_t skipSeconds, bool keyFramesOnly);
    int32_t TrackNextBackward(uint16_t skipSeconds, bool keyFramesOnly);

    int32_t AdvanceForward(uint16_t skipSeconds);
    int32_t AdvanceBackward(uint16_t skipSeconds);
    int32_t StepForward();
    int32_t StepBackward();

    // Place the cursor so that the next packet is the one found for time t
    // (milliseconds); relative searches only the packets beyond the cursor.
    int32_t LocateForward(uint64_t t, bool relative);
    int32_t LocateBackward(uint64_t t, bool relative);

    int32_t TrackSeekForward(uint64_t t);
    int32_t TrackSeekBackward(uint64_t t);

private:
    int64_t LastPosition() const { return int64_t(packets.size()) - 1; }
    bool CursorOnPacket() const { return cursor >= 0 && cursor <= LastPosition(); }
    // Advances in one direction, then, when only key frames are wanted or
    // seconds were skipped, steps on to a key frame.
    int32_t TrackNext(uint16_t skipSeconds, bool keyFramesOnly, bool forward);
    // The first position in [from, to) whose (timestamp, index) is not below (t, index).
    int64_t FirstNotBelow(int64_t from, int64_t to, uint64_t t, uint32_t index) const;
};

// Seeks the track for reading in the direction the reader is set to (-1
// backward, anything else forward).
inline int32_t SeekTrack(TrackInfo& track, uint64_t milliseconds, int16_t direction) {
    return direction == -1 ? track.TrackSeekBackward(milliseconds) : track.TrackSeekForward(milliseconds);
}

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

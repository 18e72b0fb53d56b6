#include "app/FrameTime.h"

#include "format/ByteOrder.h"
#include "format/UserDataItems.h"

namespace {

namespace Format = ZENT::SDK::Format;

constexpr uint8_t kRecordTimeTag = 0x61;
constexpr uint8_t kStreamTimeTag = 0x60;
// A time element is read at fixed places from its tag whatever its length
// byte says: tag, length byte, seconds, milliseconds and two 16-bit words.
constexpr uint64_t kTimeElementSize = 1 + 1 + 4 + 4 + 2 + 2;

}  // namespace

void ExtractFrameTime(const TMediaPacket& packet, int32_t timeType, std::vector<FrameTime>& frameTimes) {
    if (packet.userData == nullptr) return;
    uint8_t soughtTag;
    if (timeType == kRecordTime)
        soughtTag = kRecordTimeTag;
    else if (timeType == kStreamTime)
        soughtTag = kStreamTimeTag;
    else
        return;

    // An invalid length before the element ends the walk without a time.
    const Format::UserDataItem item = Format::FindUserDataItem(packet.userData, packet.userDataSize, soughtTag);
    if (item.result != Format::ItemSearch::kFound) return;
    // Only the first element with the sought tag counts, so one cut off by
    // the block's end ends the walk without a time.
    if (packet.userDataSize - item.tagOffset < kTimeElementSize) return;
    const uint8_t* element = packet.userData + item.tagOffset;
    frameTimes.push_back({Format::LoadU32(element + 2), Format::LoadU32(element + 6), Format::LoadU16(element + 10),
                          Format::LoadU16(element + 12)});
}

FrameTime CameraFrameTime(const TMediaPacket& packet, uint32_t seconds) {
    return {seconds, packet.milliseconds, static_cast<uint16_t>(packet.timeZoneOffset),
            static_cast<uint16_t>(packet.daylightSaving)};
}

void CollectFrameTime(const TMediaPacket& packet, int32_t timeType, uint32_t cameraSeconds,
                      std::vector<FrameTime>& frameTimes) {
    frameTimes.clear();
    if (timeType == kCameraTime)
        frameTimes.push_back(CameraFrameTime(packet, cameraSeconds));
    else
        ExtractFrameTime(packet, timeType, frameTimes);
}

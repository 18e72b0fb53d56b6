#include "app/FrameTime.h"

namespace {

constexpr uint8_t kRecordTimeTag = 0x61;
constexpr uint8_t kStreamTimeTag = 0x60;
constexpr uint64_t kLengthWordSize = 4;
// A time element is read at fixed places from its tag whatever its length
// byte says: tag, length byte, seconds, milliseconds and two 16-bit words.
constexpr uint64_t kTimeElementSize = 1 + 1 + 4 + 4 + 2 + 2;

uint32_t ReadBig32(const uint8_t* bytes) {
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

uint16_t ReadBig16(const uint8_t* bytes) { return uint16_t((bytes[0] << 8) | bytes[1]); }

// Definite BER length at offset, which is advanced past the length bytes.
// False for the indefinite form 0x80, for forms beyond four bytes and for
// length bytes cut off by the block's end.
bool ReadElementLength(const uint8_t* block, uint64_t blockSize, uint64_t& offset, uint64_t& length) {
    if (offset >= blockSize) return false;
    const uint8_t first = block[offset++];
    if (first < 0x80) {
        length = first;
        return true;
    }
    const uint64_t byteCount = first - 0x80u;
    if (byteCount == 0 || byteCount > 4 || blockSize - offset < byteCount) return false;
    length = 0;
    for (uint64_t i = 0; i < byteCount; ++i) length = (length << 8) | block[offset++];
    return true;
}

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

    const uint8_t* block = packet.userData;
    const uint64_t blockSize = packet.userDataSize;
    // Offsets in 64 bits: a four-byte length added to an offset cannot wrap.
    uint64_t offset = kLengthWordSize;
    while (offset < blockSize) {
        const uint64_t tagOffset = offset++;
        if (block[tagOffset] == soughtTag) {
            // Only the first element with the sought tag counts, so one cut
            // off by the block's end ends the walk without a time.
            if (blockSize - tagOffset < kTimeElementSize) return;
            const uint8_t* element = block + tagOffset;
            frameTimes.push_back({ReadBig32(element + 2), ReadBig32(element + 6), ReadBig16(element + 10),
                                  ReadBig16(element + 12)});
            return;
        }
        uint64_t length;
        if (!ReadElementLength(block, blockSize, offset, length)) return;
        offset += length;
    }
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

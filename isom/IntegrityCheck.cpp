#include "isom/IntegrityCheck.h"

#include <cstdio>
#include <stdexcept>

#include "common/Crc32.h"
#include "format/ByteOrder.h"
#include "format/NalUnits.h"
#include "format/UserDataItems.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::Crc32;
using ZENT::SDK::Utility::Crc32Update;

namespace {

constexpr uint8_t kCheckValueTag = 110;
using Format::kStartCode;

[[noreturn]] void Malformed() { throw std::runtime_error("malformed user data"); }

// The CRC of an H.264 payload stored with 4-byte length prefixes, each
// prefix counted as a start code: the same value as the start-code form.
// Unlike the rewrite, a unit that claims more than is left counts only its
// start code, and fewer than four bytes at the end are not counted.
uint32_t LengthPrefixedCrc(uint32_t crc, const uint8_t* payload, uint32_t size) {
    Format::PrefixedUnitWalk walk(payload, size, sizeof(kStartCode));
    for (Format::PrefixedUnit unit; walk.Next(unit);) {
        crc = Crc32Update(crc, kStartCode, sizeof(kStartCode));
        if (unit.cut) break;
        crc = Crc32Update(crc, payload + unit.offset, unit.length);
    }
    return crc;
}

}  // namespace

uint32_t FindCheckValue(const uint8_t* userData, uint32_t userDataSize) {
    // Items whose length bytes or value reach past the block's end end the
    // search: there is no check value.
    const Format::UserDataItem item = Format::FindUserDataItem(userData, userDataSize, kCheckValueTag);
    if (item.result == Format::ItemSearch::kMalformed) Malformed();
    if (item.result != Format::ItemSearch::kFound) return 0;
    // Tag, the length byte 4, the value least significant byte first.
    const uint64_t valueOffset = item.tagOffset + 2;
    if (valueOffset > userDataSize || userData[item.tagOffset + 1] != 4 || userDataSize - valueOffset < 4) return 0;
    return Format::LoadU32Little(userData + valueOffset);
}

uint32_t ExpectedCheckValue(const TMediaPacket& packet, const std::string& key) {
    const uint8_t* frame = packet.frameData;
    const uint8_t* payload = frame + packet.headerSize;
    uint32_t crc;
    bool startCodes =
        packet.payloadSize >= 4 && payload[0] == 0 && payload[1] == 0 && payload[2] == 0 && payload[3] == 1;
    if (packet.codecType == kCodecH264 && !startCodes) {
        crc = Crc32(frame, packet.headerSize);
        crc = LengthPrefixedCrc(crc, payload, packet.payloadSize);
    } else {
        crc = Crc32(frame, uint64_t(packet.headerSize) + packet.payloadSize);
    }
    char hex[9];
    int n = std::snprintf(hex, sizeof hex, "%x", crc);
    std::string text(hex, size_t(n));
    text += key;
    return Crc32(text.data(), text.size());
}

int32_t TestPacketIntegrity(const TMediaPacket* packet, const std::string& key) {
    if (!packet) return kPacketMissing;
    if (!packet->frameData || uint64_t(packet->headerSize) + packet->payloadSize == 0) return kPacketNoFrameData;
    if (!packet->userData || packet->userDataSize < 4) return kPacketNoUserData;
    if (key.empty()) return 0;
    uint32_t value = FindCheckValue(packet->userData, packet->userDataSize);
    if (value == 0) return kNoCheckValue;
    return ExpectedCheckValue(*packet, key) == value ? 0 : kCheckMismatch;
}

}  // namespace ZENT::SDK::Pelagor2

// Packet assembly and the frame-information parser on raw records: the first
// four bytes choose the payload length, the rest is the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>

#include "common/FrameInfoParser.h"
#include "common/PacketBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t payloadLength = (uint32_t(data[0]) << 8 | data[1]) % 4096;
    const uint8_t* record = data + 4;
    const size_t recordLength = size - 4;
    try {
        TMediaPacket* packet = ZENT::SDK::Utility::BuildPacket(record, recordLength, payloadLength);
        std::memset(packet->frameData + packet->headerSize, 0xA5, payloadLength);
        volatile uint8_t sum = 0;
        for (uint64_t i = 0; i < uint64_t(packet->headerSize) + packet->payloadSize; ++i) sum ^= packet->frameData[i];
        for (uint32_t i = 0; i < packet->userDataSize; ++i) sum ^= packet->userData[i];
        for (uint32_t i = 0; i < packet->headerExtSize; ++i) sum ^= packet->headerExtData[i];
        for (uint32_t i = 0; i < packet->triggerInfoCount; ++i) sum ^= packet->triggerInfo[i].value;
        packet->releaseOps->addRef(packet);
        packet->releaseOps->release(packet);
        packet->releaseOps->release(packet);
    } catch (const std::exception&) {}
    // The parsers on the bytes as a bare media header.
    try {
        ZENT::SDK::Utility::CollectMotionTriggers(record, recordLength);
    } catch (const std::exception&) {}
    return 0;
}

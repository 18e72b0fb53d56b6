// The walks of a packet's user-data block: the record and stream time of the
// frame report, and the check value of the integrity test.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "app/FrameTime.h"
#include "isom/IntegrityCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the block's bytes, so that any read past it is seen.
    std::vector<uint8_t> block(data, data + size);
    std::vector<uint8_t> frame = {0, 0, 0, 1, 0x65, 1, 2, 3};
    TMediaPacket packet{};
    packet.frameData = frame.data();
    packet.headerSize = 0;
    packet.payloadSize = uint32_t(frame.size());
    packet.codecType = kCodecH264;
    packet.userData = block.empty() ? nullptr : block.data();
    packet.userDataSize = uint32_t(block.size());
    std::vector<FrameTime> times;
    for (int32_t type = 1; type <= 3; ++type) ExtractFrameTime(packet, type, times);
    try {
        ZENT::SDK::Pelagor2::TestPacketIntegrity(&packet, "key");
    } catch (const std::exception&) {}
    return 0;
}

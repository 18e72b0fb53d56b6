#include "common/PacketBlock.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/FrameInfoParser.h"
#include "format/ByteOrder.h"
#include "format/FrameInfoRecord.h"

namespace ZENT::SDK::Utility {

namespace {

// The block starts with these two words; the record follows at offset 8.
struct BlockHead {
    std::atomic<uint32_t> references;
    uint32_t capacity;  // the block's size in 8-byte units
};
static_assert(sizeof(BlockHead) == 8, "the record starts 8 bytes into the block");
static_assert(kPacketFixedSize % 8 == 0, "the user-data block follows an 8-byte-aligned record");

constexpr size_t kPayloadAlignment = 16;
constexpr size_t kZeroTrailerSize = 32;
constexpr size_t kUserDataLengthWord = 4;
constexpr std::align_val_t kBlockAlignment{kPayloadAlignment};

std::atomic<size_t> liveBlocks{0};

BlockHead* HeadOf(const TMediaPacket* packet) {
    return reinterpret_cast<BlockHead*>(reinterpret_cast<uint8_t*>(const_cast<TMediaPacket*>(packet)) -
                                        sizeof(BlockHead));
}

void AddReference(TMediaPacket* packet) {
    if (packet) HeadOf(packet)->references.fetch_add(1, std::memory_order_relaxed);
}

void DropReference(TMediaPacket* packet) {
    if (!packet) return;
    BlockHead* head = HeadOf(packet);
    if (head->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    head->~BlockHead();
    ::operator delete(static_cast<void*>(head), kBlockAlignment);
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

const TMediaPacketReleaseOps kReleaseOps = {AddReference, DropReference};

uint8_t* AlignUp(uint8_t* pointer, size_t alignment) {
    uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
    return pointer + ((alignment - address % alignment) % alignment);
}

// Enough for the worst-case gap before the frame bytes and the worst-case
// alignment of the trigger records after the zero trailer.
uint64_t BlockSize(uint64_t headerLength, uint64_t userDataLength, uint64_t payloadLength, uint64_t triggerCount) {
    uint64_t size = sizeof(BlockHead) + kPacketFixedSize + kUserDataLengthWord + userDataLength +
                    (kPayloadAlignment - 1) + headerLength + payloadLength + kZeroTrailerSize +
                    (alignof(TMotionTriggerInfoEx) - 1) + triggerCount * sizeof(TMotionTriggerInfoEx);
    return (size + 7) & ~uint64_t(7);
}

}  // namespace

TMediaPacket* BuildPacket(const uint8_t* record, size_t recordLength, uint32_t payloadLength) {
    if (!record || recordLength < Format::kRecordMediaHeaderOffset)
        throw std::runtime_error("frame-information record shorter than 16 bytes");
    const uint32_t headerLength = Format::LoadU32(record + Format::kRecordHeaderLengthOffset);
    const uint32_t userDataLength = Format::LoadU32(record + Format::kRecordUserDataLengthOffset);
    if (headerLength < kMediaHeaderFixedSize)
        throw std::runtime_error("frame-information record with a media header below 20 bytes");
    if (Format::kRecordMediaHeaderOffset + uint64_t(headerLength) + userDataLength > recordLength)
        throw std::runtime_error("frame-information record shorter than its header and user data");
    const uint8_t* header = record + Format::kRecordMediaHeaderOffset;
    const uint32_t headerSize = CheckedMediaHeaderSize(header, headerLength);

    const std::vector<TMotionTriggerInfoEx>& triggers = CollectMotionTriggers(header, headerLength);
    const size_t triggerCount = std::min(triggers.size(), kMaxTriggerRecords);

    const uint64_t blockSize = BlockSize(headerLength, userDataLength, payloadLength, triggerCount);
    if (blockSize > kMaxPacketBlockSize) throw std::runtime_error("packet block too large");

    uint8_t* block = static_cast<uint8_t*>(::operator new(size_t(blockSize), kBlockAlignment));
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    new (block) BlockHead{{1}, uint32_t(blockSize / 8)};
    std::memset(block + sizeof(BlockHead), 0, kPacketFixedSize);
    TMediaPacket* packet = new (block + sizeof(BlockHead)) TMediaPacket();
    packet->releaseOps = &kReleaseOps;

    uint8_t* userData = block + sizeof(BlockHead) + kPacketFixedSize;
    std::memcpy(userData, record + Format::kRecordUserDataLengthOffset, kUserDataLengthWord);
    std::memcpy(userData + kUserDataLengthWord, header + headerLength, userDataLength);
    packet->userData = userData;
    packet->userDataSize = userDataLength + uint32_t(kUserDataLengthWord);
    packet->userDataOffset = int32_t(kPacketFixedSize);

    // The gap puts the payload, which follows the H header bytes, on a 16-byte boundary.
    uint8_t* userDataEnd = userData + kUserDataLengthWord + userDataLength;
    uint8_t* frameData = AlignUp(userDataEnd + headerLength, kPayloadAlignment) - headerLength;
    std::memcpy(frameData, header, headerLength);
    const uint64_t frameLength = uint64_t(headerLength) + payloadLength;
    Format::StoreU32(frameData + Format::kMediaLengthWordOffset, uint32_t(frameLength - 4));
    packet->frameData = frameData;

    // When H is longer than the parsed header, a payload copied to
    // frameData + headerSize does not reach the end of the frame bytes; the
    // rest is zeroed so that every byte the packet covers is defined.
    const uint64_t tailStart = std::max<uint64_t>(headerLength, uint64_t(headerSize) + payloadLength);
    if (tailStart < frameLength) std::memset(frameData + tailStart, 0, size_t(frameLength - tailStart));
    uint8_t* zeroTrailer = frameData + (frameLength & ~uint64_t(3));
    std::memset(zeroTrailer, 0, kZeroTrailerSize);

    try {
        ParseFrameHeader(packet, headerLength);
    } catch (...) {
        DropReference(packet);
        throw;
    }

    packet->triggerInfoCount = uint8_t(triggerCount);
    if (triggerCount) {
        uint8_t* triggerArea = AlignUp(zeroTrailer + kZeroTrailerSize, alignof(TMotionTriggerInfoEx));
        std::memcpy(triggerArea, triggers.data(), triggerCount * sizeof(TMotionTriggerInfoEx));
        packet->triggerInfo = reinterpret_cast<TMotionTriggerInfoEx*>(triggerArea);
    }
    // The reference taken at allocation is the one handed to the caller.
    return packet;
}

uint32_t PacketReferenceCount(const TMediaPacket* packet) {
    return HeadOf(packet)->references.load(std::memory_order_acquire);
}

uint64_t PacketBlockSize(const TMediaPacket* packet) { return uint64_t(HeadOf(packet)->capacity) * 8; }

size_t LivePacketBlockCount() { return liveBlocks.load(std::memory_order_relaxed); }

}  // namespace ZENT::SDK::Utility

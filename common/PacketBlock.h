// Packet assembly: one reference-counted memory block per packet, holding the
// record, its user-data block, the frame bytes and the motion-trigger records.
#ifndef STAMPWALK_COMMON_PACKETBLOCK_H
#define STAMPWALK_COMMON_PACKETBLOCK_H

#include <cstddef>
#include <cstdint>

#include "isom/AVReader.h"

namespace ZENT::SDK::Utility {

// The record's share of the block: sizeof(TMediaPacket) rounded up to 8. The
// user-data block follows it, so this is also every packet's userDataOffset.
constexpr size_t kPacketFixedSize = (sizeof(TMediaPacket) + 7) & ~size_t(7);

// No packet block is larger than this; a record or payload asking for more is
// refused before anything is allocated.
constexpr uint64_t kMaxPacketBlockSize = uint64_t(1) << 30;

// At most this many motion-trigger records are attached to one packet, so
// that triggerInfoCount holds their number.
constexpr size_t kMaxTriggerRecords = 255;

// Builds a packet from a frame-information record (8 unused bytes, big-endian
// media header length H and user-data length X, the H-byte media header, the
// X bytes of user data) and a payload length. The packet holds one reference
// for the caller; the caller copies the payload to frameData + headerSize.
// Throws std::runtime_error for a record that is short or inconsistent (H below
// 20, an extension area longer than H, header or user data past the record, a
// block above kMaxPacketBlockSize), and passes on the parser's errors after
// freeing the block.
TMediaPacket* BuildPacket(const uint8_t* record, size_t recordLength, uint32_t payloadLength);

// The block's current reference count (for checks and diagnostics).
uint32_t PacketReferenceCount(const TMediaPacket* packet);

// The block's size in bytes, as its capacity word records it.
uint64_t PacketBlockSize(const TMediaPacket* packet);

// Packet blocks allocated and not yet freed, over all threads.
size_t LivePacketBlockCount();

}  // namespace ZENT::SDK::Utility

#endif

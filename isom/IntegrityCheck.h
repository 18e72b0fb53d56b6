// The keyed per-packet check: a 32-bit value in the packet's user data,
// derived from the frame bytes and a text key, tested when a key is set.
#ifndef STAMPWALK_ISOM_INTEGRITYCHECK_H
#define STAMPWALK_ISOM_INTEGRITYCHECK_H

#include <cstdint>
#include <string>

#include "isom/AVReader.h"

namespace ZENT::SDK::Pelagor2 {

// 0 when the packet passes or the key is empty; kNoCheckValue, kCheckMismatch,
// or the structural codes kPacketMissing, kPacketNoFrameData, kPacketNoUserData.
// Throws std::runtime_error for a user-data block whose lengths are malformed.
int32_t TestPacketIntegrity(const TMediaPacket* packet, const std::string& key);

// The check value carried by a user-data block (tag 110, length 4, least
// significant byte first); 0 when there is none.
uint32_t FindCheckValue(const uint8_t* userData, uint32_t userDataSize);

// The value a packet's check value must have for a key.
uint32_t ExpectedCheckValue(const TMediaPacket& packet, const std::string& key);

}  // namespace ZENT::SDK::Pelagor2

#endif

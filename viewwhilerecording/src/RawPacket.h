// Turning an indexed sample into a packet: the packet assembly from its
// frame-information record, and the rewriting of length-prefixed units.
// The selection across tracks is ViewWhileRecImpl::SelectNextPacket.
#ifndef STAMPWALK_VIEWWHILERECORDING_RAWPACKET_H
#define STAMPWALK_VIEWWHILERECORDING_RAWPACKET_H

#include <cstdint>

#include "isom/AVReader.h"
#include "common/AesCtr.h"
#include "viewwhilerecording/DataReader"
#include "viewwhilerecording/TrackCursor.h"

namespace ZENT::SDK::ViewWhileRecording {

// A packet holding one reference, with room for payloadLength bytes at
// frameData + PayloadOffset(packet). A record the assembly refuses (short,
// inconsistent lengths, a cut media header) throws the assembly's
// std::runtime_error as it is, which the entry points report as an
// unexpected error, not as a fault of the recording's structure.
TMediaPacket* BuildPacketFromRecord(const TPacketIdxInfo& packet, uint32_t payloadLength);

// H, the media-header length at offset 8 of the record: the payload follows
// that many bytes of frame data.
uint32_t PayloadOffset(const TPacketIdxInfo& packet);

// Reads length bytes of 4-byte length-prefixed units into payload, each
// prefix replaced by 00 00 00 01; a prefix longer than the rest is cut to it,
// and 3 bytes or fewer at the end are copied as they are. With a decryptor
// (its IV already set) the units are decrypted in place as one key stream:
// HEVC prefixes and units whole, H.264 units but their first byte.
void ConvertLengthPrefixes(DataReader& reader, uint8_t* payload, uint32_t length, bool hevc,
                           Utility::OpenSSLAESctr128* decryptor);

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

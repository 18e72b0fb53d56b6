// Turning an indexed sample into a packet: the packet assembly from its
// frame-information record, the sample read from the file (inflated,
// decrypted, its length prefixes rewritten as start codes) as its payload.
#ifndef STAMPWALK_VIEWWHILERECORDING_RAWPACKETBUILDER_H
#define STAMPWALK_VIEWWHILERECORDING_RAWPACKETBUILDER_H

#include <cstdint>

#include <boost/shared_ptr.hpp>
#include "isom/AVReader.h"

#include "common/AesCtr.h"
#include "viewwhilerecording/CodecInfo.h"
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

class RawPacketBuilder {
public:
    // The instance's sample reader, codec table and key (empty until set).
    RawPacketBuilder(DataReader& sampleReader, const CodecTable& codecTable,
                     const boost::shared_ptr<Utility::OpenSSLAESctr128>& decryptor)
        : sampleReader_(sampleReader), codecTable_(codecTable), decryptor_(decryptor) {}
    RawPacketBuilder(const RawPacketBuilder&) = delete;
    RawPacketBuilder& operator=(const RawPacketBuilder&) = delete;

    // A new packet holding one reference for the caller.
    TMediaPacket* Build(const TPacketIdxInfo& packet);

private:
    // The payload of a sample that is not compressed, decrypted when it has
    // a nonce and a key is set.
    void ReadPayload(const TPacketIdxInfo& packet, const Utility::CodecEntry* codec, uint8_t* payload);

    DataReader& sampleReader_;
    const CodecTable& codecTable_;
    const boost::shared_ptr<Utility::OpenSSLAESctr128>& decryptor_;
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

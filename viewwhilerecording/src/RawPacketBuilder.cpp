#include "viewwhilerecording/RawPacketBuilder.h"

#include <cstring>
#include <utility>

#include "common/PacketBlock.h"
#include "format/ByteOrder.h"
#include "format/FrameInfoRecord.h"
#include "format/NalUnits.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

// Drops the caller's reference unless the packet is handed on.
class PacketHold {
public:
    explicit PacketHold(TMediaPacket* packet) : packet_(packet) {}
    ~PacketHold() {
        if (packet_) packet_->releaseOps->release(packet_);
    }
    PacketHold(const PacketHold&) = delete;
    PacketHold& operator=(const PacketHold&) = delete;
    TMediaPacket* operator->() const { return packet_; }
    TMediaPacket* Release() { return std::exchange(packet_, nullptr); }

private:
    TMediaPacket* packet_;
};

}  // namespace

TMediaPacket* BuildPacketFromRecord(const TPacketIdxInfo& packet, uint32_t payloadLength) {
    return Utility::BuildPacket(packet.record.get(), packet.recordLength, payloadLength);
}

uint32_t PayloadOffset(const TPacketIdxInfo& packet) {
    if (!packet.record || packet.recordLength < Format::kRecordHeaderLengthOffset + 4) ThrowFormatError();
    return Format::LoadU32(packet.record.get() + Format::kRecordHeaderLengthOffset);
}

void ConvertLengthPrefixes(DataReader& reader, uint8_t* payload, uint32_t length, bool hevc,
                           Utility::OpenSSLAESctr128* decryptor) {
    reader.GetData(payload, length);
    // HEVC prefixes are protected with their units, in one key stream: they
    // can be read only once it has run over the whole sample.
    if (decryptor && hevc) decryptor->Decrypt(payload, payload, length);
    if (!decryptor || hevc) {
        Format::StartCodesInPlace(payload, length);
        return;
    }
    // An H.264 unit's header byte is stored in the clear, and so are the
    // prefixes; 3 bytes or fewer at the end are one more unit.
    const auto pastHeaderByte = [decryptor](uint8_t* unit, uint64_t unitLength) {
        if (unitLength > 1) decryptor->Decrypt(unit + 1, unit + 1, uint32_t(unitLength - 1));
    };
    const uint64_t tail = Format::StartCodesInPlace(payload, length, pastHeaderByte);
    pastHeaderByte(payload + tail, length - tail);
}

// ---- building ----------------------------------------------------------------

TMediaPacket* RawPacketBuilder::Build(const TPacketIdxInfo& packet) {
    sampleReader_.SetPosition(packet.offset);
    static const CodecInfo kNoCodecInfo;
    const auto found = codecTable_.find(packet.tag);
    const CodecInfo& info = found != codecTable_.end() ? found->second : kNoCodecInfo;
    const uint32_t payloadOffset = PayloadOffset(packet);
    // The sample's size needs no check against the file here: the scan took
    // the chunk only once its trailer, which follows the samples, was read.

    if (info.inflater) {
        uint8_t* input = info.inflater->PrepareInput(packet.size);
        sampleReader_.GetData(input, packet.size);
        const uint32_t produced = info.inflater->InflateInput(info.config.get(), info.configLength);
        PacketHold built(BuildPacketFromRecord(packet, produced));
        if (produced) std::memcpy(built->frameData + payloadOffset, info.inflater->Output(), produced);
        return built.Release();
    }

    PacketHold built(BuildPacketFromRecord(packet, packet.size));
    ReadPayload(packet, info.codec, built->frameData + payloadOffset);
    built->width = info.width;
    built->height = info.height;
    return built.Release();
}

void RawPacketBuilder::ReadPayload(const TPacketIdxInfo& packet, const Utility::CodecEntry* codec, uint8_t* payload) {
    // Without a key, protected samples are handed out as stored, length
    // prefixes and all.
    if (packet.nonce && !decryptor_) {
        sampleReader_.GetData(payload, packet.size);
        return;
    }
    Utility::OpenSSLAESctr128* key = packet.nonce ? decryptor_.get() : nullptr;
    // One key stream per sample, running on across its units.
    if (key) key->SetIV(packet.nonce.get());
    if (codec && codec->nalUnits) {
        const bool hevc = codec->decoderConfig == Utility::DecoderConfig::kHevc;
        ConvertLengthPrefixes(sampleReader_, payload, packet.size, hevc, key);
        return;
    }
    sampleReader_.GetData(payload, packet.size);
    if (key) key->Decrypt(payload, payload, packet.size);
}

}  // namespace ZENT::SDK::ViewWhileRecording

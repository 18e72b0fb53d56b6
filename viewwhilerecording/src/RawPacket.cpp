#include "viewwhilerecording/RawPacket.h"

#include "common/NalUnits.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/PacketBlock.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "viewwhilerecording/ViewWhileRecException.h"
#include "viewwhilerecording/ViewWhileRecImpl.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

using ZENT::SDK::Utility::kStartCode;
constexpr uint32_t kLengthPrefixSize = 4;
constexpr size_t kHeaderLengthOffset = 8;

uint32_t BigEndian32(const uint8_t* bytes) {
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

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
    if (!packet.record || packet.recordLength < kHeaderLengthOffset + 4) ThrowFormatError();
    return BigEndian32(packet.record.get() + kHeaderLengthOffset);
}

void ConvertLengthPrefixes(DataReader& reader, uint8_t* payload, uint32_t length, bool hevc,
                           Utility::OpenSSLAESctr128* decryptor) {
    uint8_t* out = payload;
    uint32_t remaining = length;
    while (remaining > 0) {
        uint32_t unitLength = remaining;
        if (remaining >= kLengthPrefixSize) {
            reader.GetData(out, kLengthPrefixSize);
            if (hevc && decryptor) decryptor->Decrypt(out, out, kLengthPrefixSize);
            const uint32_t prefix = BigEndian32(out);
            std::memcpy(out, kStartCode, sizeof(kStartCode));
            out += kLengthPrefixSize;
            remaining -= kLengthPrefixSize;
            // A prefix beyond the sample is cut to what is left of it.
            unitLength = std::min(prefix, remaining);
        }
        reader.GetData(out, unitLength);
        if (decryptor && unitLength > 0) {
            // An H.264 unit's header byte is stored in the clear.
            if (hevc)
                decryptor->Decrypt(out, out, unitLength);
            else
                decryptor->Decrypt(out + 1, out + 1, unitLength - 1);
        }
        out += unitLength;
        remaining -= unitLength;
    }
}

// ---- selection -------------------------------------------------------------

ViewWhileRecImpl::TrackChoice ViewWhileRecImpl::SelectTrackPacket(int16_t readDirection) {
    const PacketSelector::Selection selection =
        selector.Select(trackTable, readDirection, skipSeconds, keyFramesOnly);
    TrackChoice choice;
    choice.status = selection.status;
    if (selection.status != kOk) return choice;
    choice.tag = selection.tag;
    choice.track = trackTable.at(selection.tag);
    choice.packet = choice.track->pending;
    return choice;
}

int32_t ViewWhileRecImpl::SelectNextPacket() {
    if (trackTable.empty()) return -1;
    for (;;) {
        const TrackChoice choice = SelectTrackPacket(direction);
        if (choice.status != kOk) return choice.status;
        // Consumed whether or not it is handed out, so a failed read moves on.
        choice.track->pending.reset();
        selector.Invalidate(choice.tag);
        if ((videoOnly || skipSeconds != 0) && !choice.packet->isVideo) continue;
        ReplaceCurrentPacket(BuildRawPacket(*choice.packet));
        return kOk;
    }
}

void ViewWhileRecImpl::ReplaceCurrentPacket(TMediaPacket* packet) {
    TMediaPacket* previous = std::exchange(currentPacket, packet);
    if (previous) previous->releaseOps->release(previous);
}

// ---- building ----------------------------------------------------------------

TMediaPacket* ViewWhileRecImpl::BuildRawPacket(const TPacketIdxInfo& packet) {
    sampleReader.SetPosition(packet.offset);
    static const CodecInfo kNoCodecInfo;
    const auto found = codecTable.find(packet.tag);
    const CodecInfo& info = found != codecTable.end() ? found->second : kNoCodecInfo;
    const uint32_t payloadOffset = PayloadOffset(packet);
    // The sample's size needs no check against the file here: the scan took
    // the chunk only once its trailer, which follows the samples, was read.

    if (info.inflater) {
        uint8_t* input = info.inflater->PrepareInput(packet.size);
        sampleReader.GetData(input, packet.size);
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

void ViewWhileRecImpl::ReadPayload(const TPacketIdxInfo& packet, const Utility::CodecEntry* codec,
                                   uint8_t* payload) {
    // Without a key, protected samples are handed out as stored, length
    // prefixes and all.
    if (packet.nonce && !decryptor) {
        sampleReader.GetData(payload, packet.size);
        return;
    }
    Utility::OpenSSLAESctr128* key = packet.nonce ? decryptor.get() : nullptr;
    // One key stream per sample, running on across its units.
    if (key) key->SetIV(packet.nonce.get());
    if (codec && codec->nalUnits) {
        const bool hevc = codec->decoderConfig == Utility::DecoderConfig::kHevc;
        ConvertLengthPrefixes(sampleReader, payload, packet.size, hevc, key);
        return;
    }
    sampleReader.GetData(payload, packet.size);
    if (key) key->Decrypt(payload, payload, packet.size);
}

}  // namespace ZENT::SDK::ViewWhileRecording

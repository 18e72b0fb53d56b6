#include "common/FrameInfoParser.h"

#include <boost/thread/tss.hpp>

#include <cstring>
#include <stdexcept>

#include "common/BitReader.h"
#include "common/CodecTables.h"
#include "format/ByteOrder.h"

namespace ZENT::SDK::Utility {

namespace {

// Flag word bits (bit 0 is the least significant bit of the big-endian word).
constexpr uint32_t kFlagTaggedItems = 1u << 3;
constexpr uint32_t kFlagDaylightSaving = 1u << 11;
constexpr uint32_t kFlagDigitalInputValid = 1u << 17;
constexpr uint32_t kFlagUtc = 1u << 21;

constexpr int32_t kDaylightSavingOffset = -3600;
constexpr int32_t kZoneStepSeconds = 900;
constexpr uint32_t kZoneIndexOfUtc = 48;

// A big-endian number of up to 63 bytes. Values beyond 64 bits saturate; no
// extension area is that long, so skipping by them still ends the stream.
uint64_t ReadBigEndian(BitReader& bits, unsigned byteCount) {
    uint64_t value = 0;
    for (unsigned i = 0; i < byteCount; ++i) {
        uint32_t byte = bits.Read(8);
        value = value > (UINT64_MAX >> 8) ? UINT64_MAX : (value << 8) | byte;
    }
    return value;
}

struct ItemHeader {
    uint64_t tag;
    uint64_t length;
};

// Every tag and length byte value has a meaning; the short forms from 0xC0 up
// carry their length in the tag itself.
ItemHeader ReadItemHeader(BitReader& bits) {
    uint32_t tagByte = bits.Read(8);
    if (tagByte >= 0xE0) return {tagByte, 0};
    if (tagByte >= 0xC0) return {tagByte, 1};
    ItemHeader item{tagByte < 0x80 ? tagByte : ReadBigEndian(bits, tagByte & 7), 0};
    uint32_t lengthByte = bits.Read(8);
    if (lengthByte < 0x80)
        item.length = lengthByte;
    else if (lengthByte < 0xC0)
        item.length = ReadBigEndian(bits, lengthByte & 0x3F);
    else if (lengthByte < 0xE0)
        item.length = lengthByte & 3;
    else
        item.length = ReadBigEndian(bits, lengthByte & 3);
    return item;
}

// The fixed part always ends on a byte boundary (each window is 1 bit or 49,
// then 5 bits), so padding and items are whole bytes.
void ReadMotionWindows(BitReader& bits, TMediaPacket* packet) {
    for (int window = 0; window < 3; ++window) {
        uint32_t enabled = bits.Read(1);
        if (packet) packet->motionWindowEnabled[window] = enabled;
        if (!enabled) continue;
        uint32_t alert = bits.Read(1);
        if (packet) packet->motionWindowAlert[window] = alert;
        uint32_t level = bits.Read(7);
        if (packet) packet->motionLevel[window] = uint8_t(level);
        for (int corner = 0; corner < 4; ++corner) {
            uint32_t coordinate = bits.Read(10);
            if (packet) packet->motionWindowRect[window][corner] = uint16_t(coordinate);
        }
    }
    uint32_t extraFlag = bits.Read(1);
    if (packet) packet->motionExtraFlag = extraFlag;
    bits.Read(4);
}

void SkipPadding(BitReader& bits) {
    while (bits.BitsUnread() >= 8 && bits.Peek(8) == 0) bits.Read(8);
}

void ReadWindowOverrides(BitReader& bits, TMediaPacket* packet) {
    uint32_t count = bits.Read(8);
    for (uint32_t entry = 0; entry < count; ++entry) {
        uint32_t window = bits.Read(8);
        if (window < 1 || window > 3) {
            bits.SkipBytes(1 + 8);
            continue;
        }
        uint32_t index = window - 1;
        packet->motionWindowEnabled[index] = 1;
        packet->motionWindowAlert[index] = bits.Read(1);
        packet->motionLevel[index] = uint8_t(bits.Read(7));
        for (int corner = 0; corner < 4; ++corner) packet->motionWindowRect[index][corner] = uint16_t(bits.Read(16));
    }
}

// One byte that is not part of the value, then up to four value bytes, least
// significant first; the item never takes more than its declared length.
void ReadEventFlags(BitReader& bits, uint64_t length, TMediaPacket* packet) {
    uint64_t valueBytes = 0;
    if (length > 0) {
        bits.SkipBytes(1);
        valueBytes = length - 1 < 4 ? length - 1 : 4;
    }
    uint32_t value = 0;
    for (uint64_t i = 0; i < valueBytes; ++i) value |= bits.Read(8) << (8 * i);
    if (length > 1 + valueBytes) bits.SkipBytes(length - 1 - valueBytes);
    packet->eventFlags = value;
}

void SkipRest(BitReader& bits, uint64_t length, uint64_t taken) {
    if (length > taken) bits.SkipBytes(length - taken);
}

void ApplyItems(BitReader& bits, TMediaPacket* packet) {
    while (bits.BytesUnread() > 0) {
        ItemHeader item = ReadItemHeader(bits);
        switch (item.tag) {
            case 16:  // the length is not consulted
                for (uint16_t& value : packet->tag16Values) value = uint16_t(bits.Read(16));
                packet->hasTag16 = 1;
                break;
            case 17:  // the length is not consulted
                ReadWindowOverrides(bits, packet);
                break;
            case 18: ReadEventFlags(bits, item.length, packet); break;
            case 24: {
                uint32_t bit = bits.Read(1);
                bits.Read(7);
                packet->tag24Value = 0x10000 + bit;
                SkipRest(bits, item.length, 1);
                break;
            }
            case 224:
            case 225:  // 0x10000 for tag 224, 0x10001 for tag 225
                packet->tag224Value = 0x10000 + uint32_t(item.tag - 224);
                SkipRest(bits, item.length, 0);
                break;
            case 227:
                packet->tag227Flag = 1;
                SkipRest(bits, item.length, 0);
                break;
            default:  // tag 20 included: the trigger collection reads it
                bits.SkipBytes(item.length);
                break;
        }
    }
}

void ReadVideoExtension(BitReader& bits, uint32_t flags, TMediaPacket* packet) {
    ReadMotionWindows(bits, packet);
    if (!(flags & kFlagTaggedItems)) return;
    SkipPadding(bits);
    packet->headerExtSize = uint32_t(bits.BytesUnread());
    packet->headerExtData = packet->frameData + packet->headerSize - packet->headerExtSize;
    ApplyItems(bits, packet);
}

void ReadAudioExtension(BitReader& bits, TMediaPacket* packet) {
    uint32_t uniform = bits.Read(1);
    packet->uniformFrameSize = uniform;
    uint32_t ratePresent = bits.Read(1);
    uint32_t optionalPresent = bits.Read(1);
    packet->audio.audioFlag = uint8_t(bits.Read(1));
    bits.Read(4);
    uint32_t frameCount = bits.Read(8);
    packet->frameCount = frameCount;
    bits.Read(16);  // first frame size
    if (!uniform && frameCount > 1) bits.SkipBytes(2 * uint64_t(frameCount - 1));
    if (ratePresent) {
        packet->sampleRate = bits.Read(24);
        packet->channels = uint8_t(bits.Read(8));
    }
    if (optionalPresent) packet->audio.audioOptionalValue = bits.Read(24);
}

void ReadTriggerRecords(BitReader& bits, std::vector<TMotionTriggerInfoEx>& triggers) {
    uint32_t count = bits.Read(8);
    for (uint32_t i = 0; i < count; ++i) {
        TMotionTriggerInfoEx record;
        std::memset(&record, 0, sizeof record);
        record.identifier = uint8_t(bits.Read(8));
        record.valid = 1;
        record.flag = bits.Read(1);
        record.value = uint8_t(bits.Read(7));
        for (uint16_t& value : record.values) value = uint16_t(bits.Read(16));
        triggers.push_back(record);
    }
}

std::vector<TMotionTriggerInfoEx>& ThreadTriggerList() {
    static boost::thread_specific_ptr<std::vector<TMotionTriggerInfoEx>> list;
    if (!list.get()) list.reset(new std::vector<TMotionTriggerInfoEx>());
    return *list;
}

}  // namespace

uint32_t CheckedMediaHeaderSize(const uint8_t* header, size_t headerLength) {
    if (!header || headerLength < kMediaHeaderFixedSize) throw std::runtime_error("media header shorter than 20 bytes");
    uint32_t headerSize = uint32_t(kMediaHeaderFixedSize) + 4 * uint32_t(header[Format::kMediaExtensionCountOffset]);
    if (headerSize > headerLength) throw std::runtime_error("media header extension longer than the header");
    return headerSize;
}

void ParseFrameHeader(TMediaPacket* packet, size_t headerLength) {
    if (!packet) throw std::runtime_error("no packet to parse");
    const uint8_t* header = packet->frameData;
    uint32_t headerSize = CheckedMediaHeaderSize(header, headerLength);
    uint32_t lengthWord = Format::LoadU32(header + Format::kMediaLengthWordOffset);
    if (uint64_t(lengthWord) + 4 < headerSize)
        throw std::runtime_error("media header length word shorter than the header");

    packet->motionInfo = packet->motionWindowEnabled;
    packet->headerSize = headerSize;
    packet->payloadSize = uint32_t(uint64_t(lengthWord) + 4 - headerSize);

    uint8_t typeByte = header[Format::kMediaFrameTypeOffset];
    uint32_t flags = Format::LoadU32(header + Format::kMediaFlagsOffset);
    if (const CodecEntry* codec = FindCodecByHeaderCode(Format::LoadU32(header + Format::kMediaCodecCodeOffset))) {
        packet->codecType = codec->codecType;
        if (codec->kind == CodecKind::kVideo) packet->frameCount = 1;
        if (codec->sampleRate && !codec->rateOverridesHeader) {
            packet->sampleRate = codec->sampleRate;
            packet->channels = codec->channels;
        }
        BitReader bits(header + kMediaHeaderFixedSize, header + headerSize);
        if (codec->kind == CodecKind::kVideo) ReadVideoExtension(bits, flags, packet);
        if (codec->kind == CodecKind::kAudio) ReadAudioExtension(bits, packet);
        if (codec->rateOverridesHeader) {
            packet->sampleRate = codec->sampleRate;
            packet->channels = codec->channels;
        }
    }

    packet->frameType = int32_t(typeByte >> 4);
    packet->diAlert = typeByte & 0x0F;
    packet->eventFlags |= ((flags >> 22) & 3) | ((flags >> 16) & 0x0C);
    packet->hasFrameInfo = 1;
    packet->headerFlag20 = (flags >> 20) & 1;
    if (flags & kFlagDigitalInputValid) packet->diAlert = ((flags >> 13) & 0x0F) | (typeByte & 0x0F);

    uint32_t seconds = Format::LoadU32(header + Format::kMediaSecondsOffset);
    packet->milliseconds = Format::LoadU16(header + Format::kMediaMillisecondsOffset);
    packet->hasTimeZone = 1;
    int32_t daylightSaving = (flags & kFlagDaylightSaving) ? kDaylightSavingOffset : 0;
    int32_t zoneOffset = (int32_t((flags >> 4) & 0x7F) - int32_t(kZoneIndexOfUtc)) * kZoneStepSeconds;
    packet->daylightSaving = daylightSaving;
    packet->timeZoneOffset = zoneOffset;
    // Local times become UTC here; sums wrap in 32 bits like the stored seconds.
    if (!(flags & kFlagUtc)) seconds = uint32_t(zoneOffset) - uint32_t(daylightSaving) + seconds;
    packet->seconds = seconds;
    packet->localSeconds = int32_t(uint32_t(daylightSaving) - uint32_t(zoneOffset) + seconds);
}

void ParseFrameHeader(TMediaPacket* packet) {
    if (!packet || !packet->frameData) throw std::runtime_error("no media header to parse");
    ParseFrameHeader(packet, kMediaHeaderFixedSize + 4 * size_t(packet->frameData[Format::kMediaExtensionCountOffset]));
}

const std::vector<TMotionTriggerInfoEx>& CollectMotionTriggers(const uint8_t* header, size_t headerLength) {
    std::vector<TMotionTriggerInfoEx>& triggers = ThreadTriggerList();
    triggers.clear();
    uint32_t headerSize = CheckedMediaHeaderSize(header, headerLength);
    const CodecEntry* codec = FindCodecByHeaderCode(Format::LoadU32(header + Format::kMediaCodecCodeOffset));
    uint32_t flags = Format::LoadU32(header + Format::kMediaFlagsOffset);
    if (!codec || codec->kind != CodecKind::kVideo || !(flags & kFlagTaggedItems)) return triggers;

    BitReader bits(header + kMediaHeaderFixedSize, header + headerSize);
    ReadMotionWindows(bits, nullptr);
    SkipPadding(bits);
    while (bits.BytesUnread() > 0) {
        ItemHeader item = ReadItemHeader(bits);
        if (item.tag == 20)  // the length is not consulted
            ReadTriggerRecords(bits, triggers);
        else
            bits.SkipBytes(item.length);
    }
    return triggers;
}

}  // namespace ZENT::SDK::Utility

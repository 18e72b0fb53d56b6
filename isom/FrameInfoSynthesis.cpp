#include "isom/FrameInfoSynthesis.h"

#include <cstring>

#include "common/CodecTables.h"
#include "format/ByteOrder.h"
#include "format/FrameInfoRecord.h"
#include "isom/AVReader.h"

namespace ZENT::SDK::Pelagor2 {

namespace {

const uint8_t kUtcFlagWord[4] = {0x00, 0x20, 0x13, 0x04};

// AMR frame sizes (without the table-of-contents byte) by frame type.
const uint8_t kAmrFrameSizes[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 5};

using Format::StoreU16;
using Format::StoreU24;
using Format::StoreU32;

// The first word of a codec extension: a mark byte, a count byte and a
// 16-bit size.
void WriteExtensionWord(uint8_t* out, uint8_t mark, uint8_t count, uint32_t size) {
    out[0] = mark;
    out[1] = count;
    StoreU16(out + 2, size);
}

// An audio extension: the first word, then the 24-bit sample rate and the
// channel count.
void WriteAudioExtension(uint8_t* out, uint8_t mark, uint8_t count, uint32_t size, uint32_t rate, uint8_t channels) {
    WriteExtensionWord(out, mark, count, size);
    StoreU24(out + 4, rate);
    out[7] = channels;
}

// The codec extension, most significant bit first.
void WriteExtension(uint32_t codecType, const SampleDescription* d, uint8_t firstPayloadByte, uint32_t length,
                    uint8_t* out) {
    const uint32_t rate = d ? d->sampleRate & 0xFFFFFF : 0;
    const uint8_t channels = d ? uint8_t(d->channelCount) : 0;
    switch (codecType) {
        case kCodecAac: WriteAudioExtension(out, 0x40, 0x01, length, rate, channels); break;
        case kCodecSamr: {
            // One frame's size, its table-of-contents byte included; an
            // empty sample has no first frame to tell it.
            uint32_t frameSize = 1;
            if (length > 0) frameSize = 1u + kAmrFrameSizes[(firstPayloadByte >> 3) & 0x0F];
            WriteAudioExtension(out, 0xC0, uint8_t(length / frameSize), frameSize, rate, channels);
            break;
        }
        case kCodecUlaw:
        case kCodecAlaw: WriteAudioExtension(out, 0xC0, 0x01, length, rate, channels); break;
        case kCodecG726:
            WriteAudioExtension(out, 0xB0, 0x01, length, (d ? uint32_t(d->sampleSize) : 0) * 8000, 0);
            break;
        case kCodecG7221: WriteExtensionWord(out, 0x80, 0x04, length / 4); break;
        case kCodecG729: WriteExtensionWord(out, 0x80, uint8_t(length / 11), 11); break;
        default: break;  // four zero bytes
    }
}

}  // namespace

uint64_t TimelineMilliseconds(double startOffset, double sampleTime) {
    double ms = startOffset * 1000.0 + sampleTime * 1000.0 + 0.5;
    if (!(ms > 0)) return 0;
    if (ms >= 18446744073709551616.0) return UINT64_MAX;
    return uint64_t(ms);
}

size_t SynthesizeFrameInfo(const Utility::CodecEntry& codec, const TrackRecord& track, const TrackTimeline& timeline,
                           uint32_t j, uint8_t firstPayloadByte, uint32_t length, uint8_t* record) {
    std::memset(record, 0, kSynthesizedRecordCapacity);
    const uint32_t codecType = codec.codecType;
    const uint32_t extensionWords = codec.longHeader ? 2 : 1;
    const uint32_t headerLength = uint32_t(Format::kMediaHeaderFixedSize) + 4 * extensionWords;
    StoreU32(record + Format::kRecordHeaderLengthOffset, headerLength);
    // The user-data length and the header's length word stay zero.
    StoreU32(record + Format::kRecordCodecCodeOffset, codec.headerCode);

    const IndexEntry& entry = timeline.entries[j];
    record[Format::kRecordFrameTypeOffset] =
        (codecType < 0xFF && entry.syncFlag != 1) ? uint8_t(Format::kFirstNonKeyFrameType) : 0x00;
    std::memcpy(record + Format::kRecordFlagsOffset, kUtcFlagWord, 4);

    const uint64_t created =
        track.header.creationTime < kSecondsFrom1904To1970 ? kSecondsFrom1904To1970 : track.header.creationTime;
    const uint64_t ms = TimelineMilliseconds(timeline.startOffset, entry.time());
    StoreU32(record + Format::kRecordSecondsOffset, uint32_t(created + ms / 1000 - kSecondsFrom1904To1970));
    StoreU16(record + Format::kRecordMillisecondsOffset, uint32_t(ms % 1000));
    record[Format::kRecordExtensionCountOffset] = uint8_t(extensionWords);
    WriteExtension(codecType, track.firstDescription(), firstPayloadByte, length,
                   record + Format::kRecordExtensionOffset);
    return Format::kRecordMediaHeaderOffset + headerLength;
}

}  // namespace ZENT::SDK::Pelagor2

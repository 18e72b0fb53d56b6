#include "isom/SampleDescription.h"

#include "common/CodecTables.h"
#include "format/BadFormat.h"
#include "format/BoxHeader.h"
#include "format/FourCC.h"
#include "format/MetadataEntry.h"

namespace ZENT::SDK::Pelagor2 {

using Format::BoxHeader;
using Format::BoxView;
using Format::FourCC;
using ZENT::SDK::Utility::CodecKind;
using ZENT::SDK::Utility::DecoderConfig;

namespace {

// The codec of an entry read whole (a protected one by the type its "frma"
// gives): "mp4v" by the stream's object type, "mett" by its metadata form,
// every other type by itself.
void ResolveCodec(SampleDescription& d) {
    if (d.type == FourCC("mp4v")) {
        d.codec = Utility::FindCodecByObjectType(d.es.objectTypeIndication);
    } else if (d.type == FourCC("mett")) {
        d.metadataForm = Format::ClassifyMetadataEntry(d.genericConfig.data(), d.genericConfig.size());
        d.codec = d.metadataForm == MetadataForm::kNone ? nullptr : Utility::FindCodec(kCodecMetj);
    } else {
        d.codec = Utility::FindCodecBySampleEntry(d.type);
    }
}

typedef void (*EntryChildReader)(BoxView payload, SampleDescription& description);

struct EntryChild {
    uint32_t type;
    EntryChildReader read;  // null: passed over
};

template <size_t N>
void WalkEntryChildren(BoxView view, SampleDescription& description, const EntryChild (&table)[N]) {
    BoxHeader header;
    while (ReadChildHeader(view, header)) {
        for (const EntryChild& child : table) {
            if (child.type == header.type) {
                if (child.read) child.read(PayloadOf(view, header), description);
                break;
            }
        }
        view.SeekTo(header.end);
    }
}

void ReadAvcC(BoxView view, SampleDescription& d) {
    d.avcConfig = view.Rest();
    d.avcLengthSizeMinusOne = d.avcConfig.size() < 5 ? 3 : (d.avcConfig[4] & 3);
}

void ReadHvcC(BoxView view, SampleDescription& d) {
    d.hevcConfig = view.Rest();
    d.hevcLengthSizeMinusOne = d.hevcConfig.size() < 22 ? 3 : (d.hevcConfig[21] & 3);
}

void ReadBtrt(BoxView view, SampleDescription& d) {
    d.bitRate.bufferSizeDB = view.U32();
    d.bitRate.maxBitrate = view.U32();
    d.bitRate.avgBitrate = view.U32();
}

void ReadEsds(BoxView view, SampleDescription& d) { ReadEsDescriptor(view, d); }

void ReadDamr(BoxView view, SampleDescription& d) { d.amrConfig = view.Rest(); }

void ReadGenericConfig(BoxView view, SampleDescription& d) { d.genericConfig = view.Rest(); }

void ReadFrma(BoxView view, SampleDescription& d) { d.type = view.U32(); }

void ReadSchm(BoxView view, SampleDescription& d) {
    d.scheme.version = view.U8();
    d.scheme.flags = view.U24();
    d.scheme.schemeType = view.U32();
    d.scheme.schemeVersion = view.U32();
}

void ReadTenc(BoxView view, SampleDescription& d) {
    TrackEncryption& e = d.encryption;
    e.version = view.U8();
    e.flags = view.U24();
    view.Skip(2);
    e.defaultIsProtected = view.U8();
    e.defaultPerSampleIvSize = view.U8();
    for (uint8_t& byte : e.defaultKid) byte = view.U8();
    if (e.defaultPerSampleIvSize == 0) {
        uint8_t constantIvSize = view.U8();
        view.Skip(constantIvSize);  // the constant IV is not kept
    }
}

const EntryChild kSchiChildren[] = {{FourCC("tenc"), ReadTenc}};

void ReadSchi(BoxView view, SampleDescription& d) { WalkEntryChildren(view, d, kSchiChildren); }

const EntryChild kSinfChildren[] = {{FourCC("frma"), ReadFrma}, {FourCC("schm"), ReadSchm}, {FourCC("schi"), ReadSchi}};

void ReadSinf(BoxView view, SampleDescription& d) { WalkEntryChildren(view, d, kSinfChildren); }

const EntryChild kAvcEntryChildren[] = {
    {FourCC("avcC"), ReadAvcC}, {FourCC("btrt"), ReadBtrt}, {FourCC("m4ds"), nullptr}};
const EntryChild kEncvEntryChildren[] = {{FourCC("avcC"), ReadAvcC}, {FourCC("btrt"), ReadBtrt},
                                         {FourCC("hvcC"), ReadHvcC}, {FourCC("esds"), ReadEsds},
                                         {FourCC("sinf"), ReadSinf}, {FourCC("m4ds"), nullptr}};
const EntryChild kHevcEntryChildren[] = {
    {FourCC("hvcC"), ReadHvcC}, {FourCC("btrt"), ReadBtrt}, {FourCC("m4ds"), nullptr}};
const EntryChild kVisualEntryChildren[] = {{FourCC("esds"), ReadEsds}};
const EntryChild kAudioEntryChildren[] = {{FourCC("esds"), ReadEsds},
                                          {FourCC("729a"), ReadGenericConfig},
                                          {FourCC("729b"), ReadGenericConfig},
                                          {FourCC("d722"), ReadGenericConfig}};
const EntryChild kEncaEntryChildren[] = {{FourCC("esds"), ReadEsds},          {FourCC("729a"), ReadGenericConfig},
                                         {FourCC("729b"), ReadGenericConfig}, {FourCC("d722"), ReadGenericConfig},
                                         {FourCC("damr"), ReadDamr},          {FourCC("sinf"), ReadSinf}};

void ReadVisualFields(BoxView& view, SampleDescription& d, bool withResolution) {
    view.Skip(16);
    d.width = view.U16();
    d.height = view.U16();
    if (withResolution) {
        d.horizontalResolution = view.U32();
        d.verticalResolution = view.U32();
        view.Skip(42);
    } else {
        view.Skip(50);
    }
}

void ReadAudioFields(BoxView& view, SampleDescription& d) {
    uint16_t soundVersion = view.U16();
    view.Skip(6);
    d.channelCount = view.U16();
    d.sampleSize = view.U16();
    view.Skip(4);
    d.sampleRate = view.U32() >> 16;
    // QuickTime sound descriptions of version 1 and 2 carry 16 and 36 more
    // bytes before their child boxes.
    if (soundVersion == 1)
        view.Skip(16);
    else if (soundVersion == 2)
        view.Skip(36);
}

// Descriptor lengths: up to four bytes of seven bits, most significant first,
// bit 7 set on all but the last.
uint32_t ReadDescriptorLength(BoxView& view) {
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = view.U8();
        length = (length << 7) | (b & 0x7F);
        if (!(b & 0x80)) break;
    }
    return length;
}

// An entry whose type names its codec is laid out by the box the codec's
// configuration comes in, or else by the codec's kind.
void ReadCodecEntry(const Utility::CodecEntry& codec, BoxView& view, SampleDescription& d) {
    switch (codec.decoderConfig) {
        case DecoderConfig::kAvc:
            d.es.objectTypeIndication = 0xF1;
            ReadVisualFields(view, d, false);
            WalkEntryChildren(view, d, kAvcEntryChildren);
            return;
        case DecoderConfig::kHevc:
            d.es.objectTypeIndication = 0;
            ReadVisualFields(view, d, false);
            WalkEntryChildren(view, d, kHevcEntryChildren);
            return;
        case DecoderConfig::kAmr: {
            ReadAudioFields(view, d);
            BoxHeader header;
            if (ReadChildHeader(view, header) && header.type == FourCC("damr"))
                d.amrConfig = PayloadOf(view, header).Rest();
            return;
        }
        case DecoderConfig::kGeneric: break;
    }
    switch (codec.kind) {
        case CodecKind::kVideo:
            // "s263": the picture size, and nothing after it is read.
            d.es.objectTypeIndication = 0xF2;
            view.Skip(16);
            d.width = view.U16();
            d.height = view.U16();
            return;
        case CodecKind::kAudio:
            ReadAudioFields(view, d);
            WalkEntryChildren(view, d, kAudioEntryChildren);
            return;
        case CodecKind::kMetadata: d.genericConfig = view.Rest(); return;
        case CodecKind::kOther: return;
    }
}

}  // namespace

void ReadEsDescriptor(BoxView view, SampleDescription& d) {
    EsDescriptor& es = d.es;
    es.version = view.U8();
    es.flags = view.U24();
    if (view.remaining() == 0 || view.U8() != 3) return;  // not an ES_Descriptor: the rest is ignored
    int64_t left = int64_t(ReadDescriptorLength(view)) - 3;
    es.esId = view.U16();
    uint8_t flags = view.U8();
    es.streamDependenceFlag = (flags >> 7) & 1;
    es.urlFlag = (flags >> 6) & 1;
    es.ocrStreamFlag = (flags >> 5) & 1;
    es.streamPriority = flags & 0x1F;
    // The count of bytes left assumes four-byte descriptor lengths; the box's
    // own end stops the walk whatever it says.
    while (left > 0 && view.remaining() > 0) {
        uint8_t tag = view.U8();
        if (tag == 4) {
            ReadDescriptorLength(view);
            es.objectTypeIndication = view.U8();
            es.streamTypeByte = view.U8();
            es.bitRate.bufferSizeDB = view.U24();
            es.bitRate.maxBitrate = view.U32();
            es.bitRate.avgBitrate = view.U32();
            left -= 18;
            if (left != 0 && view.remaining() > 0) {
                if (view.U8() == 5) {
                    uint64_t length = ReadDescriptorLength(view);
                    if (length > view.remaining()) length = view.remaining();
                    es.decoderSpecificInfoPosition = view.filePosition();
                    d.genericConfig = view.Bytes(length);
                    left -= int64_t(length) + 4;
                }
            }
        } else if (tag == 6) {
            uint64_t length = ReadDescriptorLength(view);
            if (length > view.remaining()) length = view.remaining();
            view.Skip(length);
            left -= int64_t(length) + 5;
        } else {
            left -= 1;
        }
    }
}

void ReadSampleEntry(uint32_t type, BoxView view, SampleDescription& d) {
    d.type = type;
    view.Skip(6);
    d.dataReferenceIndex = view.U16();
    if (const Utility::CodecEntry* codec = Utility::FindCodecBySampleEntry(type)) {
        ReadCodecEntry(*codec, view, d);
    } else {
        switch (type) {
            case FourCC("encv"):
                ReadVisualFields(view, d, true);
                WalkEntryChildren(view, d, kEncvEntryChildren);
                break;
            case FourCC("mp4v"):
                ReadVisualFields(view, d, true);
                WalkEntryChildren(view, d, kVisualEntryChildren);
                break;
            case FourCC("avs2"):
                d.es.objectTypeIndication = 0xF4;
                ReadVisualFields(view, d, true);
                WalkEntryChildren(view, d, kVisualEntryChildren);
                break;
            case FourCC("enca"):
                ReadAudioFields(view, d);
                WalkEntryChildren(view, d, kEncaEntryChildren);
                break;
            case FourCC("mett"): d.genericConfig = view.Rest(); break;
            default: break;  // only the type and the data reference index are kept
        }
    }
    ResolveCodec(d);
}

}  // namespace ZENT::SDK::Pelagor2

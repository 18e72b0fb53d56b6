#include "common/CodecTables.h"

#include "isom/AVReader.h"

namespace ZENT::SDK::Utility {

const CodecEntry kCodecTable[] = {
    {kCodecJpeg, "JPEG", 0, FourCC("jpeg"), FourCCLittle("JPEG")},
    {kCodecH263, "H263", FourCC("s263"), FourCC("h263"), FourCCLittle("H263")},
    {kCodecMp4v, "MP4V", 0, FourCC("mp4v"), FourCCLittle("MP4V")},
    {kCodecH264, "H264", FourCC("avc1"), FourCC("h264"), FourCCLittle("H264")},
    {kCodecHevc, "HEVC", FourCC("hvc1"), FourCC("h265"), FourCCLittle("HEVC")},
    {kCodecDummyVideo, nullptr, 0, 0, 0},
    {kCodecG7221, "G722", FourCC("g722"), FourCC("7221"), FourCCLittle("G722")},
    {kCodecG729, "G729", FourCC("g729"), FourCC("729A"), FourCCLittle("G729")},
    {kCodecAac, "AAC4", FourCC("mp4a"), FourCC("aac "), FourCCLittle("AAC4")},
    {kCodecGamr, nullptr, 0, 0, 0},
    // Named "GAMR" although its header code is "SAMR".
    {kCodecSamr, "GAMR", FourCC("samr"), FourCC("SAMR"), FourCCLittle("GAMR")},
    {kCodecUlaw, "ULAW", FourCC("ulaw"), FourCC("PCMU"), FourCCLittle("ULAW")},
    {kCodecAlaw, "ALAW", FourCC("alaw"), FourCC("PCMA"), FourCCLittle("ALAW")},
    {kCodecG726, "G726", FourCC("g726"), FourCC("G726"), FourCCLittle("G726")},
    {kCodecDummyAudio, nullptr, 0, 0, 0},
    {kCodecIva1, "IVA1", 0, 0, 0},
    {kCodecMetx, "METX", FourCC("metx"), FourCC("metx"), FourCCLittle("METX")},
    {kCodecMetj, "METJ", 0, FourCC("metj"), FourCCLittle("METJ")},
};
const unsigned kCodecTableSize = sizeof(kCodecTable) / sizeof(kCodecTable[0]);

const CodecEntry* FindCodec(uint32_t codecType) {
    for (unsigned i = 0; i < kCodecTableSize; ++i)
        if (kCodecTable[i].codecType == codecType) return &kCodecTable[i];
    return nullptr;
}

const char* CodecName(uint32_t codecType) {
    const CodecEntry* entry = FindCodec(codecType);
    return entry && entry->name ? entry->name : "????";
}

uint32_t CodecTrackFourCC(uint32_t codecType) {
    const CodecEntry* entry = FindCodec(codecType);
    return entry ? entry->trackFourCC : 0;
}

uint32_t CodecHeaderCode(uint32_t codecType) {
    const CodecEntry* entry = FindCodec(codecType);
    return entry ? entry->headerCode : 0;
}

uint32_t CodecTypeFromSampleEntry(uint32_t entryType) {
    if (entryType == FourCC("hev1")) return kCodecHevc;
    for (unsigned i = 0; i < kCodecTableSize; ++i)
        if (kCodecTable[i].sampleEntry != 0 && kCodecTable[i].sampleEntry == entryType)
            return kCodecTable[i].codecType;
    return 0;
}

}  // namespace ZENT::SDK::Utility

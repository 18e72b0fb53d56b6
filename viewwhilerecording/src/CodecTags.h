// The codec tags of a recording in progress: the four characters read as a
// little-endian number, so "H264" is 0x34363248.
#ifndef STAMPWALK_VIEWWHILERECORDING_CODECTAGS_H
#define STAMPWALK_VIEWWHILERECORDING_CODECTAGS_H

#include <cstdint>

#include "common/CodecTables.h"

namespace ZENT::SDK::ViewWhileRecording {

using Utility::FourCCLittle;

constexpr uint32_t kTagH264 = FourCCLittle("H264");
constexpr uint32_t kTagHevc = FourCCLittle("HEVC");
constexpr uint32_t kTagH263 = FourCCLittle("H263");
constexpr uint32_t kTagJpeg = FourCCLittle("JPEG");
constexpr uint32_t kTagMp4v = FourCCLittle("MP4V");
constexpr uint32_t kTagG711 = FourCCLittle("G711");
constexpr uint32_t kTagG722 = FourCCLittle("G722");
constexpr uint32_t kTagG726 = FourCCLittle("G726");
constexpr uint32_t kTagG729 = FourCCLittle("G729");
constexpr uint32_t kTagGamr = FourCCLittle("GAMR");
constexpr uint32_t kTagAac4 = FourCCLittle("AAC4");
constexpr uint32_t kTagMett = FourCCLittle("METT");
constexpr uint32_t kTagMetj = FourCCLittle("METJ");
constexpr uint32_t kTagNorv = FourCCLittle("NORV");

constexpr bool IsVideoTag(uint32_t tag) {
    return tag == kTagH263 || tag == kTagH264 || tag == kTagHevc || tag == kTagJpeg || tag == kTagMp4v;
}

// G711 is not among them: its configuration is reported as the audio tag.
constexpr bool IsAudioTag(uint32_t tag) {
    return tag == kTagG722 || tag == kTagAac4 || tag == kTagG726 || tag == kTagG729 || tag == kTagGamr;
}

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

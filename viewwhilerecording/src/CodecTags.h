// The tags of a recording in progress that are not a codec's own: the four
// characters read as a little-endian number, so "G711" is 0x31313747. Codec
// tags are the recording tags of the codec table.
#ifndef STAMPWALK_VIEWWHILERECORDING_CODECTAGS_H
#define STAMPWALK_VIEWWHILERECORDING_CODECTAGS_H

#include <cstdint>

#include "common/CodecTables.h"
#include "format/FourCC.h"

namespace ZENT::SDK::ViewWhileRecording {

using Format::FourCCLittle;

// Either G.711 law; the configuration names the one.
constexpr uint32_t kTagG711 = FourCCLittle("G711");
// Timed metadata, "METJ" once its configuration shows one of the two forms.
constexpr uint32_t kTagMett = FourCCLittle("METT");
constexpr uint32_t kTagMetj = Utility::FindCodec(kCodecMetj)->recordingTag;
// The trailer record of a chunk.
constexpr uint32_t kTagNorv = FourCCLittle("NORV");

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

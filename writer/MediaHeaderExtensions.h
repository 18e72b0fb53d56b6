// The extension areas of media headers: the audio frame information and the
// video frame's three motion windows, packed MSB first.
#ifndef STAMPWALK_WRITER_MEDIAHEADEREXTENSIONS_H
#define STAMPWALK_WRITER_MEDIAHEADEREXTENSIONS_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "writer/ByteWriter.h"

namespace writer {

struct MotionWindow {
    bool enabled = false;
    bool alert = false;
    uint8_t level = 0;               // percent, 7 bits
    std::array<uint16_t, 4> rect{};  // 10 bits each
};

// Per window the enabled bit and, when enabled, the alert bit, the level and
// the rectangle; then the extra flag and four zero bits. Always whole bytes:
// 1 plus 6 per enabled window (MediaHeaderBytes pads to whole words).
Bytes VideoExtensionBytes(const std::array<MotionWindow, 3>& windows = {}, bool extraFlag = false);

struct AudioExtension {
    bool uniform = true;
    bool audioFlag = false;
    uint8_t frameCount = 1;
    // The first frame's size, then (only when not uniform) the others'.
    std::vector<uint16_t> frameSizes;
    std::optional<uint32_t> sampleRate;  // 24 bits, written with the channels
    uint8_t channels = 1;
    std::optional<uint32_t> optionalValue;  // 24 bits
};

// Four flag bits, four zero bits, the frame count, the sizes, the rate and
// channels, the optional value.
Bytes AudioExtensionBytes(const AudioExtension& extension);

}  // namespace writer

#endif

#include "writer/MediaHeaderExtensions.h"

namespace writer {

Bytes VideoExtensionBytes(const std::array<MotionWindow, 3>& windows, bool extraFlag) {
    BitWriter bits;
    for (const MotionWindow& window : windows) {
        bits.flag(window.enabled);
        if (!window.enabled) continue;
        bits.flag(window.alert).bits(window.level, 7);
        for (uint16_t coordinate : window.rect) bits.bits(coordinate, 10);
    }
    bits.flag(extraFlag).bits(0, 4);
    return bits.bytes();
}

Bytes AudioExtensionBytes(const AudioExtension& extension) {
    BitWriter bits;
    bits.flag(extension.uniform).flag(extension.sampleRate.has_value()).flag(extension.optionalValue.has_value());
    bits.flag(extension.audioFlag).bits(0, 4).bits(extension.frameCount, 8);
    bits.bits(extension.frameSizes.empty() ? 0 : extension.frameSizes[0], 16);
    if (!extension.uniform && extension.frameCount > 1) {
        for (unsigned i = 1; i < extension.frameCount; ++i)
            bits.bits(i < extension.frameSizes.size() ? extension.frameSizes[i] : 0, 16);
    }
    if (extension.sampleRate) bits.bits(*extension.sampleRate, 24).bits(extension.channels, 8);
    if (extension.optionalValue) bits.bits(*extension.optionalValue, 24);
    return bits.bytes();
}

}  // namespace writer

#include "analysis/Utf8.h"

namespace ZENT::SDK::Analysis {

namespace {

bool InRange(std::string_view text, size_t at, unsigned low, unsigned high) {
    if (at >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[at]);
    return byte >= low && byte <= high;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (!InRange(text, at + 1, low, high)) return 0;
    for (size_t next = 2; next < length; ++next) {
        if (!InRange(text, at + next, 0x80, 0xBF)) return 0;
    }
    return length;
}

}  // namespace ZENT::SDK::Analysis

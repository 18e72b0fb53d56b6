#include "app/RunOptions.h"

#include <cstring>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseBytes(const std::string& text, std::array<uint8_t, 16>& bytes) {
    if (text.size() != 2 * bytes.size()) return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

}  // namespace

std::optional<TrackKey> ParseTrackKey(const std::string& text) {
    TrackKey key;
    const size_t colon = text.find(':');
    if (colon != std::string::npos) {
        std::array<uint8_t, 16> kid{};
        if (!ParseBytes(text.substr(0, colon), kid)) return std::nullopt;
        key.kid = kid;
    }
    if (!ParseBytes(colon == std::string::npos ? text : text.substr(colon + 1), key.key)) return std::nullopt;
    return key;
}

const TrackKey* KeyFor(const std::vector<TrackKey>& keys, const uint8_t* kid, size_t kidSize) {
    const TrackKey* forAll = nullptr;
    for (const TrackKey& key : keys) {
        if (!key.kid) {
            if (forAll == nullptr) forAll = &key;
        } else if (kid != nullptr && kidSize == key.kid->size() && std::memcmp(kid, key.kid->data(), kidSize) == 0) {
            return &key;
        }
    }
    return forAll;
}

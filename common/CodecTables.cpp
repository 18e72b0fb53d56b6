#include "common/CodecTables.h"

#include <array>
#include <cstddef>
#include <utility>

namespace ZENT::SDK::Utility {

namespace {

using KeyPair = std::pair<uint32_t, uint32_t>;
using KeyValues = std::array<uint32_t, 2 * std::size(kCodecTable)>;

// The one or two values of a key of every row.
template <typename Key>
constexpr KeyValues Collect(Key key) {
    KeyValues values{};
    size_t n = 0;
    for (const CodecEntry& entry : kCodecTable) {
        const KeyPair pair = key(entry);
        values[n++] = pair.first;
        values[n++] = pair.second;
    }
    return values;
}

// A lookup finds the first row with the key: every value must lead to one
// row only. Zero means "none" and may repeat.
constexpr bool NoValueTwice(const KeyValues& values) {
    for (size_t i = 0; i < values.size(); ++i)
        for (size_t j = i + 1; j < values.size(); ++j)
            if (values[i] != 0 && values[i] == values[j]) return false;
    return true;
}

static_assert(NoValueTwice(Collect([](const CodecEntry& e) { return KeyPair{e.codecType, 0}; })));
static_assert(NoValueTwice(Collect([](const CodecEntry& e) {
    return KeyPair{e.sampleEntries[0], e.sampleEntries[1]};
})));
static_assert(NoValueTwice(Collect([](const CodecEntry& e) { return KeyPair{e.objectType, 0}; })));
static_assert(NoValueTwice(Collect([](const CodecEntry& e) { return KeyPair{e.trackFourCC, 0}; })));
static_assert(NoValueTwice(Collect([](const CodecEntry& e) { return KeyPair{e.recordingTag, 0}; })));
static_assert(NoValueTwice(Collect([](const CodecEntry& e) { return KeyPair{e.headerCode, e.recognisedHeaderCode}; })));

// Each row is what each of its keys finds.
constexpr bool EveryRowFoundByItsKeys() {
    for (const CodecEntry& entry : kCodecTable) {
        if (FindCodec(entry.codecType) != &entry) return false;
        for (uint32_t type : entry.sampleEntries)
            if (type != 0 && FindCodecBySampleEntry(type) != &entry) return false;
        if (entry.objectType != 0 && FindCodecByObjectType(entry.objectType) != &entry) return false;
        if (entry.recordingTag != 0 && FindCodecByTag(entry.recordingTag) != &entry) return false;
        if (entry.headerCode != 0 && FindCodecByHeaderCode(entry.headerCode) != &entry) return false;
        if (entry.recognisedHeaderCode != 0 && FindCodecByHeaderCode(entry.recognisedHeaderCode) != &entry)
            return false;
    }
    return true;
}
static_assert(EveryRowFoundByItsKeys());

// The syntax of a codec's NAL units is that of its configuration.
constexpr bool NalCodecsHaveTheirSyntax() {
    for (const CodecEntry& entry : kCodecTable)
        if (entry.nalUnits && entry.decoderConfig != DecoderConfig::kAvc && entry.decoderConfig != DecoderConfig::kHevc)
            return false;
    return true;
}
static_assert(NalCodecsHaveTheirSyntax());

}  // namespace

}  // namespace ZENT::SDK::Utility

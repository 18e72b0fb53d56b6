#include "common/ExpGolomb.h"

#include <optional>
#include <stdexcept>

#include "format/ExpGolomb.h"

namespace ZENT::SDK::Utility {

namespace {

// The bit reader as the code's bit source.
struct BitSource {
    BitReader& reader;
    uint32_t Bit() { return reader.Read(1); }
    uint32_t Bits(unsigned count) { return reader.Read(count); }
};

}  // namespace

uint32_t ReadExpGolomb(BitReader& bits) {
    BitSource source{bits};
    const std::optional<uint32_t> value = Format::ReadExpGolomb(source);
    if (!value) throw std::runtime_error("exp-golomb code too long");
    return *value;
}

}  // namespace ZENT::SDK::Utility

#include "viewwhilerecording/IndexRecord.h"

#include <algorithm>
#include <optional>

#include "format/ExpGolomb.h"
#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

constexpr uint32_t kSizesReservedAtOnce = 4096;

// Most significant bit first, one GetData per byte as the bits are needed.
class RecordBits {
public:
    explicit RecordBits(DataReader& reader) : reader_(reader) {}

    unsigned Bit() {
        if (bitsLeft_ == 0) {
            reader_.GetData(&byte_, 1);
            bitsLeft_ = 8;
        }
        --bitsLeft_;
        return (byte_ >> bitsLeft_) & 1;
    }

    uint64_t Bits(unsigned count) {
        uint64_t value = 0;
        for (unsigned i = 0; i < count; ++i) value = (value << 1) | Bit();
        return value;
    }

    uint32_t UnsignedExpGolomb() {
        const std::optional<uint32_t> value = Format::ReadExpGolomb(*this);
        if (!value) ThrowFormatError();
        return *value;
    }

    // Bits that the rest of the file can still deliver.
    uint64_t BitsLeftInFile() { return reader_.Available() * 8 + bitsLeft_; }

private:
    DataReader& reader_;
    uint8_t byte_ = 0;
    unsigned bitsLeft_ = 0;
};

}  // namespace

void ReadIndexRecord(DataReader& reader, IndexRecord& record) {
    RecordBits bits(reader);
    const uint32_t flagIndex = bits.UnsignedExpGolomb();
    record.flags = uint8_t(1u << (flagIndex % 32));
    record.tag = uint32_t(bits.Bits(32));
    record.count = bits.UnsignedExpGolomb();
    // Every size takes at least one bit, so a count beyond the bits left in
    // the file cannot be complete yet: refuse it before allocating for it.
    if (record.count > bits.BitsLeftInFile()) ThrowFormatError();
    record.sizes.clear();
    record.sizes.reserve(std::min(record.count, kSizesReservedAtOnce));
    uint64_t sizeSum = 0;
    for (uint32_t i = 0; i < record.count; ++i) {
        record.sizes.push_back(bits.UnsignedExpGolomb());
        sizeSum += record.sizes.back();
    }
    if (record.tag != kTagNorv) {
        record.gap = bits.UnsignedExpGolomb();
        if (record.flags & kFlagVideo) {
            record.width = uint16_t(bits.UnsignedExpGolomb());
            record.height = uint16_t(bits.UnsignedExpGolomb());
        }
    }
    record.dataStart = reader.GetPosition() + record.gap;
    record.dataEnd = record.dataStart + sizeSum;
}

}  // namespace ZENT::SDK::ViewWhileRecording

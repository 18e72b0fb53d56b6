#include "format/ParameterSets.h"

#include <utility>

#include "format/ByteOrder.h"
#include "format/NalUnits.h"

namespace ZENT::SDK::Format {

namespace {

constexpr size_t kAvcRecordHeaderLength = 6;
constexpr size_t kHevcRecordHeaderLength = 22;
constexpr uint8_t kAvcSequenceSetCountMask = 0x1F;
constexpr uint8_t kHevcUnitTypeMask = 0x3F;

// Where a unit goes: the leading group, the group after it, or nowhere.
enum class Group { Leading, Trailing, None };

class Conversion {
public:
    Conversion(const uint8_t* bytes, size_t size, uint64_t limit) : bytes_(bytes), size_(size), limit_(limit) {}

    // The next count bytes; false, and the conversion truncated, when fewer are left.
    bool Take(size_t count, const uint8_t*& field) {
        if (size_ - position_ < count) {
            end_ = ParameterSetEnd::Truncated;
            return false;
        }
        field = bytes_ + position_;
        position_ += count;
        return true;
    }

    bool Unit(Group group) {
        const uint8_t* lengthField;
        if (!Take(2, lengthField)) return false;
        const size_t length = LoadU16(lengthField);
        const uint64_t kept = leading_.size() + trailing_.size();
        if (group != Group::None && limit_ - kept < sizeof(kStartCode) + uint64_t(length)) {
            end_ = ParameterSetEnd::OverLimit;
            return false;
        }
        const uint8_t* unit;
        if (!Take(length, unit)) return false;
        if (group == Group::None) return true;
        std::vector<uint8_t>& out = group == Group::Leading ? leading_ : trailing_;
        out.insert(out.end(), kStartCode, kStartCode + sizeof(kStartCode));
        out.insert(out.end(), unit, unit + length);
        return true;
    }

    bool Units(unsigned count, Group group) {
        for (unsigned k = 0; k < count; ++k)
            if (!Unit(group)) return false;
        return true;
    }

    ConvertedParameterSets Finish() {
        ConvertedParameterSets result;
        result.parameterSetLength = leading_.size();
        result.bytes = std::move(leading_);
        result.bytes.insert(result.bytes.end(), trailing_.begin(), trailing_.end());
        result.end = end_;
        return result;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
    uint64_t limit_;
    size_t position_ = 0;
    std::vector<uint8_t> leading_;
    std::vector<uint8_t> trailing_;
    ParameterSetEnd end_ = ParameterSetEnd::Complete;
};

Group HevcGroup(HevcUnitChoice choice, uint8_t arrayHeader) {
    if (choice == HevcUnitChoice::All) return Group::Leading;
    const unsigned type = arrayHeader & kHevcUnitTypeMask;
    if (type >= HevcUnit::kVideoSet && type <= HevcUnit::kPictureSet) return Group::Leading;
    return type == HevcUnit::kPrefixSei ? Group::Trailing : Group::None;
}

}  // namespace

ConvertedParameterSets ConvertAvcParameterSets(const uint8_t* bytes, size_t size, ConfigurationForm form,
                                               uint64_t limit) {
    Conversion conversion(bytes, size, limit);
    unsigned sequenceSetCount = 1;
    if (form == ConfigurationForm::Record) {
        const uint8_t* header;
        if (!conversion.Take(kAvcRecordHeaderLength, header)) return conversion.Finish();
        sequenceSetCount = header[kAvcRecordHeaderLength - 1] & kAvcSequenceSetCountMask;
    }
    const uint8_t* pictureSetCount;
    if (conversion.Units(sequenceSetCount, Group::Leading) && conversion.Take(1, pictureSetCount))
        conversion.Units(*pictureSetCount, Group::Leading);
    return conversion.Finish();
}

ConvertedParameterSets ConvertHevcParameterSets(const uint8_t* bytes, size_t size, ConfigurationForm form,
                                                HevcUnitChoice choice, uint64_t limit) {
    Conversion conversion(bytes, size, limit);
    const uint8_t* field;
    if (form == ConfigurationForm::Record && !conversion.Take(kHevcRecordHeaderLength, field))
        return conversion.Finish();
    if (!conversion.Take(1, field)) return conversion.Finish();
    const unsigned arrayCount = field[0];
    for (unsigned a = 0; a < arrayCount; ++a) {
        const uint8_t* array;
        if (!conversion.Take(3, array) || !conversion.Units(LoadU16(array + 1), HevcGroup(choice, array[0]))) break;
    }
    return conversion.Finish();
}

}  // namespace ZENT::SDK::Format

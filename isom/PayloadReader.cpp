#include "PayloadReader.h"

#include <cstring>
#include <ios>
#include <stdexcept>

#include "CodecTables.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::FourCC;

namespace {

const uint8_t kStartCode[4] = {0, 0, 0, 1};

// No packet can carry more; see the packet block's own limit.
constexpr uint64_t kMaxPayload = uint64_t(1) << 30;

bool IsNalCodec(uint32_t type) {
    return type == FourCC("avc1") || type == FourCC("hvc1") || type == FourCC("hev1");
}

// The bytes written so far into a destination that grows only when a sample
// needs more room than the sizing at open allowed for.
class Output {
public:
    explicit Output(std::vector<uint8_t>& buffer) : buffer_(buffer) {}
    uint8_t* Reserve(uint64_t n) {
        if (n > buffer_.size() - length_) {
            uint64_t needed = length_ + n;
            if (needed > kMaxPayload) throw std::length_error("sample payload too large");
            buffer_.resize(needed + needed / 4);
        }
        return buffer_.data() + length_;
    }
    void Commit(uint64_t n) { length_ += n; }
    void Append(const uint8_t* bytes, uint64_t n) {
        std::memcpy(Reserve(n), bytes, n);
        Commit(n);
    }
    size_t length() const { return length_; }

private:
    std::vector<uint8_t>& buffer_;
    size_t length_ = 0;
};

uint32_t ReadPrefix(SampleInput& input, unsigned prefixSize) {
    uint8_t bytes[4];
    input.ReadExact(bytes, prefixSize);
    uint32_t value = 0;
    for (unsigned k = 0; k < prefixSize; ++k) value = (value << 8) | bytes[k];
    return value;
}

// What the parameter-set phase does with a unit of a sync sample.
enum class UnitAction { kInsertThenWrite, kWriteUnlessInserted, kDrop, kWrite };

UnitAction AvcAction(unsigned type) {
    switch (type) {
        case 1: case 5: case 6: case 14: return UnitAction::kInsertThenWrite;
        case 7: return UnitAction::kWriteUnlessInserted;
        case 8: return UnitAction::kDrop;
        default: return UnitAction::kWrite;
    }
}

UnitAction HevcAction(unsigned type) {
    switch (type) {
        case 19: case 20: case 39: return UnitAction::kInsertThenWrite;
        case 32: return UnitAction::kWriteUnlessInserted;
        case 33: case 34: return UnitAction::kDrop;
        default: return UnitAction::kWrite;
    }
}

bool EndsParameterPhase(bool hevc, unsigned type) {
    return hevc ? (type == 19 || type == 20) : (type == 1 || type == 5);
}

}  // namespace

unsigned NalPrefixSize(uint8_t lengthSizeMinusOne) {
    return lengthSizeMinusOne == 0 ? 1 : lengthSizeMinusOne == 1 ? 2 : 4;
}

uint32_t PayloadReader::ReadSample(const TrackRecord& track, const TrackTimeline& timeline, uint32_t j,
                                   std::vector<uint8_t>& destination) {
    const IndexEntry& entry = timeline.entries[j];
    if (entry.offset > input_.fileSize() || entry.size > input_.fileSize() - entry.offset)
        throw std::ios_base::failure("end of file");
    input_.Position(entry.offset);

    const SampleDescription* description = track.firstDescription();
    const bool nal = description && IsNalCodec(description->type);
    if (nal && !track.sampleTable.protection.hasSampleEncryption)
        return ReadNalUnits(*description, entry, destination);

    // Protected samples are handed out as stored until a key is set for the
    // track; so are all samples of other codecs.
    Output output(destination);
    input_.ReadExact(output.Reserve(entry.size), entry.size);
    output.Commit(entry.size);
    return entry.size;
}

uint32_t PayloadReader::ReadNalUnits(const SampleDescription& d, const IndexEntry& entry,
                                     std::vector<uint8_t>& destination) {
    const bool hevc = d.type != FourCC("avc1");
    const unsigned prefixSize = NalPrefixSize(hevc ? d.hevcLengthSizeMinusOne : d.avcLengthSizeMinusOne);
    const uint8_t* parameterSets = hevc ? d.hevcConfig.data() : d.avcConfig.data();
    const size_t parameterSetLength = hevc ? d.hevcParameterSetLength : d.avcConfig.size();

    Output output(destination);
    uint64_t remaining = entry.size;

    if (entry.syncFlag == 1 && parameterSetLength != 0) {
        bool inserted = false;
        while (remaining >= prefixSize) {
            uint64_t n = ReadPrefix(input_, prefixSize);
            remaining -= prefixSize;
            // A unit that claims more than the sample holds takes what is left.
            if (n > remaining) n = remaining;
            // A unit of length 0 is a bare start code, as in the copy phase.
            if (n == 0) {
                output.Append(kStartCode, 4);
                continue;
            }
            uint8_t header;
            input_.ReadExact(&header, 1);
            const unsigned type = hevc ? (header & 0x7E) >> 1 : header & 0x1F;
            const UnitAction action = hevc ? HevcAction(type) : AvcAction(type);
            bool write = true;
            bool endsPhase = EndsParameterPhase(hevc, type);
            switch (action) {
                case UnitAction::kInsertThenWrite:
                    if (!inserted) {
                        output.Append(parameterSets, parameterSetLength);
                        inserted = true;
                    }
                    break;
                case UnitAction::kWriteUnlessInserted:
                    write = !inserted;
                    if (write) endsPhase = true;
                    break;
                case UnitAction::kDrop:
                    write = false;
                    break;
                case UnitAction::kWrite:
                    break;
            }
            if (write) {
                uint8_t* out = output.Reserve(5 + (n - 1));
                std::memcpy(out, kStartCode, 4);
                out[4] = header;
                input_.ReadExact(out + 5, n - 1);
                output.Commit(5 + (n - 1));
            } else {
                input_.Skip(n - 1);
            }
            remaining -= n;
            if (endsPhase) break;
        }
    }

    while (remaining != 0) {
        if (remaining < prefixSize) {
            input_.ReadExact(output.Reserve(remaining), remaining);
            output.Commit(remaining);
            break;
        }
        uint64_t n = ReadPrefix(input_, prefixSize);
        remaining -= prefixSize;
        if (n > remaining) n = remaining;
        uint8_t* out = output.Reserve(4 + n);
        std::memcpy(out, kStartCode, 4);
        input_.ReadExact(out + 4, n);
        output.Commit(4 + n);
        remaining -= n;
    }
    return uint32_t(output.length());
}

}  // namespace ZENT::SDK::Pelagor2

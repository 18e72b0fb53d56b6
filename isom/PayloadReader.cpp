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

// Where rewritten bytes go: nowhere when only the length is wanted.
class Sink {
public:
    explicit Sink(uint8_t* out) : out_(out) {}
    void Put(const uint8_t* bytes, uint64_t n) {
        if (out_) std::memcpy(out_ + length_, bytes, n);
        length_ += n;
    }
    void PutByte(uint8_t byte) {
        if (out_) out_[length_] = byte;
        ++length_;
    }
    uint64_t length() const { return length_; }

private:
    uint8_t* out_;
    uint64_t length_ = 0;
};

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

uint64_t LoadPrefix(const uint8_t* p, unsigned prefixSize) {
    uint64_t value = 0;
    for (unsigned k = 0; k < prefixSize; ++k) value = (value << 8) | p[k];
    return value;
}

}  // namespace

unsigned NalPrefixSize(uint8_t lengthSizeMinusOne) {
    return lengthSizeMinusOne == 0 ? 1 : lengthSizeMinusOne == 1 ? 2 : 4;
}

uint64_t RewriteNalUnits(const uint8_t* sample, uint64_t size, unsigned prefixSize, bool hevc, bool sync,
                         const uint8_t* parameterSets, uint64_t parameterSetLength, uint8_t* out) {
    Sink sink(out);
    const uint8_t* p = sample;
    uint64_t remaining = size;

    if (sync && parameterSetLength != 0) {
        bool inserted = false;
        while (remaining >= prefixSize) {
            uint64_t n = LoadPrefix(p, prefixSize);
            p += prefixSize;
            remaining -= prefixSize;
            // A unit that claims more than the sample holds takes what is left.
            if (n > remaining) n = remaining;
            // A unit of length 0 is a bare start code, as in the copy phase.
            if (n == 0) {
                sink.Put(kStartCode, 4);
                continue;
            }
            const uint8_t header = p[0];
            const unsigned type = hevc ? (header & 0x7E) >> 1 : header & 0x1F;
            bool write = true;
            bool endsPhase = EndsParameterPhase(hevc, type);
            switch (hevc ? HevcAction(type) : AvcAction(type)) {
                case UnitAction::kInsertThenWrite:
                    if (!inserted) {
                        sink.Put(parameterSets, parameterSetLength);
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
                sink.Put(kStartCode, 4);
                sink.Put(p, n);
            }
            p += n;
            remaining -= n;
            if (endsPhase) break;
        }
    }

    while (remaining != 0) {
        if (remaining < prefixSize) {
            sink.Put(p, remaining);
            break;
        }
        uint64_t n = LoadPrefix(p, prefixSize);
        p += prefixSize;
        remaining -= prefixSize;
        if (n > remaining) n = remaining;
        sink.Put(kStartCode, 4);
        sink.Put(p, n);
        p += n;
        remaining -= n;
    }
    return sink.length();
}

uint32_t PayloadReader::Prepare(const TrackRecord& track, unsigned trackIndex, const TrackTimeline& timeline,
                                uint32_t j) {
    const IndexEntry& entry = timeline.entries[j];
    if (entry.offset > input_.fileSize() || entry.size > input_.fileSize() - entry.offset)
        throw std::ios_base::failure("end of file");
    entry_ = &entry;
    stream_ = trackIndex;
    length_ = entry.size;
    mode_ = Mode::kStored;

    const SampleDescription* d = track.firstDescription();
    // Protected samples are handed out as stored until a key is set for the
    // track; so are all samples of other codecs.
    if (!d || !IsNalCodec(d->type) || track.sampleTable.protection.hasSampleEncryption) return length_;

    hevc_ = d->type != FourCC("avc1");
    prefixSize_ = NalPrefixSize(hevc_ ? d->hevcLengthSizeMinusOne : d->avcLengthSizeMinusOne);
    parameterSets_ = hevc_ ? d->hevcConfig.data() : d->avcConfig.data();
    parameterSetLength_ = hevc_ ? d->hevcParameterSetLength : d->avcConfig.size();
    const bool sync = entry.syncFlag == 1;

    // Start codes replace 4-byte prefixes one for one: such a sample keeps
    // its length and is converted in place.
    if (prefixSize_ == 4 && !(sync && parameterSetLength_ != 0)) {
        mode_ = Mode::kStoredPrefixes;
        return length_;
    }
    mode_ = Mode::kRewritten;
    if (scratch_.size() < entry.size) scratch_.resize(entry.size);
    input_.Position(entry.offset, stream_);
    input_.ReadExact(scratch_.data(), entry.size);
    uint64_t length = RewriteNalUnits(scratch_.data(), entry.size, prefixSize_, hevc_, sync, parameterSets_,
                                      parameterSetLength_, nullptr);
    if (length > kMaxPayload) throw std::length_error("sample payload too large");
    length_ = uint32_t(length);
    return length_;
}

uint8_t PayloadReader::FirstStoredByte() {
    if (entry_->size == 0) return 0;
    if (mode_ == Mode::kRewritten) return scratch_[0];
    uint8_t first;
    input_.Position(entry_->offset, stream_);
    input_.ReadExact(&first, 1);
    return first;
}

void PayloadReader::Emit(uint8_t* destination) {
    if (mode_ == Mode::kRewritten) {
        RewriteNalUnits(scratch_.data(), entry_->size, prefixSize_, hevc_, entry_->syncFlag == 1, parameterSets_,
                        parameterSetLength_, destination);
        return;
    }
    input_.Position(entry_->offset, stream_);
    input_.ReadExact(destination, entry_->size);
    if (mode_ == Mode::kStoredPrefixes) {
        // Each 4-byte length becomes 00 00 00 01 where it stands.
        uint64_t position = 0;
        const uint64_t size = entry_->size;
        while (size - position >= 4) {
            uint64_t n = LoadPrefix(destination + position, 4);
            std::memcpy(destination + position, kStartCode, 4);
            position += 4;
            position += n < size - position ? n : size - position;
        }
    }
}

uint32_t PayloadReader::ReadSample(const TrackRecord& track, unsigned trackIndex, const TrackTimeline& timeline,
                                   uint32_t j, std::vector<uint8_t>& destination) {
    uint32_t length = Prepare(track, trackIndex, timeline, j);
    if (destination.size() < length) destination.resize(length);
    Emit(destination.data());
    return length;
}

}  // namespace ZENT::SDK::Pelagor2

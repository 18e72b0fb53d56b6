#include "isom/PayloadReader.h"

#include <cstring>
#include <ios>
#include <stdexcept>

#include "common/CodecTables.h"
#include "format/ByteOrder.h"
#include "format/NalUnits.h"
#include "isom/FragmentIndex.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::DecoderConfig;

namespace {

using Format::kStartCode;

// No packet can carry more; see the packet block's own limit.
constexpr uint64_t kMaxPayload = uint64_t(1) << 30;

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
    using namespace Format::AvcUnit;
    switch (type) {
        case kSlice:
        case kIdrSlice:
        case kSei:
        case kPrefix: return UnitAction::kInsertThenWrite;
        case kSequenceSet: return UnitAction::kWriteUnlessInserted;
        case kPictureSet: return UnitAction::kDrop;
        default: return UnitAction::kWrite;
    }
}

UnitAction HevcAction(unsigned type) {
    using namespace Format::HevcUnit;
    switch (type) {
        case kIdrWithLeading:
        case kIdrWithoutLeading:
        case kPrefixSei: return UnitAction::kInsertThenWrite;
        case kVideoSet: return UnitAction::kWriteUnlessInserted;
        case kSequenceSet:
        case kPictureSet: return UnitAction::kDrop;
        default: return UnitAction::kWrite;
    }
}

bool EndsParameterPhase(bool hevc, unsigned type) {
    if (hevc) return type == Format::HevcUnit::kIdrWithLeading || type == Format::HevcUnit::kIdrWithoutLeading;
    return type == Format::AvcUnit::kSlice || type == Format::AvcUnit::kIdrSlice;
}

}  // namespace

unsigned NalPrefixSize(uint8_t lengthSizeMinusOne) {
    return lengthSizeMinusOne == 0 ? 1 : lengthSizeMinusOne == 1 ? 2 : 4;
}

uint64_t RewriteNalUnits(const uint8_t* sample, uint64_t size, unsigned prefixSize, bool hevc, bool sync,
                         const uint8_t* parameterSets, uint64_t parameterSetLength, uint8_t* out) {
    Sink sink(out);
    Format::PrefixedUnitWalk walk(sample, size, prefixSize);
    Format::PrefixedUnit unit;

    if (sync && parameterSetLength != 0) {
        bool inserted = false;
        while (walk.Next(unit)) {
            // A unit of length 0 is a bare start code, as in the copy phase.
            if (unit.length == 0) {
                sink.Put(kStartCode, 4);
                continue;
            }
            const uint8_t header = sample[unit.offset];
            const unsigned type = hevc ? Format::HevcUnitType(header) : Format::AvcUnitType(header);
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
                case UnitAction::kDrop: write = false; break;
                case UnitAction::kWrite: break;
            }
            if (write) {
                sink.Put(kStartCode, 4);
                sink.Put(sample + unit.offset, unit.length);
            }
            if (endsPhase) break;
        }
    }

    while (walk.Next(unit)) {
        sink.Put(kStartCode, 4);
        sink.Put(sample + unit.offset, unit.length);
    }
    // Fewer bytes than a prefix at the end are copied as they are.
    if (walk.Position() < size) sink.Put(sample + walk.Position(), size - walk.Position());
    return sink.length();
}

void PayloadReader::ReadWhole() {
    if (scratch_.size() < entry_->size) scratch_.resize(entry_->size);
    input_.Position(entry_->offset, stream_);
    input_.ReadExact(scratch_.data(), entry_->size);
}

// One key stream per sample, from its own initialisation vector; with a
// sub-sample map only the protected ranges use it, and clear bytes do not.
void PayloadReader::Decrypt(uint8_t* sample) {
    decryptor_->SetIV(iv_);
    const uint64_t size = entry_->size;
    if (!bySubsamples_) {
        decryptor_->Decrypt(sample, sample, uint32_t(size));
        return;
    }
    uint64_t position = 0;
    for (uint32_t k = 0; k < subsampleCount_ && position < size; ++k) {
        const uint8_t* pair = subsamples_ + size_t(6) * k;
        const uint64_t clear = Format::LoadU16(pair);
        const uint64_t protectedBytes = Format::LoadU32(pair + 2);
        // Counts that run past the sample stop at its end.
        position += clear < size - position ? clear : size - position;
        uint64_t n = protectedBytes < size - position ? protectedBytes : size - position;
        decryptor_->Decrypt(sample + position, sample + position, uint32_t(n));
        position += n;
    }
}

PayloadReader::PayloadReader(SampleInput& input, std::vector<uint8_t>& scratch)
    : input_(input), scratch_(scratch), inflationLeft_(InflationBudget(input.fileSize())) {}

void PayloadReader::StartPass() { inflationLeft_ = InflationBudget(input_.fileSize()); }

uint64_t PayloadReader::InflationBudget(uint64_t fileSize) {
    using ZENT::SDK::Utility::kMaxDeflateExpansion;
    return fileSize < kMaxInflationWork / kMaxDeflateExpansion ? fileSize * kMaxDeflateExpansion : kMaxInflationWork;
}

uint32_t PayloadReader::Prepare(const TrackRecord& track, unsigned trackIndex, const TrackTimeline& timeline,
                                uint32_t j, ZENT::SDK::Utility::DictionaryInflateStream* inflater) {
    const IndexEntry& entry = timeline.entries[j];
    if (entry.offset > input_.fileSize() || entry.size > input_.fileSize() - entry.offset)
        throw std::ios_base::failure("end of file");
    if (!input_.TakeFromPass(entry.size)) throw std::ios_base::failure("samples read the file over too often");
    entry_ = &entry;
    stream_ = trackIndex;
    length_ = entry.size;
    mode_ = Mode::kStored;
    decryptor_ = nullptr;

    const SampleDescription* d = track.firstDescription();
    uint32_t record = j;
    const ProtectionData& protection = SampleProtection(track, j, record);
    const bool nal = d && d->codec && d->codec->nalUnits;
    if (protection.hasSampleEncryption && timeline.aesContext) {
        decryptor_ = timeline.aesContext.get();
        LocateEncryptionRecord(protection, record);
    }

    if (inflater) {
        ReadWhole();
        if (decryptor_) Decrypt(scratch_.data());
        uint32_t length = 0;
        inflater->Inflate(scratch_.data(), entry.size, &inflated_, &length, inflationLeft_);
        inflationLeft_ -= length;
        mode_ = Mode::kInflated;
        length_ = length;
        return length_;
    }

    // Protected samples without a key are handed out as stored; so are all
    // samples of codecs other than AVC and HEVC, decrypted when a key is set.
    if (!nal) {
        if (decryptor_) mode_ = Mode::kStoredDecrypted;
        return length_;
    }
    if (protection.hasSampleEncryption && !decryptor_) return length_;

    hevc_ = d->codec->decoderConfig == DecoderConfig::kHevc;
    prefixSize_ = NalPrefixSize(hevc_ ? d->hevcLengthSizeMinusOne : d->avcLengthSizeMinusOne);
    // Decrypted samples get start codes but no parameter sets.
    const bool insertSets = entry.syncFlag == 1 && !decryptor_;
    parameterSets_ = hevc_ ? d->hevcConfig.data() : d->avcConfig.data();
    parameterSetLength_ = insertSets ? (hevc_ ? d->hevcParameterSetLength : d->avcConfig.size()) : 0;

    // Start codes replace 4-byte prefixes one for one: such a sample keeps
    // its length and is converted in place.
    if (prefixSize_ == 4 && parameterSetLength_ == 0 && !decryptor_) {
        mode_ = Mode::kStoredPrefixes;
        return length_;
    }
    mode_ = Mode::kRewritten;
    ReadWhole();
    if (decryptor_) Decrypt(scratch_.data());
    uint64_t length = RewriteNalUnits(scratch_.data(), entry.size, prefixSize_, hevc_, insertSets, parameterSets_,
                                      parameterSetLength_, nullptr);
    if (length > kMaxPayload) throw std::length_error("sample payload too large");
    length_ = uint32_t(length);
    return length_;
}

// Sample j's record in the stored encryption data: its 8-byte IV and, with
// sub-samples, their count and map. A record outside the stored data fails
// the sample.
void PayloadReader::LocateEncryptionRecord(const ProtectionData& protection, uint32_t j) {
    const std::vector<uint8_t>& data = protection.sampleEncryptionData;
    uint64_t at = 0;
    if (protection.sampleInfoSize != 0)
        at = uint64_t(j) * protection.sampleInfoSize;
    else if (!protection.sampleInfoOffsets.empty()) {
        if (j >= protection.sampleInfoOffsets.size()) throw std::runtime_error("no encryption record for the sample");
        at = protection.sampleInfoOffsets[j];
    }
    if (at > data.size() || data.size() - at < 8) throw std::runtime_error("encryption record outside its data");
    iv_ = data.data() + at;
    bySubsamples_ = protection.subsampleFlag != 0;
    subsampleCount_ = 0;
    if (!bySubsamples_) return;
    if (data.size() - at < 10) throw std::runtime_error("encryption record outside its data");
    subsampleCount_ = Format::LoadU16(data.data() + at + 8);
    if (uint64_t(subsampleCount_) * 6 > data.size() - at - 10)
        throw std::runtime_error("sub-sample map outside its data");
    subsamples_ = data.data() + at + 10;
}

uint8_t PayloadReader::FirstPayloadByte() {
    if (mode_ == Mode::kInflated) return length_ ? inflated_[0] : 0;
    if (entry_->size == 0) return 0;
    if (mode_ == Mode::kRewritten || mode_ == Mode::kScratch) return scratch_[0];
    if (mode_ == Mode::kStoredDecrypted) {
        ReadWhole();
        Decrypt(scratch_.data());
        mode_ = Mode::kScratch;
        return scratch_[0];
    }
    uint8_t first;
    input_.Position(entry_->offset, stream_);
    input_.ReadExact(&first, 1);
    return first;
}

void PayloadReader::Emit(uint8_t* destination) {
    if (mode_ == Mode::kInflated) {
        if (length_) std::memcpy(destination, inflated_, length_);
        return;
    }
    if (mode_ == Mode::kScratch) {
        if (length_) std::memcpy(destination, scratch_.data(), length_);
        return;
    }
    if (mode_ == Mode::kRewritten) {
        RewriteNalUnits(scratch_.data(), entry_->size, prefixSize_, hevc_, parameterSetLength_ != 0, parameterSets_,
                        parameterSetLength_, destination);
        return;
    }
    input_.Position(entry_->offset, stream_);
    input_.ReadExact(destination, entry_->size);
    if (mode_ == Mode::kStoredDecrypted) {
        Decrypt(destination);
    } else if (mode_ == Mode::kStoredPrefixes) {
        Format::StartCodesInPlace(destination, entry_->size);
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

// One sample's payload as a packet carries it: the stored bytes, or for AVC
// and HEVC tracks the start-code form with the stored parameter sets put in
// front of the first slice of sync samples.
//
// A payload is prepared first, which tells its length, and then emitted
// into the packet: samples whose length is known beforehand are read
// straight into the packet; the others are read whole into a scratch buffer
// and rewritten from there.
#ifndef STAMPWALK_ISOM_PAYLOADREADER_H
#define STAMPWALK_ISOM_PAYLOADREADER_H

#include <cstdint>
#include <vector>

#include "common/AesCtr.h"
#include "common/InflateStream.h"
#include "isom/MovieRecord.h"
#include "isom/SampleIndex.h"
#include "isom/SampleInput.h"

namespace ZENT::SDK::Pelagor2 {

// The NAL length prefix size of a configuration's "length size minus one":
// 1, 2, or 4 (3 also means 4).
unsigned NalPrefixSize(uint8_t lengthSizeMinusOne);

// The start-code form of a length-prefixed AVC or HEVC sample held in
// memory. Writes to out when it is not null; returns the length either way.
// parameterSets are put before the first slice of a sync sample.
uint64_t RewriteNalUnits(const uint8_t* sample, uint64_t size, unsigned prefixSize, bool hevc, bool sync,
                         const uint8_t* parameterSets, uint64_t parameterSetLength, uint8_t* out);

// The most one reader inflates, whatever the size of the file.
constexpr uint64_t kMaxInflationWork = uint64_t(16) << 30;

class PayloadReader {
public:
    // scratch receives samples that are rewritten; it grows when a sample
    // needs more room and never shrinks.
    PayloadReader(SampleInput& input, std::vector<uint8_t>& scratch);

    // Gets sample j of a track (the track's index in the movie) ready and
    // returns its payload length: decrypted when the track is protected and
    // its timeline holds a key, inflated when an inflater is given. The
    // inflated bytes of all samples of a pass together stop at
    // InflationBudget(): the sample that reaches it is cut there and later
    // ones inflate to nothing, as corrupt compressed data do. A sample that
    // does not lie wholly inside the file ("end of file"), or that the
    // input's pass budget cannot take, is refused before anything is read.
    uint32_t Prepare(const TrackRecord& track, unsigned trackIndex, const TrackTimeline& timeline, uint32_t j,
                     ZENT::SDK::Utility::DictionaryInflateStream* inflater = nullptr);
    // The first byte of the prepared payload (0 for an empty one).
    uint8_t FirstPayloadByte();
    // Writes the prepared payload, of the length Prepare gave, to destination.
    void Emit(uint8_t* destination);

    // Prepare and Emit into a buffer, grown when it is too small.
    uint32_t ReadSample(const TrackRecord& track, unsigned trackIndex, const TrackTimeline& timeline, uint32_t j,
                        std::vector<uint8_t>& destination);

    // The bytes all samples of one reader may inflate to: what the file's
    // bytes could give if every sample were stored apart, but never more
    // than kMaxInflationWork. Tables that point at the same compressed
    // sample again and again must not multiply the work.
    static uint64_t InflationBudget(uint64_t fileSize);
    uint64_t inflationLeft() const { return inflationLeft_; }
    // A new pass (a seek) gets the whole inflation budget again.
    void StartPass();

private:
    // Where the payload comes from at Emit: the file (as stored, with start
    // codes put in place, or decrypted in place), or memory (the scratch
    // buffer as it is, rewritten from it, or the inflater's output).
    enum class Mode { kStored, kStoredPrefixes, kStoredDecrypted, kScratch, kRewritten, kInflated };

    void ReadWhole();
    void Decrypt(uint8_t* sample);
    void LocateEncryptionRecord(const ProtectionData& protection, uint32_t j);

    SampleInput& input_;
    Mode mode_ = Mode::kStored;
    const IndexEntry* entry_ = nullptr;
    unsigned stream_ = 0;
    uint32_t length_ = 0;
    unsigned prefixSize_ = 4;
    bool hevc_ = false;
    const uint8_t* parameterSets_ = nullptr;
    uint64_t parameterSetLength_ = 0;
    std::vector<uint8_t>& scratch_;
    // The protection of the prepared sample, when it is to be decrypted.
    ZENT::SDK::Utility::OpenSSLAESctr128* decryptor_ = nullptr;
    const uint8_t* iv_ = nullptr;
    const uint8_t* subsamples_ = nullptr;  // clear u16, protected u32 pairs
    uint32_t subsampleCount_ = 0;
    bool bySubsamples_ = false;
    const uint8_t* inflated_ = nullptr;
    uint64_t inflationLeft_;
};

}  // namespace ZENT::SDK::Pelagor2

#endif

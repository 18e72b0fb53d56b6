// One sample's payload as a packet carries it: the stored bytes, or for AVC
// and HEVC tracks the start-code form with the stored parameter sets put in
// front of the first slice of sync samples.
#ifndef STAMPWALK_ISOM_PAYLOADREADER_H
#define STAMPWALK_ISOM_PAYLOADREADER_H

#include <cstdint>
#include <vector>

#include "MovieRecord.h"
#include "SampleIndex.h"
#include "SampleInput.h"

namespace ZENT::SDK::Pelagor2 {

// The NAL length prefix size of a configuration's "length size minus one":
// 1, 2, or 4 (3 also means 4).
unsigned NalPrefixSize(uint8_t lengthSizeMinusOne);

class PayloadReader {
public:
    explicit PayloadReader(SampleInput& input) : input_(input) {}

    // Reads sample j of a track into destination, growing it when a sample
    // needs more room than it has, and returns the payload length. A sample
    // that does not lie wholly inside the file is refused ("end of file")
    // before anything is read.
    uint32_t ReadSample(const TrackRecord& track, const TrackTimeline& timeline, uint32_t j,
                        std::vector<uint8_t>& destination);

private:
    uint32_t ReadNalUnits(const SampleDescription& description, const IndexEntry& entry,
                          std::vector<uint8_t>& destination);

    SampleInput& input_;
};

}  // namespace ZENT::SDK::Pelagor2

#endif

// Per-track sample indexes and timelines, and the AVC/HEVC decoder
// configurations rewritten into start-code form.
#ifndef STAMPWALK_ISOM_SAMPLEINDEX_H
#define STAMPWALK_ISOM_SAMPLEINDEX_H

#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <vector>

#include "isom/MovieRecord.h"

namespace ZENT::SDK::Utility {
class OpenSSLAESctr128;
}

namespace ZENT::SDK::Pelagor2 {

struct IndexEntry {
    uint64_t offset = 0;            // relative to the start of the ISO data
    double compositionTime = -1.0;  // seconds from the track's media time 0
    double decodingTime = -1.0;     // seconds; -1 when the track has no composition offsets
    uint32_t size = 0;
    uint32_t syncFlag = 0;

    // The time by which a sample is ordered and found: its decoding time.
    double time() const { return decodingTime >= 0 ? decodingTime : compositionTime; }
};

struct TrackTimeline {
    boost::shared_array<IndexEntry> entries;
    uint32_t entryCount = 0;        // one entry per sample of the sample size table, then per fragment sample
    uint32_t timedSampleCount = 0;  // leading entries that received a time
    double duration = 0;            // seconds
    double startOffset = 0;         // seconds of empty edits before the first sample
    boost::shared_ptr<ZENT::SDK::Utility::OpenSSLAESctr128> aesContext;
};

struct Timelines {
    std::vector<TrackTimeline> tracks;  // at the tracks' indexes in the movie record
    double earliestStartOffset = 0;     // the largest double when no track is timed
};

// Index entries one open may hold over all its tracks: one per byte of the
// file (samples stored apart take a byte each, or a size entry of four) and
// a few more for tiny files, but never more than the ceiling.
constexpr uint64_t kIndexEntriesBeyondFileSize = 65536;
constexpr uint64_t kMaxIndexEntries = 0x4000000;  // 2 GiB of entries

// The index entries a file of fileSize bytes may have, sample tables and
// movie fragments together.
constexpr uint64_t IndexEntriesAllowed(uint64_t fileSize) {
    return fileSize < kMaxIndexEntries - kIndexEntriesBeyondFileSize ? fileSize + kIndexEntriesBeyondFileSize
                                                                     : kMaxIndexEntries;
}

// Builds one timeline per track of the movie, in track order. A movie whose
// tracks together list more samples than the file of fileSize bytes allows
// is a format error, refused before anything is allocated for them.
Timelines BuildTimelines(const MovieRecord& movie, uint64_t fileSize);

// The timeline of one track; exposed for tests.
TrackTimeline BuildTrackTimeline(const TrackRecord& track, uint32_t movieTimescale);

// Rewrites the first sample description's avcC or hvcC payload of every AVC
// and HEVC track into its parameter sets in start-code form.
void PrepareDecoderConfigs(MovieRecord& movie);

// The conversions themselves. A unit whose length runs past the payload ends
// the conversion; the units before it are kept.
std::vector<uint8_t> AvcParameterSets(const std::vector<uint8_t>& avcC);
// VPS, SPS and PPS first (their total in parameterSetLength), then prefix SEI.
std::vector<uint8_t> HevcParameterSets(const std::vector<uint8_t>& hvcC, uint32_t& parameterSetLength);

}  // namespace ZENT::SDK::Pelagor2

#endif

// A fragmented recording: a movie box announcing movie fragments (mvex with
// a trex per track), then one movie fragment after another, each a moof
// (mfhd, one traf per track with tfhd, tfdt and truns, and senc where the
// track is protected) followed by the mdat of its samples. The tracks are
// those of RecordingBuilder, so the same samples can be written as a plain
// recording and as a fragmented one.
#ifndef STAMPWALK_WRITER_FRAGMENTEDRECORDING_H
#define STAMPWALK_WRITER_FRAGMENTEDRECORDING_H

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "writer/BoxBuilder.h"
#include "writer/IsoBoxes.h"
#include "writer/RecordingBuilder.h"

namespace writer {

// Where the durations, sizes and flags of fragment samples are written.
enum class FragmentDefaults {
    PerSample,      // in every run entry
    TrackFragment,  // as tfhd defaults where a track fragment's samples share a value
    TrackExtends,   // as trex defaults where all the track's fragment samples share a value,
                    // else as with TrackFragment
};

// What a run's data offset counts from.
enum class DataOffsetBase {
    Moof,                // default-base-is-moof: the fragment's moof
    Explicit,            // base_data_offset: the first byte of the fragment's media data
    FirstTrackFragment,  // neither flag: the moof for the first traf, where the previous
                         // traf's data end for the others
};

struct FragmentPlan {
    uint32_t samplesInMovie = 0;      // leading samples of each track kept in its sample tables
    uint32_t samplesPerFragment = 1;  // of each track in each fragment
    uint32_t runsPerTrackFragment = 1;
    FragmentDefaults defaults = FragmentDefaults::PerSample;
    DataOffsetBase base = DataOffsetBase::Moof;
    uint8_t runVersion = 0;   // 1: signed composition offsets
    bool decodeTimes = true;  // a tfdt in every traf
    uint8_t decodeTimeVersion = 1;
    uint64_t decodeTimeGap = 0;      // media units added to every tfdt: a gap before the first fragment
    bool laterRunsFollowOn = false;  // runs after a traf's first have no data offset
};

// The encryption records of a protected track's fragment samples, one per
// sample of the track; each traf gets a senc with its samples' records.
struct FragmentEncryption {
    std::vector<EncryptionRecord> records;
    bool subSamples = false;
    bool withSizes = false;  // a saiz beside each senc
};

struct FragmentPlace {
    uint64_t moofOffset = 0;
    uint64_t moofSize = 0;
    uint64_t mdatOffset = 0;
    uint64_t mdatSize = 0;  // header included
};

struct FragmentedLayout {
    uint64_t movieEnd = 0;  // where the bytes before the first fragment end
    std::vector<FragmentPlace> fragments;
    uint64_t fileSize = 0;
};

class FragmentedRecording {
public:
    MovieFields movie;
    std::optional<Box> ftyp = Ftyp("iso5", 0x200, {"iso5", "iso6", "mp41"});
    std::optional<uint64_t> fragmentDuration;  // an mehd when set
    FragmentPlan plan;
    std::map<size_t, FragmentEncryption> encryption;  // by track index
    std::vector<Box> trailingBoxes;                   // after the last fragment
    std::deque<Track> tracks;

    Track& addTrack(Track track);
    // CompanionTrack(the last added track, records), placed right after it.
    Track& addCompanion(const std::vector<Bytes>& records);

    uint32_t fragmentCount() const;
    FragmentedLayout layout() const;
    Bytes bytes() const;

private:
    // ftyp, the movie box (with mvex) and the media data of samplesInMovie.
    Recording LeadingRecording() const;
    Box Moof(uint32_t fragment, uint64_t moofOffset, uint64_t mdatOffset) const;
    uint32_t TrackId(size_t track) const;
};

}  // namespace writer

#endif

// Movie fragments: the samples of a movie fragment box read into the
// fragment samples of their tracks, and the lookups that the timelines and
// the payload reader make in them.
#ifndef STAMPWALK_ISOM_FRAGMENTINDEX_H
#define STAMPWALK_ISOM_FRAGMENTINDEX_H

#include <cstdint>

#include "format/BoxView.h"
#include "isom/MovieRecord.h"

namespace ZENT::SDK::Pelagor2 {

// Reads the payload of a movie fragment box that starts at moofStart and
// appends its samples to their tracks. A fragment is taken whole or not at
// all: false, with nothing appended, when a box or a run does not fit its
// parent (a run's sample count is checked against the bytes of its box
// before anything is allocated), when a sample does not lie wholly inside
// the file of fileSize bytes (the fragment is not complete yet, or its
// offsets are wrong), when a track fragment states a decode time of 2^62
// units or more, or when its samples would take the movie past the
// index-entry ceiling of the file. Track fragments of track_IDs the movie
// does not list are passed over; the sequence number is not checked, so a
// fragment written twice is read twice.
bool ReadMovieFragment(const Format::BoxView& payload, uint64_t moofStart, MovieRecord& movie, uint64_t fileSize);

// The samples of the movie over all its tracks, sample tables and fragments.
uint64_t MovieSampleCount(const MovieRecord& movie);

// The encryption data of sample j of a track's timeline: the sample table's
// for the table's samples, for a fragment sample the data of its track
// fragment (empty when that fragment has none). record receives the
// sample's number within that data.
const ProtectionData& SampleProtection(const TrackRecord& track, uint32_t j, uint32_t& record);

}  // namespace ZENT::SDK::Pelagor2

#endif

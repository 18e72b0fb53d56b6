// The walk of the box tree: top-level boxes from the file, the movie box and
// the vendor skip box read into memory and walked there, filling the movie
// record.
#ifndef STAMPWALK_ISOM_BOXPARSER_H
#define STAMPWALK_ISOM_BOXPARSER_H

#include "format/BadFormat.h"
#include "format/BoxView.h"
#include "isom/MovieRecord.h"
#include "isom/ParserInput.h"

namespace ZENT::SDK::Pelagor2::MP4Parser {

// Walks top-level boxes from the input's position until both the movie and
// the media data were seen, filling the movie record. Throws bad_format for a
// malformed tree and std::ios_base::failure for a read that fails. A movie
// with a movie extends box is read on from its movie box to the end of the
// file, its movie fragments with it, and never fails after that box.
void Parse(ParserInput& input, MovieRecord& movie);

// Walks the payload of a movie box; fileSize bounds the sample bytes that a
// constant-size sample table may claim.
void ParseMovieBox(const Format::BoxView& payload, MovieRecord& movie, uint64_t fileSize);

// Fills the vendor box list from the children of a vendor skip box payload
// that follow its 8-byte "TALVENex" mark.
void ParseVendorBoxes(const Format::BoxView& children, MovieRecord& movie);

// The payloads of saiz and senc boxes, in the sample table or in a track
// fragment, read into that place's encryption data.
void ReadSampleAuxSizes(Format::BoxView payload, ProtectionData& protection);
void ReadSampleEncryption(Format::BoxView payload, ProtectionData& protection);

// The payload of the last vendor box of that type in the file, or null.
const VendorBox* FindVendorBox(const MovieRecord& movie, uint32_t type);

}  // namespace ZENT::SDK::Pelagor2::MP4Parser

#endif

// A whole recording: movie, tracks, sample tables and media data laid out
// with correct chunk offsets, written to memory or streamed to a file.
#ifndef STAMPWALK_WRITER_RECORDINGBUILDER_H
#define STAMPWALK_WRITER_RECORDINGBUILDER_H

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "writer/BoxBuilder.h"
#include "writer/IsoBoxes.h"

namespace writer {

struct SampleInfo {
    uint32_t size = 0;
    uint32_t duration = 0;  // media timescale units
    bool sync = true;
    std::optional<int32_t> compositionOffset;  // a ctts is written when any sample has one
};

// Writes the `size` bytes of sample `index` to out; used when a track's
// bytes are made while writing instead of held in memory.
using SampleBytesFn = std::function<void(uint32_t index, uint8_t* out, uint32_t size)>;

enum class SyncTable {
    Auto,    // none when every sample is a sync sample, else the sync samples listed
    Listed,  // the sync samples listed, even when all are
    None,    // no stss: every sample is a sync sample
    Empty,   // an stss without entries: no sample is a sync sample
};

enum class SampleSizeTable {
    Auto,       // one constant size when all samples share it, else per sample
    Constant,   // one constant size (std::invalid_argument when sizes differ)
    PerSample,  // one entry per sample
};

enum class ChunkOffsetTable { Stco, Co64 };

struct Track {
    std::string handler = "vide";
    std::string handlerName;
    uint32_t trackId = 0;  // 0: position in the movie + 1
    uint32_t timescale = 90000;
    uint64_t creationTime = 0;  // seconds since 1904 (kIsoEpochOffset + Unix seconds)
    uint64_t modificationTime = 0;
    uint8_t headerVersion = 0;  // of tkhd and mdhd
    uint32_t width = 0;         // tkhd, integer parts
    uint32_t height = 0;
    std::vector<Box> sampleEntries;

    // Samples: their table data, and either their bytes (sampleData, one per
    // sample) or a generator (sampleBytes) that makes them while writing.
    std::vector<SampleInfo> samples;
    std::vector<Bytes> sampleData;
    SampleBytesFn sampleBytes;

    // Chunking: chunkSizes[k] samples in chunk k + 1, the last value
    // repeating; samplesPerChunk when chunkSizes is empty.
    uint32_t samplesPerChunk = 1;
    std::vector<uint32_t> chunkSizes;
    ChunkOffsetTable chunkOffsets = ChunkOffsetTable::Stco;

    std::vector<EditEntry> edits;  // an edts/elst is written when not empty
    SyncTable syncTable = SyncTable::Auto;
    SampleSizeTable sampleSizes = SampleSizeTable::Auto;
    // vmhd for "vide", smhd for "soun", hmhd for "hint", else nmhd.
    std::optional<Box> mediaInformationHeader;
    std::vector<Box> moreSampleTableBoxes;  // appended to stbl (saiz, senc, ...)
    std::vector<Box> moreTrackBoxes;        // appended to trak
    // Types of the boxes this track leaves out ("stts", "stss", "dinf", "tkhd", ...).
    std::vector<std::string> omitBoxes;

    // A sample held in memory.
    Track& add(const Bytes& data, uint32_t duration, bool sync = true,
               std::optional<int32_t> compositionOffset = std::nullopt);
    // A sample whose bytes sampleBytes makes.
    Track& addSized(uint32_t size, uint32_t duration, bool sync = true,
                    std::optional<int32_t> compositionOffset = std::nullopt);
    uint32_t sampleCount() const { return uint32_t(samples.size()); }
    uint64_t mediaDuration() const;
    bool omits(const std::string& boxType) const;
};

// Tracks with the usual handler and media header.
Track VideoTrack(const Box& sampleEntry, uint32_t timescale = 90000, uint32_t width = 0, uint32_t height = 0);
Track AudioTrack(const Box& sampleEntry, uint32_t timescale);
Track MetadataTrack(const Box& sampleEntry, uint32_t timescale = 1000);

// The sample entry of frame-information tracks: 6 reserved bytes and a data
// reference index under the type "norv".
Box FrameInfoSampleEntry();
// The frame-information track of `media`: handler "norv", one record per
// sample, the media track's timescale, creation time, durations and
// chunking. Records beyond the media track's samples get its last duration.
Track CompanionTrack(const Track& media, const std::vector<Bytes>& records);

enum class BoxOrder { MdatFirst, MoovFirst };

struct MovieFields {
    uint8_t version = 0;
    uint32_t timescale = 1000;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    std::optional<uint64_t> duration;     // default: the longest track
    std::optional<uint32_t> nextTrackId;  // default: the largest track id + 1
};

struct ChunkPlace {
    uint32_t track = 0;
    uint32_t chunk = 0;  // counts from 0
    uint32_t firstSample = 0;
    uint32_t sampleCount = 0;
    uint64_t offset = 0;
};

// Where everything goes, in file positions (from the first byte of ftyp).
struct Layout {
    uint64_t mdatOffset = 0;
    uint64_t mdatHeaderSize = 0;
    uint64_t mdatSize = 0;  // header included
    uint64_t moovOffset = 0;
    uint64_t moovSize = 0;
    uint64_t fileSize = 0;
    std::vector<ChunkPlace> chunks;                    // in file order
    std::vector<std::vector<uint64_t>> chunkOffsets;   // per track, per chunk
    std::vector<std::vector<uint64_t>> sampleOffsets;  // per track, per sample
};

// Chunks are put into mdat in the order of their first sample's decoding
// time, tracks in their order on equal times, so tracks interleave as a
// camera writes them.
class Recording {
public:
    MovieFields movie;
    BoxOrder order = BoxOrder::MdatFirst;
    std::optional<Box> ftyp = Ftyp();   // std::nullopt: no ftyp
    std::vector<Box> boxesBeforeMedia;  // after ftyp
    std::vector<Box> trailingBoxes;     // at the very end
    std::vector<Box> moreMovieBoxes;    // in moov after the tracks
    bool mdatLargeSize = false;         // also chosen when the media data needs it
    // A deque, so references to tracks stay valid while more are added.
    std::deque<Track> tracks;

    Track& addTrack(Track track);
    // CompanionTrack(the last added track, records), placed right after it.
    Track& addCompanion(const std::vector<Bytes>& records);

    Layout layout() const;
    Box moov(const Layout& layout) const;
    Bytes bytes() const;
    // Streams the media data; tracks with sampleBytes are never held whole.
    void writeFile(const std::string& path) const;
    uint64_t movieDuration() const;

    class Sink;  // where write() puts the bytes: memory or a buffered file

private:
    void write(Sink& sink) const;
    Box trak(size_t index, const Layout& layout) const;
};

}  // namespace writer

#endif

// Plain records of what the box walk reads: the movie, its tracks, their
// sample tables and sample descriptions, and the vendor box list.
#ifndef STAMPWALK_ISOM_MOVIERECORD_H
#define STAMPWALK_ISOM_MOVIERECORD_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/CodecTables.h"
#include "format/MetadataEntry.h"

namespace ZENT::SDK::Pelagor2 {

constexpr unsigned kMaxTracks = 16;

// ISO times count seconds from 1904-01-01; Unix time from 1970-01-01.
constexpr uint64_t kSecondsFrom1904To1970 = 2082844800;

// The version and flags that open every full box.
struct FullBoxHeader {
    uint8_t version = 0;
    uint32_t flags = 0;
};

// The fields a movie header and a media header share.
struct MediaTimes : FullBoxHeader {
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timescale = 0;
    uint64_t duration = 0;
};

struct MovieHeader : MediaTimes {
    uint32_t nextTrackId = 0;
};

struct TrackHeader : FullBoxHeader {
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t trackId = 0;
    uint64_t duration = 0;
    uint32_t width = 0;  // integer part of the 16.16 value
    uint32_t height = 0;
};

struct MediaHeader : MediaTimes {
    uint16_t language = 0;
    uint16_t preDefined = 0;
};

struct HintMediaHeader : FullBoxHeader {
    uint16_t maxPduSize = 0;
    uint16_t avgPduSize = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
};

struct BitRate {
    uint32_t bufferSizeDB = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
};

struct EsDescriptor {
    uint64_t decoderSpecificInfoPosition = 0;
    uint8_t version = 0;
    uint32_t flags = 0;
    uint8_t objectTypeIndication = 0;
    uint8_t streamTypeByte = 0;
    BitRate bitRate;
    uint16_t esId = 0;
    uint8_t streamDependenceFlag = 0;
    uint8_t urlFlag = 0;
    uint8_t ocrStreamFlag = 0;
    uint8_t streamPriority = 0;
};

struct SchemeType : FullBoxHeader {
    uint32_t schemeType = 0;
    uint32_t schemeVersion = 0;
};

struct TrackEncryption : FullBoxHeader {
    uint8_t defaultIsProtected = 0;
    uint8_t defaultPerSampleIvSize = 0;
    uint8_t defaultKid[16] = {};
};

using Format::MetadataForm;

struct SampleDescription {
    uint32_t type = 0;  // for a protected entry, the data format of its frma box
    uint16_t dataReferenceIndex = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t horizontalResolution = 0;
    uint32_t verticalResolution = 0;
    uint16_t channelCount = 0;
    uint16_t sampleSize = 0;
    uint32_t sampleRate = 0;  // integer Hz
    EsDescriptor es;
    std::vector<uint8_t> genericConfig;
    BitRate bitRate;
    std::vector<uint8_t> amrConfig;
    std::vector<uint8_t> avcConfig;
    uint8_t avcLengthSizeMinusOne = 0;
    uint32_t hevcParameterSetLength = 0;  // VPS, SPS and PPS with their start codes
    std::vector<uint8_t> hevcConfig;
    uint8_t hevcLengthSizeMinusOne = 0;
    SchemeType scheme;
    TrackEncryption encryption;
    // Resolved once the entry is read; nullptr when its track is not playable.
    const Utility::CodecEntry* codec = nullptr;
    MetadataForm metadataForm = MetadataForm::kNone;  // of a "mett" entry
};

struct TimeToSampleEntry {
    uint32_t sampleCount = 0;
    uint32_t sampleDelta = 0;
};

struct SampleToChunkEntry {
    uint32_t firstChunk = 0;
    uint32_t samplesPerChunk = 0;
    uint32_t sampleDescriptionIndex = 0;
    uint64_t firstSample = 0;  // number, from 0, of the first sample of its first chunk
};

struct CompositionOffsetEntry {
    uint32_t sampleCount = 0;
    uint32_t sampleOffset = 0;
};

struct SampleSizeTable : FullBoxHeader {
    uint32_t sampleSize = 0;
    uint32_t sampleCount = 0;
    uint32_t largestSize = 0;
    std::vector<uint32_t> sizes;  // empty when sampleSize is not 0
};

struct ProtectionData {
    bool hasSampleEncryption = false;
    uint32_t subsampleFlag = 0;
    std::vector<uint8_t> sampleEncryptionData;
    uint8_t sampleInfoSize = 0;
    std::vector<uint64_t> sampleInfoOffsets;  // running sums of the per-sample sizes
};

struct SampleTable {
    FullBoxHeader descriptionHeader;
    std::vector<SampleDescription> descriptions;
    std::vector<TimeToSampleEntry> timeToSample;
    bool hasSyncTable = false;
    std::vector<uint32_t> syncSamples;
    std::vector<SampleToChunkEntry> sampleToChunk;
    SampleSizeTable sizes;
    std::vector<uint32_t> chunkOffsets32;
    std::vector<uint64_t> chunkOffsets64;
    bool hasCompositionTable = false;
    std::vector<CompositionOffsetEntry> compositionOffsets;
    ProtectionData protection;
};

struct DataReferenceEntry {
    uint32_t size = 0;
    uint32_t type = 0;
    uint8_t version = 0;
    uint32_t flags = 0;
    std::string data;
};

struct DataReferences : FullBoxHeader {
    std::vector<DataReferenceEntry> entries;
};

struct Handler : FullBoxHeader {
    uint32_t handlerType = 0;
};

// Wide enough for the 64-bit fields of a version 1 edit list.
struct EditEntry {
    uint64_t segmentDuration = 0;
    int64_t mediaTime = 0;
    uint32_t mediaRate = 0;
};

struct EditList : FullBoxHeader {
    std::vector<EditEntry> entries;
};

// The defaults a track extends box (trex) gives the samples of a track's
// movie fragments.
struct TrackExtends : FullBoxHeader {
    uint32_t trackId = 0;
    uint32_t defaultSampleDescriptionIndex = 0;
    uint32_t defaultSampleDuration = 0;
    uint32_t defaultSampleSize = 0;
    uint32_t defaultSampleFlags = 0;
};

// The movie extends box (mvex): a movie that has one may carry samples in
// movie fragments after its movie box.
struct MovieExtends {
    bool present = false;
    uint64_t fragmentDuration = 0;  // of mehd, in the movie timescale; 0 without one
    std::vector<TrackExtends> trackExtends;
};

// One sample of a track fragment run, with the defaults already applied.
struct FragmentSample {
    uint64_t offset = 0;            // relative to the start of the ISO data
    int64_t compositionOffset = 0;  // media timescale units; signed in version 1 runs
    uint32_t size = 0;
    uint32_t duration = 0;
    uint32_t syncFlag = 0;  // 1 unless the sample flags say sample_is_non_sync_sample
};

// A decode time a track fragment states (tfdt) for its first sample.
struct FragmentDecodeTime {
    uint32_t firstSample = 0;  // index in TrackFragments::samples
    uint64_t decodeTime = 0;   // media timescale units
};

// The encryption records of one track fragment's samples, in the form the
// sample table's senc and saiz fill, counted from the fragment's first sample.
struct FragmentProtection {
    uint32_t firstSample = 0;  // index in TrackFragments::samples
    uint32_t sampleCount = 0;
    ProtectionData protection;
};

// The samples a track gets from movie fragments. They follow the samples of
// the sample table: sample j of the track's timeline is fragment sample
// j - sizes.sampleCount.
struct TrackFragments {
    std::vector<FragmentSample> samples;          // in the order of the fragments in the file
    std::vector<FragmentDecodeTime> decodeTimes;  // ascending firstSample
    std::vector<FragmentProtection> protections;  // ascending firstSample
    bool hasCompositionOffsets = false;
};

struct TrackRecord {
    TrackHeader header;
    MediaHeader media;
    uint8_t isVideo = 0;
    uint8_t isAudio = 0;
    uint8_t isHint = 0;
    FullBoxHeader videoMediaHeader;
    FullBoxHeader soundMediaHeader;
    HintMediaHeader hintMediaHeader;
    SampleTable sampleTable;
    DataReferences dataReferences;
    Handler handler;
    EditList editList;
    TrackFragments fragments;

    const SampleDescription* firstDescription() const {
        return sampleTable.descriptions.empty() ? nullptr : &sampleTable.descriptions.front();
    }
};

// One child of the vendor skip box. A lookup by type finds the last such
// child in the file.
struct VendorBox {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};

// How far the walk of a fragmented movie got: the fragments read whole, and
// where they end. Bytes after that end are an unfinished fragment (a file
// still being written or cut short) or anything else the walk could not read.
struct FragmentWalk {
    uint32_t completeFragments = 0;
    uint64_t endOffset = 0;  // relative to the start of the ISO data
};

struct MovieRecord {
    MovieHeader header;
    std::vector<TrackRecord> tracks;     // at most kMaxTracks, in file order
    std::vector<VendorBox> vendorBoxes;  // in file order
    MovieExtends extends;
    FragmentWalk fragmentWalk;  // of a movie with extends.present
};

}  // namespace ZENT::SDK::Pelagor2

#endif

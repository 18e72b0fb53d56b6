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

struct MovieRecord {
    MovieHeader header;
    std::vector<TrackRecord> tracks;     // at most kMaxTracks, in file order
    std::vector<VendorBox> vendorBoxes;  // in file order
};

}  // namespace ZENT::SDK::Pelagor2

#endif

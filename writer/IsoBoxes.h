// Builders of the ISO boxes a recording is made of, one function per box.
// Defaults are those of an ordinary writer; every field the reader reads is
// a parameter.
#ifndef STAMPWALK_WRITER_ISOBOXES_H
#define STAMPWALK_WRITER_ISOBOXES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "writer/BoxBuilder.h"

namespace writer {

// Seconds from 1904-01-01 to 1970-01-01: ISO creation times count from 1904.
constexpr uint64_t kIsoEpochOffset = 2082844800;

Box Ftyp(std::string_view majorBrand = "isom", uint32_t minorVersion = 0x200,
         const std::vector<std::string>& compatibleBrands = {"isom", "iso2", "avc1", "mp41"});

// Any container: its children one after another.
Box Container(std::string_view type, const std::vector<Box>& children);

// Version 0 writes 32-bit times and duration, version 1 64-bit ones.
struct MvhdFields {
    uint8_t version = 0;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timescale = 1000;
    uint64_t duration = 0;
    uint32_t nextTrackId = 1;
};
Box Mvhd(const MvhdFields& fields);

struct TkhdFields {
    uint8_t version = 0;
    uint32_t flags = 3;  // enabled, in movie
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t trackId = 1;
    uint64_t duration = 0;
    uint16_t volume = 0;  // 0x0100 for audio
    uint32_t width = 0;   // integer parts of the 16.16 values
    uint32_t height = 0;
};
Box Tkhd(const TkhdFields& fields);

struct MdhdFields {
    uint8_t version = 0;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timescale = 90000;
    uint64_t duration = 0;
    uint16_t language = 0x55C4;  // "und"
};
Box Mdhd(const MdhdFields& fields);

Box Hdlr(std::string_view handlerType, std::string_view name = "");
Box Vmhd();
Box Smhd();
Box Hmhd(uint16_t maxPduSize = 0, uint16_t avgPduSize = 0, uint32_t maxBitrate = 0, uint32_t avgBitrate = 0);
Box Nmhd();

// "url " with flag 1 (media in this file) when location is empty.
Box Url(std::string_view location = "");
Box Dref(const std::vector<Box>& entries);
// dinf > dref > one self-contained "url ".
Box Dinf();

struct EditEntry {
    uint32_t segmentDuration = 0;  // movie timescale
    int32_t mediaTime = 0;         // -1: an empty edit
    uint32_t mediaRate = 0x00010000;
};
// Version 0 has 32-bit fields; version 1 writes the standard 64-bit
// segment_duration and media_time (the reader takes 32-bit fields whatever
// the version, so version 1 is for testing that mismatch).
Box Elst(const std::vector<EditEntry>& entries, uint8_t version = 0);
Box Edts(const std::vector<EditEntry>& entries);

struct TimeToSample {
    uint32_t sampleCount = 0;
    uint32_t sampleDelta = 0;
};
Box Stts(const std::vector<TimeToSample>& entries);

struct CompositionOffset {
    uint32_t sampleCount = 0;
    int32_t sampleOffset = 0;  // written as its 32-bit two's complement
};
Box Ctts(const std::vector<CompositionOffset>& entries, uint8_t version = 0);

// Sample numbers count from 1; an empty list writes an empty table.
Box Stss(const std::vector<uint32_t>& sampleNumbers);

struct SampleToChunk {
    uint32_t firstChunk = 1;  // counts from 1
    uint32_t samplesPerChunk = 1;
    uint32_t sampleDescriptionIndex = 1;
};
Box Stsc(const std::vector<SampleToChunk>& entries);

Box StszConstant(uint32_t sampleSize, uint32_t sampleCount);
// sample_size 0 and one entry per sample.
Box Stsz(const std::vector<uint32_t>& sizes);
Box Stco(const std::vector<uint32_t>& offsets);
Box Co64(const std::vector<uint64_t>& offsets);

Box Stsd(const std::vector<Box>& entries);

// Default size not 0: every sample's record has that size and no list is
// written. Default 0: one size byte per sample. auxInfo, when given, sets
// flag bit 0 and writes aux_info_type and aux_info_type_parameter.
struct AuxInfoType {
    uint32_t type = 0;
    uint32_t parameter = 0;
};
Box Saiz(uint8_t defaultSampleInfoSize, uint32_t sampleCount, const std::vector<uint8_t>& sampleInfoSizes = {},
         std::optional<AuxInfoType> auxInfo = std::nullopt);

struct SubSample {
    uint16_t clearBytes = 0;
    uint32_t protectedBytes = 0;
};
// One sample's encryption record: an 8-byte IV, then (with sub-samples) a
// count and the (clear, protected) pairs.
struct EncryptionRecord {
    Bytes iv;  // 8 bytes
    std::vector<SubSample> subSamples;
};
Bytes EncryptionRecordBytes(const EncryptionRecord& record, bool withSubSamples);
// flags bit 1 (value 2) announces sub-samples.
Box Senc(const std::vector<EncryptionRecord>& records, bool withSubSamples);

// ---- movie fragments ------------------------------------------------------

// Sample flags of fragment samples: a sync sample depends on no other; any
// other sample depends on others and is marked sample_is_non_sync_sample.
constexpr uint32_t kSyncSampleFlags = 0x02000000;
constexpr uint32_t kNonSyncSampleFlags = 0x01010000;

// mvex's header: the length of the whole fragmented movie, movie timescale.
Box Mehd(uint64_t fragmentDuration, uint8_t version = 0);

struct TrexFields {
    uint32_t trackId = 1;
    uint32_t defaultSampleDescriptionIndex = 1;
    uint32_t defaultSampleDuration = 0;
    uint32_t defaultSampleSize = 0;
    uint32_t defaultSampleFlags = 0;
};
Box Trex(const TrexFields& fields);

Box Mfhd(uint32_t sequenceNumber);

// Every field given sets its flag and is written.
struct TfhdFields {
    uint32_t trackId = 1;
    std::optional<uint64_t> baseDataOffset;
    std::optional<uint32_t> sampleDescriptionIndex;
    std::optional<uint32_t> defaultSampleDuration;
    std::optional<uint32_t> defaultSampleSize;
    std::optional<uint32_t> defaultSampleFlags;
    bool defaultBaseIsMoof = false;
};
Box Tfhd(const TfhdFields& fields);

// Version 1 writes a 64-bit decode time.
Box Tfdt(uint64_t baseMediaDecodeTime, uint8_t version = 1);

// One sample of a run. The fields the first sample has are written for
// every sample (std::invalid_argument when a later one lacks one).
struct TrunSample {
    std::optional<uint32_t> duration;
    std::optional<uint32_t> size;
    std::optional<uint32_t> flags;
    std::optional<int32_t> compositionOffset;  // signed in a version 1 run
};
struct TrunFields {
    uint8_t version = 0;
    std::optional<int32_t> dataOffset;
    std::optional<uint32_t> firstSampleFlags;
    std::vector<TrunSample> samples;
    std::optional<uint32_t> sampleCount;  // written instead of the number of samples
};
Box Trun(const TrunFields& fields);

// A "free" (or "skip") box with payloadSize zero bytes.
Box Free(size_t payloadSize = 0, std::string_view type = "free");
Box Skip(const Bytes& payload);
// The camera maker's "skip" box: "TALVENex" followed by child boxes.
Box VendorSkip(const std::vector<Box>& children);
Box Mdat(const Bytes& content);

}  // namespace writer

#endif

#include "isom/FragmentIndex.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "format/BadFormat.h"
#include "format/BoxHeader.h"
#include "format/ByteOrder.h"
#include "format/FourCC.h"
#include "isom/BoxParser.h"
#include "isom/SampleIndex.h"

namespace ZENT::SDK::Pelagor2 {

using Format::BoxHeader;
using Format::BoxView;
using Format::FourCC;

namespace {

// Flags of the track fragment header (tfhd).
constexpr uint32_t kBaseDataOffsetPresent = 0x000001;
constexpr uint32_t kSampleDescriptionIndexPresent = 0x000002;
constexpr uint32_t kDefaultDurationPresent = 0x000008;
constexpr uint32_t kDefaultSizePresent = 0x000010;
constexpr uint32_t kDefaultFlagsPresent = 0x000020;
constexpr uint32_t kDefaultBaseIsMoof = 0x020000;

// Flags of the track fragment run (trun).
constexpr uint32_t kDataOffsetPresent = 0x000001;
constexpr uint32_t kFirstSampleFlagsPresent = 0x000004;
constexpr uint32_t kSampleDurationPresent = 0x000100;
constexpr uint32_t kSampleSizePresent = 0x000200;
constexpr uint32_t kSampleFlagsPresent = 0x000400;
constexpr uint32_t kCompositionOffsetPresent = 0x000800;

// sample_is_non_sync_sample of the sample flags.
constexpr uint32_t kSampleIsNonSync = 0x00010000;

// A stated decode time from which no run of samples can reach 2^63 units:
// packet origins count time in signed 64 bits.
constexpr uint64_t kDecodeTimeLimit = uint64_t(1) << 62;

// Encryption records without sizes (no saiz): an 8-byte IV, then with
// sub-samples a 16-bit count and 6 bytes per sub-sample.
constexpr uint64_t kIvSize = 8;
constexpr uint64_t kSubsampleCountSize = 2;
constexpr uint64_t kSubsampleSize = 6;

[[noreturn]] void Refuse(const char* why) { throw MP4Parser::bad_format(why); }

struct SampleDefaults {
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

// One track fragment as read, kept apart until its whole fragment is read.
struct TrackFragmentRecord {
    size_t trackIndex = 0;
    std::vector<FragmentSample> samples;
    std::optional<uint64_t> decodeTime;
    std::optional<ProtectionData> protection;
    bool hasCompositionOffsets = false;
};

// What the reading of one movie fragment carries from one track fragment to
// the next.
struct FragmentContext {
    FragmentContext(const MovieRecord& movieRecord, uint64_t moofPosition, uint64_t size, uint64_t left)
        : movie(movieRecord), moofStart(moofPosition), fileSize(size), samplesLeft(left) {}

    const MovieRecord& movie;
    uint64_t moofStart;
    uint64_t fileSize;
    uint64_t samplesLeft;  // samples the index-entry ceiling still allows
    // Without an explicit base, the first track fragment's data are counted
    // from the movie fragment box, a later one's from where the data of the
    // one before it ended.
    bool firstTrackFragment = true;
    uint64_t previousDataEnd = 0;
    std::vector<TrackFragmentRecord> trackFragments;
};

// The children of a track fragment that are read; the others, a nested
// movie fragment box among them, are passed over.
struct TrackFragmentBoxes {
    std::optional<BoxView> header;
    std::optional<BoxView> decodeTime;
    std::vector<BoxView> runs;
    std::optional<BoxView> encryption;
    std::optional<BoxView> auxSizes;
};

TrackFragmentBoxes FindTrackFragmentBoxes(BoxView view) {
    TrackFragmentBoxes boxes;
    BoxHeader header;
    while (Format::ReadChildHeader(view, header)) {
        const BoxView payload = Format::PayloadOf(view, header);
        switch (header.type) {
            case FourCC("tfhd"): boxes.header = payload; break;
            case FourCC("tfdt"): boxes.decodeTime = payload; break;
            case FourCC("trun"): boxes.runs.push_back(payload); break;
            case FourCC("senc"): boxes.encryption = payload; break;
            case FourCC("saiz"): boxes.auxSizes = payload; break;
            default: break;
        }
        view.SeekTo(header.end);
    }
    return boxes;
}

std::optional<size_t> FindTrack(const MovieRecord& movie, uint32_t trackId) {
    for (size_t t = 0; t < movie.tracks.size(); ++t)
        if (movie.tracks[t].header.trackId == trackId) return t;
    return std::nullopt;
}

SampleDefaults TrackExtendsDefaults(const MovieExtends& extends, uint32_t trackId) {
    SampleDefaults defaults;
    for (const TrackExtends& entry : extends.trackExtends) {
        if (entry.trackId != trackId) continue;
        defaults.duration = entry.defaultSampleDuration;
        defaults.size = entry.defaultSampleSize;
        defaults.flags = entry.defaultSampleFlags;
    }
    return defaults;
}

unsigned FieldsPerSample(uint32_t flags) {
    unsigned fields = 0;
    for (uint32_t field : {kSampleDurationPresent, kSampleSizePresent, kSampleFlagsPresent, kCompositionOffsetPresent})
        if (flags & field) ++fields;
    return fields;
}

// base + offset, refused when it falls outside 64 unsigned bits.
uint64_t OffsetFrom(uint64_t base, int32_t offset) {
    if (offset < 0 && uint64_t(-int64_t(offset)) > base) Refuse("run data before the start of the file");
    if (offset > 0 && base > UINT64_MAX - uint64_t(offset)) Refuse("run data past 2^64");
    return offset < 0 ? base - uint64_t(-int64_t(offset)) : base + uint64_t(offset);
}

// One run: its samples follow each other from the run's data offset, or
// from where the previous run of the track fragment ended.
void ReadRun(BoxView view, const SampleDefaults& defaults, uint64_t base, uint64_t& dataPosition,
             FragmentContext& context, TrackFragmentRecord& record) {
    const uint8_t version = view.U8();
    const uint32_t flags = view.U24();
    const uint32_t count = view.U32();
    if (flags & kDataOffsetPresent) dataPosition = OffsetFrom(base, int32_t(view.U32()));
    const bool hasFirstFlags = flags & kFirstSampleFlagsPresent;
    const uint32_t firstFlags = hasFirstFlags ? view.U32() : 0;
    const uint64_t bytesPerSample = 4 * uint64_t(FieldsPerSample(flags));
    if (bytesPerSample != 0 && count > view.remaining() / bytesPerSample) Refuse("run larger than its box");
    // A run without per-sample fields costs no bytes of its box: the data of
    // its samples must fit the file, and the ceiling bounds samples of none.
    if (!(flags & kSampleSizePresent) && defaults.size != 0 &&
        (dataPosition > context.fileSize || count > (context.fileSize - dataPosition) / defaults.size))
        Refuse("run data past the end of the file");
    if (count > context.samplesLeft) Refuse("more samples than the file can hold");
    context.samplesLeft -= count;
    record.samples.reserve(record.samples.size() + count);
    if (flags & kCompositionOffsetPresent) record.hasCompositionOffsets = true;
    for (uint32_t i = 0; i < count; ++i) {
        FragmentSample sample;
        sample.duration = flags & kSampleDurationPresent ? view.U32() : defaults.duration;
        sample.size = flags & kSampleSizePresent ? view.U32() : defaults.size;
        uint32_t sampleFlags = defaults.flags;
        if (flags & kSampleFlagsPresent)
            sampleFlags = view.U32();
        else if (i == 0 && hasFirstFlags)
            sampleFlags = firstFlags;
        if (flags & kCompositionOffsetPresent) {
            const uint32_t offset = view.U32();
            sample.compositionOffset = version == 0 ? int64_t(offset) : int64_t(int32_t(offset));
        }
        sample.syncFlag = sampleFlags & kSampleIsNonSync ? 0 : 1;
        if (dataPosition > context.fileSize || sample.size > context.fileSize - dataPosition)
            Refuse("sample outside the file");
        sample.offset = dataPosition;
        dataPosition += sample.size;
        record.samples.push_back(sample);
    }
}

// Without sizes in a saiz, each record's place is found by reading the
// records before it. Samples after the last whole record get none, and so
// fail when they are decrypted.
void LocateRecords(ProtectionData& protection, size_t sampleCount) {
    const std::vector<uint8_t>& data = protection.sampleEncryptionData;
    protection.sampleInfoOffsets.clear();
    uint64_t at = 0;
    for (size_t k = 0; k < sampleCount && data.size() - at >= kIvSize; ++k) {
        protection.sampleInfoOffsets.push_back(at);
        at += kIvSize;
        if (protection.subsampleFlag == 0) continue;
        if (data.size() - at < kSubsampleCountSize) break;
        at += kSubsampleCountSize + kSubsampleSize * Format::LoadU16(data.data() + at);
        if (at > data.size()) break;
    }
}

void ReadTrackFragment(BoxView view, FragmentContext& context) {
    const TrackFragmentBoxes boxes = FindTrackFragmentBoxes(view);
    if (!boxes.header) return;
    BoxView header = *boxes.header;
    header.U8();  // version
    const uint32_t flags = header.U24();
    const uint32_t trackId = header.U32();
    const std::optional<size_t> track = FindTrack(context.movie, trackId);
    // A track fragment of a track the movie does not list is passed over
    // whole, and the next one's implicit base does not count its data.
    if (!track) return;

    SampleDefaults defaults = TrackExtendsDefaults(context.movie.extends, trackId);
    uint64_t base = context.previousDataEnd;
    if (flags & kBaseDataOffsetPresent)
        base = header.U64();
    else if ((flags & kDefaultBaseIsMoof) || context.firstTrackFragment)
        base = context.moofStart;
    if (flags & kSampleDescriptionIndexPresent) header.U32();  // the first description serves every sample
    if (flags & kDefaultDurationPresent) defaults.duration = header.U32();
    if (flags & kDefaultSizePresent) defaults.size = header.U32();
    if (flags & kDefaultFlagsPresent) defaults.flags = header.U32();

    TrackFragmentRecord record;
    record.trackIndex = *track;
    if (boxes.decodeTime) {
        BoxView decodeTime = *boxes.decodeTime;
        const uint8_t version = decodeTime.U8();
        decodeTime.U24();
        record.decodeTime = version == 1 ? decodeTime.U64() : decodeTime.U32();
        if (*record.decodeTime >= kDecodeTimeLimit) Refuse("decode time out of range");
    }
    uint64_t dataPosition = base;
    for (const BoxView& run : boxes.runs) ReadRun(run, defaults, base, dataPosition, context, record);
    if (boxes.encryption) {
        ProtectionData& protection = record.protection.emplace();
        MP4Parser::ReadSampleEncryption(*boxes.encryption, protection);
        if (boxes.auxSizes)
            MP4Parser::ReadSampleAuxSizes(*boxes.auxSizes, protection);
        else
            LocateRecords(protection, record.samples.size());
    }
    context.previousDataEnd = dataPosition;
    context.firstTrackFragment = false;
    context.trackFragments.push_back(std::move(record));
}

void Append(TrackFragmentRecord& record, TrackFragments& fragments) {
    const uint32_t first = uint32_t(fragments.samples.size());
    if (record.decodeTime) fragments.decodeTimes.push_back({first, *record.decodeTime});
    if (record.protection)
        fragments.protections.push_back({first, uint32_t(record.samples.size()), std::move(*record.protection)});
    if (record.hasCompositionOffsets) fragments.hasCompositionOffsets = true;
    fragments.samples.insert(fragments.samples.end(), record.samples.begin(), record.samples.end());
}

}  // namespace

uint64_t MovieSampleCount(const MovieRecord& movie) {
    uint64_t count = 0;
    for (const TrackRecord& track : movie.tracks)
        count += track.sampleTable.sizes.sampleCount + track.fragments.samples.size();
    return count;
}

bool ReadMovieFragment(const BoxView& payload, uint64_t moofStart, MovieRecord& movie, uint64_t fileSize) {
    const uint64_t allowed = IndexEntriesAllowed(fileSize);
    const uint64_t held = MovieSampleCount(movie);
    FragmentContext context(movie, moofStart, fileSize, held < allowed ? allowed - held : 0);
    try {
        BoxView view = payload;
        BoxHeader header;
        while (Format::ReadChildHeader(view, header)) {
            if (header.type == FourCC("traf")) ReadTrackFragment(Format::PayloadOf(view, header), context);
            view.SeekTo(header.end);
        }
    } catch (const MP4Parser::bad_format&) {
        return false;
    }
    for (TrackFragmentRecord& record : context.trackFragments)
        Append(record, movie.tracks[record.trackIndex].fragments);
    return true;
}

const ProtectionData& SampleProtection(const TrackRecord& track, uint32_t j, uint32_t& record) {
    static const ProtectionData kNone;
    const uint32_t tableCount = track.sampleTable.sizes.sampleCount;
    record = j;
    if (j < tableCount) return track.sampleTable.protection;
    const uint32_t k = j - tableCount;
    const std::vector<FragmentProtection>& list = track.fragments.protections;
    auto after = std::upper_bound(list.begin(), list.end(), k,
                                  [](uint32_t sample, const FragmentProtection& p) { return sample < p.firstSample; });
    if (after == list.begin()) return kNone;
    const FragmentProtection& found = *(after - 1);
    if (k - found.firstSample >= found.sampleCount) return kNone;
    record = k - found.firstSample;
    return found.protection;
}

}  // namespace ZENT::SDK::Pelagor2

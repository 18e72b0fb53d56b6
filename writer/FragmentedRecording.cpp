#include "writer/FragmentedRecording.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace writer {

namespace {

constexpr uint64_t kMdatHeaderSize = 8;

// Trex values no sample of a plan that puts its values elsewhere has: a
// reader that falls back to them when it should not gets wrong samples.
constexpr uint32_t kUnusedDefault = 7;

uint32_t SampleFlags(const SampleInfo& sample) { return sample.sync ? kSyncSampleFlags : kNonSyncSampleFlags; }

// The value all samples of [first, end) share, if they do.
template <typename Field>
std::optional<uint32_t> Shared(const std::vector<SampleInfo>& samples, size_t first, size_t end, Field field) {
    if (first >= end) return std::nullopt;
    const uint32_t value = field(samples[first]);
    for (size_t i = first + 1; i < end; ++i)
        if (field(samples[i]) != value) return std::nullopt;
    return value;
}

uint32_t Duration(const SampleInfo& s) { return s.duration; }
uint32_t Size(const SampleInfo& s) { return s.size; }

struct Range {
    size_t first = 0;
    size_t end = 0;
    bool empty() const { return first >= end; }
};

int32_t DataOffset(uint64_t position, uint64_t base) {
    const int64_t offset = int64_t(position) - int64_t(base);
    if (offset < std::numeric_limits<int32_t>::min() || offset > std::numeric_limits<int32_t>::max())
        throw std::length_error("a data offset needs more than 32 bits");
    return int32_t(offset);
}

}  // namespace

Track& FragmentedRecording::addTrack(Track track) {
    tracks.push_back(std::move(track));
    return tracks.back();
}

Track& FragmentedRecording::addCompanion(const std::vector<Bytes>& records) {
    if (tracks.empty()) throw std::logic_error("a companion track follows a media track");
    return addTrack(CompanionTrack(tracks.back(), records));
}

uint32_t FragmentedRecording::TrackId(size_t track) const {
    return tracks[track].trackId != 0 ? tracks[track].trackId : uint32_t(track + 1);
}

uint32_t FragmentedRecording::fragmentCount() const {
    if (plan.samplesPerFragment == 0) throw std::invalid_argument("a fragment needs at least one sample");
    uint32_t count = 0;
    for (const Track& track : tracks) {
        const uint32_t inFragments =
            track.sampleCount() > plan.samplesInMovie ? track.sampleCount() - plan.samplesInMovie : 0;
        count = std::max(count, (inFragments + plan.samplesPerFragment - 1) / plan.samplesPerFragment);
    }
    return count;
}

Recording FragmentedRecording::LeadingRecording() const {
    Recording leading;
    leading.movie = movie;
    leading.ftyp = ftyp;
    leading.order = BoxOrder::MoovFirst;
    Box mvex("mvex");
    if (fragmentDuration) mvex.add(Mehd(*fragmentDuration));
    for (size_t t = 0; t < tracks.size(); ++t) {
        Track kept = tracks[t];
        const size_t count = std::min<size_t>(plan.samplesInMovie, kept.samples.size());
        kept.samples.resize(count);
        if (!kept.sampleBytes) kept.sampleData.resize(count);
        leading.addTrack(kept);

        const std::vector<SampleInfo>& samples = tracks[t].samples;
        const size_t end = samples.size();
        TrexFields trex;
        trex.trackId = TrackId(t);
        trex.defaultSampleDuration = kUnusedDefault;
        trex.defaultSampleSize = kUnusedDefault;
        trex.defaultSampleFlags = kNonSyncSampleFlags;
        if (plan.defaults == FragmentDefaults::TrackExtends) {
            trex.defaultSampleDuration = Shared(samples, count, end, Duration).value_or(kUnusedDefault);
            trex.defaultSampleSize = Shared(samples, count, end, Size).value_or(kUnusedDefault);
            trex.defaultSampleFlags = Shared(samples, count, end, SampleFlags).value_or(kNonSyncSampleFlags);
        }
        mvex.add(Trex(trex));
    }
    leading.moreMovieBoxes.push_back(mvex);
    return leading;
}

Box FragmentedRecording::Moof(uint32_t fragment, uint64_t moofOffset, uint64_t mdatOffset) const {
    Box moof("moof");
    moof.add(Mfhd(fragment + 1));
    uint64_t dataPosition = mdatOffset + kMdatHeaderSize;
    uint64_t previousDataEnd = moofOffset;
    bool firstTrackFragment = true;
    for (size_t t = 0; t < tracks.size(); ++t) {
        const Track& track = tracks[t];
        const std::vector<SampleInfo>& samples = track.samples;
        const size_t start = size_t(plan.samplesInMovie) + size_t(fragment) * plan.samplesPerFragment;
        const Range range{std::min(start, samples.size()), std::min(start + plan.samplesPerFragment, samples.size())};
        if (range.empty()) continue;

        TfhdFields tfhd;
        tfhd.trackId = TrackId(t);
        uint64_t base = moofOffset;
        switch (plan.base) {
            case DataOffsetBase::Moof: tfhd.defaultBaseIsMoof = true; break;
            case DataOffsetBase::Explicit:
                base = mdatOffset + kMdatHeaderSize;
                tfhd.baseDataOffset = base;
                break;
            case DataOffsetBase::FirstTrackFragment: base = firstTrackFragment ? moofOffset : previousDataEnd; break;
        }

        // Each field goes to trex when the whole track shares it (TrackExtends),
        // to tfhd when this traf shares it, else into every run entry.
        const size_t fragmentStart = std::min<size_t>(plan.samplesInMovie, samples.size());
        const bool perSample = plan.defaults == FragmentDefaults::PerSample;
        const bool inTrex = plan.defaults == FragmentDefaults::TrackExtends;
        const auto place = [&](auto field, std::optional<uint32_t>& tfhdValue) {
            if (perSample) return true;
            if (inTrex && Shared(samples, fragmentStart, samples.size(), field)) return false;
            tfhdValue = Shared(samples, range.first, range.end, field);
            return !tfhdValue.has_value();
        };
        const bool durationPerSample = place(Duration, tfhd.defaultSampleDuration);
        const bool sizePerSample = place(Size, tfhd.defaultSampleSize);
        bool flagsPerSample = place(SampleFlags, tfhd.defaultSampleFlags);

        // Runs of roughly equal length.
        std::vector<Range> runs;
        const size_t count = range.end - range.first;
        const size_t runCount = std::max<size_t>(1, std::min<size_t>(plan.runsPerTrackFragment, count));
        for (size_t r = 0; r < runCount; ++r)
            runs.push_back({range.first + count * r / runCount, range.first + count * (r + 1) / runCount});

        // A key frame leading runs of other frames: first_sample_flags and a
        // default for the rest, as fragmenting writers do.
        bool firstSampleFlags = false;
        if (flagsPerSample && !perSample) {
            std::optional<uint32_t> rest;
            bool shared = true;
            for (const Range& run : runs) {
                for (size_t i = run.first + 1; i < run.end; ++i) {
                    if (rest && *rest != SampleFlags(samples[i])) shared = false;
                    rest = SampleFlags(samples[i]);
                }
            }
            if (shared && rest) {
                firstSampleFlags = true;
                flagsPerSample = false;
                tfhd.defaultSampleFlags = rest;
            }
        }
        const bool withComposition = std::any_of(samples.begin(), samples.end(),
                                                 [](const SampleInfo& s) { return s.compositionOffset.has_value(); });

        Box traf("traf");
        traf.add(Tfhd(tfhd));
        if (plan.decodeTimes) {
            uint64_t decodeTime = plan.decodeTimeGap;
            for (size_t i = 0; i < range.first; ++i) decodeTime += samples[i].duration;
            traf.add(Tfdt(decodeTime, plan.decodeTimeVersion));
        }
        for (size_t r = 0; r < runs.size(); ++r) {
            TrunFields trun;
            trun.version = plan.runVersion;
            if (r == 0 || !plan.laterRunsFollowOn) trun.dataOffset = DataOffset(dataPosition, base);
            if (firstSampleFlags) trun.firstSampleFlags = SampleFlags(samples[runs[r].first]);
            for (size_t i = runs[r].first; i < runs[r].end; ++i) {
                TrunSample entry;
                if (durationPerSample) entry.duration = samples[i].duration;
                if (sizePerSample) entry.size = samples[i].size;
                if (flagsPerSample) entry.flags = SampleFlags(samples[i]);
                if (withComposition) entry.compositionOffset = samples[i].compositionOffset.value_or(0);
                trun.samples.push_back(entry);
                dataPosition += samples[i].size;
            }
            traf.add(Trun(trun));
        }
        if (auto found = encryption.find(t); found != encryption.end()) {
            const FragmentEncryption& e = found->second;
            if (e.records.size() < range.end) throw std::invalid_argument("an encryption record for every sample");
            const std::vector<EncryptionRecord> records(e.records.begin() + long(range.first),
                                                        e.records.begin() + long(range.end));
            if (e.withSizes) {
                std::vector<uint8_t> sizes;
                for (const EncryptionRecord& record : records)
                    sizes.push_back(uint8_t(EncryptionRecordBytes(record, e.subSamples).size()));
                traf.add(Saiz(0, uint32_t(records.size()), sizes));
            }
            traf.add(Senc(records, e.subSamples));
        }
        moof.add(traf);
        previousDataEnd = dataPosition;
        firstTrackFragment = false;
    }
    return moof;
}

FragmentedLayout FragmentedRecording::layout() const {
    FragmentedLayout result;
    const Layout movieLayout = LeadingRecording().layout();
    // Without samples in the movie there is no media data box before the
    // first fragment.
    result.movieEnd = plan.samplesInMovie == 0 ? movieLayout.mdatOffset : movieLayout.fileSize;
    uint64_t position = result.movieEnd;
    for (uint32_t f = 0; f < fragmentCount(); ++f) {
        FragmentPlace place;
        place.moofOffset = position;
        // Field values do not change a moof's size.
        place.moofSize = Moof(f, 0, 0).size();
        place.mdatOffset = position + place.moofSize;
        place.mdatSize = kMdatHeaderSize;
        for (const Track& track : tracks) {
            const size_t start = size_t(plan.samplesInMovie) + size_t(f) * plan.samplesPerFragment;
            for (size_t i = start; i < std::min(start + plan.samplesPerFragment, track.samples.size()); ++i)
                place.mdatSize += track.samples[i].size;
        }
        position = place.mdatOffset + place.mdatSize;
        result.fragments.push_back(place);
    }
    for (const Box& box : trailingBoxes) position += box.size();
    result.fileSize = position;
    return result;
}

Bytes FragmentedRecording::bytes() const {
    const FragmentedLayout places = layout();
    Bytes out = LeadingRecording().bytes();
    out.resize(places.movieEnd);
    Bytes scratch;
    for (uint32_t f = 0; f < places.fragments.size(); ++f) {
        const FragmentPlace& place = places.fragments[f];
        const Bytes moof = Moof(f, place.moofOffset, place.mdatOffset).bytes();
        out.insert(out.end(), moof.begin(), moof.end());
        const Bytes header = Box("mdat").headerFor(place.mdatSize - kMdatHeaderSize);
        out.insert(out.end(), header.begin(), header.end());
        for (const Track& track : tracks) {
            const size_t start = size_t(plan.samplesInMovie) + size_t(f) * plan.samplesPerFragment;
            for (size_t i = start; i < std::min(start + plan.samplesPerFragment, track.samples.size()); ++i) {
                if (track.sampleBytes) {
                    scratch.resize(track.samples[i].size);
                    track.sampleBytes(uint32_t(i), scratch.data(), track.samples[i].size);
                    out.insert(out.end(), scratch.begin(), scratch.end());
                } else {
                    out.insert(out.end(), track.sampleData[i].begin(), track.sampleData[i].end());
                }
            }
        }
    }
    for (const Box& box : trailingBoxes) {
        const Bytes trailing = box.bytes();
        out.insert(out.end(), trailing.begin(), trailing.end());
    }
    return out;
}

}  // namespace writer

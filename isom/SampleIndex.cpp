#include "isom/SampleIndex.h"

#include <cfloat>

#include "common/CodecTables.h"
#include "format/BadFormat.h"
#include "format/ParameterSets.h"
#include "isom/FragmentIndex.h"

namespace ZENT::SDK::Pelagor2 {

using ZENT::SDK::Utility::DecoderConfig;

namespace {

void AssignSizesAndSyncFlags(const SampleTable& table, IndexEntry* entries, uint32_t count) {
    const SampleSizeTable& sizes = table.sizes;
    for (uint32_t j = 0; j < count; ++j) entries[j].size = sizes.sampleSize != 0 ? sizes.sampleSize : sizes.sizes[j];
    if (!table.hasSyncTable) {
        for (uint32_t j = 0; j < count; ++j) entries[j].syncFlag = 1;
        return;
    }
    for (uint32_t number : table.syncSamples)
        if (number >= 1 && number <= count) entries[number - 1].syncFlag = 1;
}

// Walks the chunks in order, giving each its samples_per_chunk samples laid
// back to back from the chunk's offset.
void AssignOffsets(const SampleTable& table, IndexEntry* entries, uint32_t count) {
    const std::vector<SampleToChunkEntry>& stsc = table.sampleToChunk;
    if (stsc.empty()) return;
    const bool narrow = !table.chunkOffsets32.empty();
    const uint64_t chunkCount = narrow ? table.chunkOffsets32.size() : table.chunkOffsets64.size();
    size_t i = 0;
    uint32_t n = 0;
    for (uint64_t chunk = 1; n < count && chunk <= chunkCount; ++chunk) {
        uint64_t position = narrow ? table.chunkOffsets32[chunk - 1] : table.chunkOffsets64[chunk - 1];
        while (i + 1 < stsc.size() && stsc[i + 1].firstChunk == stsc[i].firstChunk) ++i;
        for (uint32_t k = 0; k < stsc[i].samplesPerChunk && n < count; ++k, ++n) {
            entries[n].offset = position;
            position += entries[n].size;
        }
        if (i + 1 < stsc.size() && stsc[i + 1].firstChunk == chunk + 1) ++i;
    }
}

// Fragment samples carry their own place, size and sync flag.
void AssignFragmentSamples(const TrackFragments& fragments, IndexEntry* entries) {
    for (size_t k = 0; k < fragments.samples.size(); ++k) {
        const FragmentSample& sample = fragments.samples[k];
        entries[k].offset = sample.offset;
        entries[k].size = sample.size;
        entries[k].syncFlag = sample.syncFlag;
    }
}

// Decoding times of fragment samples run on from the samples before them,
// unless their track fragment states where it starts. Times are kept in
// media units here, as the table's are; decodingTime is left after the last.
void TimeFragmentSamples(const TrackFragments& fragments, bool withComposition, uint64_t& decodingTime,
                         IndexEntry* entries) {
    auto stated = fragments.decodeTimes.begin();
    for (size_t k = 0; k < fragments.samples.size(); ++k) {
        for (; stated != fragments.decodeTimes.end() && stated->firstSample <= k; ++stated)
            decodingTime = stated->decodeTime;
        const FragmentSample& sample = fragments.samples[k];
        if (withComposition) {
            entries[k].decodingTime = double(decodingTime);
            entries[k].compositionTime = double(decodingTime) + double(sample.compositionOffset);
        } else {
            entries[k].compositionTime = double(decodingTime);
        }
        decodingTime += sample.duration;
    }
}

}  // namespace

std::vector<uint8_t> AvcParameterSets(const std::vector<uint8_t>& avcC) {
    return Format::ConvertAvcParameterSets(avcC.data(), avcC.size(), Format::ConfigurationForm::Record,
                                           Format::kNoLimit)
        .bytes;
}

std::vector<uint8_t> HevcParameterSets(const std::vector<uint8_t>& hvcC, uint32_t& parameterSetLength) {
    // The parameter sets come first, so that the first parameterSetLength
    // bytes are exactly the VPS, SPS and PPS whatever the array order.
    Format::ConvertedParameterSets converted =
        Format::ConvertHevcParameterSets(hvcC.data(), hvcC.size(), Format::ConfigurationForm::Record,
                                         Format::HevcUnitChoice::ParameterSetsThenPrefixSei, Format::kNoLimit);
    parameterSetLength = uint32_t(converted.parameterSetLength);
    return std::move(converted.bytes);
}

TrackTimeline BuildTrackTimeline(const TrackRecord& track, uint32_t movieTimescale) {
    TrackTimeline timeline;
    const SampleTable& table = track.sampleTable;
    const TrackFragments& fragments = track.fragments;
    // The open's ceiling keeps the sum far below 2^32.
    const uint32_t tableCount = table.sizes.sampleCount;
    const uint32_t count = tableCount + uint32_t(fragments.samples.size());
    timeline.entryCount = count;
    timeline.entries.reset(new IndexEntry[count]);
    IndexEntry* entries = timeline.entries.get();

    AssignSizesAndSyncFlags(table, entries, tableCount);
    AssignOffsets(table, entries, tableCount);
    AssignFragmentSamples(fragments, entries + tableCount);

    const uint32_t timescale = track.media.timescale;
    if (timescale == 0) return timeline;

    if (movieTimescale != 0) {
        for (const EditEntry& edit : track.editList.entries) {
            double seconds = double(edit.segmentDuration) / movieTimescale;
            if (edit.mediaTime == -1)
                timeline.startOffset += seconds;
            else
                timeline.duration += seconds;
        }
    }

    // Decoding times are summed in 64 bits: a 32-bit sum would wrap after
    // 13 hours of a 90 kHz track.
    const bool withComposition = table.hasCompositionTable || fragments.hasCompositionOffsets;
    uint64_t decodingTime = 0;
    uint32_t timed = 0;
    for (const TimeToSampleEntry& entry : table.timeToSample) {
        for (uint32_t k = 0; k < entry.sampleCount && timed < tableCount; ++k, ++timed) {
            if (withComposition) {
                entries[timed].compositionTime = double(decodingTime);
                entries[timed].decodingTime = double(decodingTime);
            } else {
                entries[timed].compositionTime = double(decodingTime) / timescale;
            }
            decodingTime += entry.sampleDelta;
        }
        if (timed == tableCount) break;
    }
    const uint32_t tableTimed = timed;
    // Fragment samples get times only when every sample before them has one:
    // the timed entries are always the leading ones.
    if (tableTimed == tableCount && !fragments.samples.empty()) {
        TimeFragmentSamples(fragments, withComposition, decodingTime, entries + tableCount);
        if (!withComposition)
            for (uint32_t k = tableCount; k < count; ++k) entries[k].compositionTime /= timescale;
        timed = count;
    }

    if (timeline.duration == 0) timeline.duration = double(decodingTime) / timescale;

    if (withComposition) {
        uint32_t j = 0;
        for (const CompositionOffsetEntry& entry : table.compositionOffsets) {
            for (uint32_t k = 0; k < entry.sampleCount && j < tableTimed; ++k, ++j)
                entries[j].compositionTime += double(entry.sampleOffset);
            if (j == tableTimed) break;
        }
        // Every timed sample is brought to seconds, also those a short
        // composition table did not reach.
        for (uint32_t s = 0; s < timed; ++s) {
            entries[s].compositionTime /= timescale;
            entries[s].decodingTime /= timescale;
        }
    }
    timeline.timedSampleCount = timed;
    return timeline;
}

Timelines BuildTimelines(const MovieRecord& movie, uint64_t fileSize) {
    // Each track's count is checked against the file on its own; tracks that
    // all describe the same bytes must not multiply that.
    if (MovieSampleCount(movie) > IndexEntriesAllowed(fileSize))
        throw MP4Parser::bad_format("more samples than the file can hold");
    Timelines result;
    result.earliestStartOffset = DBL_MAX;
    result.tracks.reserve(movie.tracks.size());
    for (const TrackRecord& track : movie.tracks) {
        result.tracks.push_back(BuildTrackTimeline(track, movie.header.timescale));
        const TrackTimeline& timeline = result.tracks.back();
        if (timeline.timedSampleCount > 0 && timeline.startOffset < result.earliestStartOffset)
            result.earliestStartOffset = timeline.startOffset;
    }
    return result;
}

void PrepareDecoderConfigs(MovieRecord& movie) {
    for (TrackRecord& track : movie.tracks) {
        if (track.sampleTable.descriptions.empty()) continue;
        SampleDescription& d = track.sampleTable.descriptions.front();
        if (!d.codec) continue;
        if (d.codec->decoderConfig == DecoderConfig::kAvc) {
            d.avcConfig = AvcParameterSets(d.avcConfig);
        } else if (d.codec->decoderConfig == DecoderConfig::kHevc) {
            d.hevcConfig = HevcParameterSets(d.hevcConfig, d.hevcParameterSetLength);
        }
    }
}

}  // namespace ZENT::SDK::Pelagor2

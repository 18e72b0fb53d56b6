#include "writer/RecordingBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace writer {

namespace {

struct ChunkSpan {
    uint32_t firstSample;
    uint32_t sampleCount;
    uint64_t startTime;  // media units
};

std::vector<ChunkSpan> SplitIntoChunks(const Track& track) {
    std::vector<ChunkSpan> chunks;
    uint32_t next = 0;
    uint64_t time = 0;
    size_t chunkIndex = 0;
    while (next < track.sampleCount()) {
        uint32_t wanted = track.chunkSizes.empty()
                              ? track.samplesPerChunk
                              : track.chunkSizes[std::min(chunkIndex, track.chunkSizes.size() - 1)];
        if (wanted == 0) throw std::invalid_argument("a chunk needs at least one sample");
        uint32_t count = std::min(wanted, track.sampleCount() - next);
        chunks.push_back({next, count, time});
        for (uint32_t i = 0; i < count; ++i) time += track.samples[next + i].duration;
        next += count;
        ++chunkIndex;
    }
    return chunks;
}

// a's time before b's time, exactly: ta / sa < tb / sb. A track without a
// timescale puts its chunks at time 0.
bool EarlierTime(uint64_t ta, uint32_t sa, uint64_t tb, uint32_t sb) {
    if (sb == 0) return false;
    if (sa == 0) return tb > 0;
    return static_cast<unsigned __int128>(ta) * sb < static_cast<unsigned __int128>(tb) * sa;
}

std::vector<TimeToSample> TimeToSampleRuns(const std::vector<SampleInfo>& samples) {
    std::vector<TimeToSample> runs;
    for (const SampleInfo& s : samples) {
        if (!runs.empty() && runs.back().sampleDelta == s.duration)
            ++runs.back().sampleCount;
        else
            runs.push_back({1, s.duration});
    }
    return runs;
}

std::vector<CompositionOffset> CompositionRuns(const std::vector<SampleInfo>& samples) {
    std::vector<CompositionOffset> runs;
    for (const SampleInfo& s : samples) {
        int32_t offset = s.compositionOffset.value_or(0);
        if (!runs.empty() && runs.back().sampleOffset == offset)
            ++runs.back().sampleCount;
        else
            runs.push_back({1, offset});
    }
    return runs;
}

std::vector<SampleToChunk> SampleToChunkRuns(const std::vector<ChunkSpan>& chunks) {
    std::vector<SampleToChunk> runs;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (runs.empty() || runs.back().samplesPerChunk != chunks[i].sampleCount)
            runs.push_back({uint32_t(i + 1), chunks[i].sampleCount, 1});
    }
    return runs;
}

Box SampleSizeBox(const Track& track) {
    bool allEqual = std::all_of(track.samples.begin(), track.samples.end(),
                                [&](const SampleInfo& s) { return s.size == track.samples.front().size; });
    bool constant = track.sampleSizes == SampleSizeTable::Constant ||
                    (track.sampleSizes == SampleSizeTable::Auto && !track.samples.empty() && allEqual);
    if (constant) {
        if (!allEqual) throw std::invalid_argument("a constant sample size table needs equal sizes");
        return StszConstant(track.samples.empty() ? 0 : track.samples.front().size, track.sampleCount());
    }
    std::vector<uint32_t> sizes;
    sizes.reserve(track.samples.size());
    for (const SampleInfo& s : track.samples) sizes.push_back(s.size);
    return Stsz(sizes);
}

std::optional<Box> SyncSampleBox(const Track& track) {
    std::vector<uint32_t> numbers;
    for (uint32_t i = 0; i < track.sampleCount(); ++i)
        if (track.samples[i].sync) numbers.push_back(i + 1);
    switch (track.syncTable) {
        case SyncTable::None: return std::nullopt;
        case SyncTable::Empty: return Stss({});
        case SyncTable::Listed: return Stss(numbers);
        case SyncTable::Auto: break;
    }
    if (numbers.size() == track.samples.size()) return std::nullopt;
    return Stss(numbers);
}

uint64_t ToMovieTime(uint64_t mediaTime, uint32_t mediaTimescale, uint32_t movieTimescale) {
    if (mediaTimescale == 0) return 0;
    return uint64_t(static_cast<unsigned __int128>(mediaTime) * movieTimescale / mediaTimescale);
}

uint64_t TrackDuration(const Track& track, uint32_t movieTimescale) {
    if (!track.edits.empty()) {
        uint64_t sum = 0;
        for (const EditEntry& e : track.edits) sum += e.segmentDuration;
        return sum;
    }
    return ToMovieTime(track.mediaDuration(), track.timescale, movieTimescale);
}

}  // namespace

// Where the bytes go: memory or a buffered file.
class Recording::Sink {
public:
    virtual ~Sink() = default;
    virtual void write(const uint8_t* data, size_t size) = 0;
    void write(const Bytes& data) { write(data.data(), data.size()); }
};

namespace {

class MemorySink : public Recording::Sink {
public:
    explicit MemorySink(Bytes& out) : out_(out) {}
    void write(const uint8_t* data, size_t size) override { out_.insert(out_.end(), data, data + size); }
    using Sink::write;

private:
    Bytes& out_;
};

class FileSink : public Recording::Sink {
public:
    explicit FileSink(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (!file_) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
        buffer_ = std::make_unique<char[]>(kBufferSize);
        std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferSize);
    }
    ~FileSink() override {
        if (file_) std::fclose(file_);
    }
    void write(const uint8_t* data, size_t size) override {
        if (size != 0 && std::fwrite(data, 1, size, file_) != size) throw std::runtime_error("cannot write " + path_);
    }
    using Sink::write;
    void close() {
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0) throw std::runtime_error("cannot write " + path_);
    }

private:
    static constexpr size_t kBufferSize = 1 << 20;
    std::string path_;
    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace

Track& Track::add(const Bytes& data, uint32_t duration, bool sync, std::optional<int32_t> compositionOffset) {
    if (sampleBytes) throw std::logic_error("a track's bytes come either from sampleData or from sampleBytes");
    if (data.size() > std::numeric_limits<uint32_t>::max()) throw std::invalid_argument("sample too large");
    samples.push_back({uint32_t(data.size()), duration, sync, compositionOffset});
    sampleData.push_back(data);
    return *this;
}

Track& Track::addSized(uint32_t size, uint32_t duration, bool sync, std::optional<int32_t> compositionOffset) {
    samples.push_back({size, duration, sync, compositionOffset});
    return *this;
}

uint64_t Track::mediaDuration() const {
    uint64_t sum = 0;
    for (const SampleInfo& s : samples) sum += s.duration;
    return sum;
}

bool Track::omits(const std::string& boxType) const {
    return std::find(omitBoxes.begin(), omitBoxes.end(), boxType) != omitBoxes.end();
}

Track VideoTrack(const Box& sampleEntry, uint32_t timescale, uint32_t width, uint32_t height) {
    Track track;
    track.handler = "vide";
    track.handlerName = "VideoHandler";
    track.timescale = timescale;
    track.width = width;
    track.height = height;
    track.sampleEntries = {sampleEntry};
    return track;
}

Track AudioTrack(const Box& sampleEntry, uint32_t timescale) {
    Track track;
    track.handler = "soun";
    track.handlerName = "SoundHandler";
    track.timescale = timescale;
    track.sampleEntries = {sampleEntry};
    return track;
}

Track MetadataTrack(const Box& sampleEntry, uint32_t timescale) {
    Track track;
    track.handler = "meta";
    track.handlerName = "MetadataHandler";
    track.timescale = timescale;
    track.sampleEntries = {sampleEntry};
    return track;
}

Box FrameInfoSampleEntry() {
    Box entry("norv");
    entry.zeros(6).u16(1);
    return entry;
}

Track CompanionTrack(const Track& media, const std::vector<Bytes>& records) {
    Track track;
    track.handler = "norv";
    track.handlerName = "FrameInfoHandler";
    track.timescale = media.timescale;
    track.creationTime = media.creationTime;
    track.modificationTime = media.modificationTime;
    track.headerVersion = media.headerVersion;
    track.sampleEntries = {FrameInfoSampleEntry()};
    track.samplesPerChunk = media.samplesPerChunk;
    track.chunkSizes = media.chunkSizes;
    track.chunkOffsets = media.chunkOffsets;
    track.mediaInformationHeader = Nmhd();
    for (size_t i = 0; i < records.size(); ++i) {
        uint32_t duration = media.samples.empty()      ? 1
                            : i < media.samples.size() ? media.samples[i].duration
                                                       : media.samples.back().duration;
        track.add(records[i], duration);
    }
    return track;
}

Track& Recording::addTrack(Track track) {
    tracks.push_back(std::move(track));
    return tracks.back();
}

Track& Recording::addCompanion(const std::vector<Bytes>& records) {
    if (tracks.empty()) throw std::logic_error("a companion track follows a media track");
    return addTrack(CompanionTrack(tracks.back(), records));
}

uint64_t Recording::movieDuration() const {
    if (movie.duration) return *movie.duration;
    uint64_t longest = 0;
    for (const Track& track : tracks) longest = std::max(longest, TrackDuration(track, movie.timescale));
    return longest;
}

Layout Recording::layout() const {
    Layout result;
    std::vector<std::vector<ChunkSpan>> spans;
    for (const Track& track : tracks) {
        if (!track.sampleBytes && track.sampleData.size() != track.samples.size())
            throw std::logic_error("every sample needs its bytes: add() them or set sampleBytes");
        spans.push_back(SplitIntoChunks(track));
    }

    for (uint32_t t = 0; t < spans.size(); ++t)
        for (uint32_t c = 0; c < spans[t].size(); ++c)
            result.chunks.push_back({t, c, spans[t][c].firstSample, spans[t][c].sampleCount, 0});
    std::stable_sort(result.chunks.begin(), result.chunks.end(), [&](const ChunkPlace& a, const ChunkPlace& b) {
        uint64_t ta = spans[a.track][a.chunk].startTime;
        uint64_t tb = spans[b.track][b.chunk].startTime;
        uint32_t sa = tracks[a.track].timescale;
        uint32_t sb = tracks[b.track].timescale;
        if (EarlierTime(ta, sa, tb, sb)) return true;
        if (EarlierTime(tb, sb, ta, sa)) return false;
        return a.track < b.track;
    });

    uint64_t mediaBytes = 0;
    for (const Track& track : tracks)
        for (const SampleInfo& s : track.samples) mediaBytes += s.size;
    bool large = mdatLargeSize || mediaBytes + 8 > std::numeric_limits<uint32_t>::max();
    result.mdatHeaderSize = large ? 16 : 8;
    result.mdatSize = result.mdatHeaderSize + mediaBytes;

    uint64_t position = ftyp ? ftyp->size() : 0;
    for (const Box& box : boxesBeforeMedia) position += box.size();

    result.chunkOffsets.resize(tracks.size());
    result.sampleOffsets.resize(tracks.size());
    for (size_t t = 0; t < tracks.size(); ++t) {
        result.chunkOffsets[t].assign(spans[t].size(), 0);
        result.sampleOffsets[t].assign(tracks[t].samples.size(), 0);
    }
    // Table sizes do not depend on the offset values, so a movie box built
    // with zero offsets has the final size.
    if (order == BoxOrder::MoovFirst) {
        result.moovOffset = position;
        result.moovSize = moov(result).size();
        position += result.moovSize;
    }
    result.mdatOffset = position;
    uint64_t next = position + result.mdatHeaderSize;
    for (ChunkPlace& place : result.chunks) {
        place.offset = next;
        result.chunkOffsets[place.track][place.chunk] = next;
        for (uint32_t i = 0; i < place.sampleCount; ++i) {
            result.sampleOffsets[place.track][place.firstSample + i] = next;
            next += tracks[place.track].samples[place.firstSample + i].size;
        }
    }
    position += result.mdatSize;
    if (order == BoxOrder::MdatFirst) {
        result.moovOffset = position;
        result.moovSize = moov(result).size();
        position += result.moovSize;
    }
    for (const Box& box : trailingBoxes) position += box.size();
    result.fileSize = position;
    return result;
}

Box Recording::trak(size_t index, const Layout& layout) const {
    const Track& track = tracks[index];
    uint32_t trackId = track.trackId != 0 ? track.trackId : uint32_t(index + 1);
    uint64_t mediaDuration = track.mediaDuration();
    std::vector<ChunkSpan> spans = SplitIntoChunks(track);

    Box stbl("stbl");
    if (!track.omits("stsd")) stbl.add(Stsd(track.sampleEntries));
    if (!track.omits("stts")) stbl.add(Stts(TimeToSampleRuns(track.samples)));
    bool hasComposition = std::any_of(track.samples.begin(), track.samples.end(),
                                      [](const SampleInfo& s) { return s.compositionOffset.has_value(); });
    if (hasComposition && !track.omits("ctts")) stbl.add(Ctts(CompositionRuns(track.samples)));
    if (std::optional<Box> stss = SyncSampleBox(track); stss && !track.omits("stss")) stbl.add(*stss);
    if (!track.omits("stsc")) stbl.add(Stsc(SampleToChunkRuns(spans)));
    if (!track.omits("stsz")) stbl.add(SampleSizeBox(track));
    const std::vector<uint64_t>& offsets = layout.chunkOffsets[index];
    if (track.chunkOffsets == ChunkOffsetTable::Co64) {
        if (!track.omits("co64")) stbl.add(Co64(offsets));
    } else if (!track.omits("stco")) {
        std::vector<uint32_t> narrow;
        narrow.reserve(offsets.size());
        for (uint64_t offset : offsets) {
            if (offset > std::numeric_limits<uint32_t>::max())
                throw std::length_error("chunk offset above 4 GiB: use ChunkOffsetTable::Co64");
            narrow.push_back(uint32_t(offset));
        }
        stbl.add(Stco(narrow));
    }
    stbl.add(track.moreSampleTableBoxes);

    Box minf("minf");
    Box mediaHeader = track.mediaInformationHeader ? *track.mediaInformationHeader
                      : track.handler == "vide"    ? Vmhd()
                      : track.handler == "soun"    ? Smhd()
                      : track.handler == "hint"    ? Hmhd()
                                                   : Nmhd();
    if (!track.omits(mediaHeader.type())) minf.add(mediaHeader);
    if (!track.omits("dinf")) minf.add(Dinf());
    if (!track.omits("stbl")) minf.add(stbl);

    Box mdia("mdia");
    if (!track.omits("mdhd")) {
        MdhdFields mdhd;
        mdhd.version = track.headerVersion;
        mdhd.creationTime = track.creationTime;
        mdhd.modificationTime = track.modificationTime;
        mdhd.timescale = track.timescale;
        mdhd.duration = mediaDuration;
        mdia.add(Mdhd(mdhd));
    }
    if (!track.omits("hdlr")) mdia.add(Hdlr(track.handler, track.handlerName));
    if (!track.omits("minf")) mdia.add(minf);

    Box trak("trak");
    if (!track.omits("tkhd")) {
        TkhdFields tkhd;
        tkhd.version = track.headerVersion;
        tkhd.creationTime = track.creationTime;
        tkhd.modificationTime = track.modificationTime;
        tkhd.trackId = trackId;
        tkhd.duration = TrackDuration(track, movie.timescale);
        tkhd.volume = track.handler == "soun" ? 0x0100 : 0;
        tkhd.width = track.width;
        tkhd.height = track.height;
        trak.add(Tkhd(tkhd));
    }
    if (!track.edits.empty() && !track.omits("edts")) trak.add(Edts(track.edits));
    if (!track.omits("mdia")) trak.add(mdia);
    trak.add(track.moreTrackBoxes);
    return trak;
}

Box Recording::moov(const Layout& layout) const {
    uint32_t largestId = 0;
    for (size_t i = 0; i < tracks.size(); ++i)
        largestId = std::max(largestId, tracks[i].trackId != 0 ? tracks[i].trackId : uint32_t(i + 1));
    MvhdFields mvhd;
    mvhd.version = movie.version;
    mvhd.creationTime = movie.creationTime;
    mvhd.modificationTime = movie.modificationTime;
    mvhd.timescale = movie.timescale;
    mvhd.duration = movieDuration();
    mvhd.nextTrackId = movie.nextTrackId ? *movie.nextTrackId : largestId + 1;

    Box box("moov");
    box.add(Mvhd(mvhd));
    for (size_t i = 0; i < tracks.size(); ++i) box.add(trak(i, layout));
    box.add(moreMovieBoxes);
    return box;
}

void Recording::write(Sink& sink) const {
    Layout places = layout();
    Box movieBox = moov(places);
    if (ftyp) sink.write(ftyp->bytes());
    for (const Box& box : boxesBeforeMedia) sink.write(box.bytes());
    if (order == BoxOrder::MoovFirst) sink.write(movieBox.bytes());

    Box mdat("mdat");
    mdat.largeSize(places.mdatHeaderSize == 16);
    sink.write(mdat.headerFor(places.mdatSize - places.mdatHeaderSize));
    Bytes scratch;
    for (const ChunkPlace& place : places.chunks) {
        const Track& track = tracks[place.track];
        for (uint32_t i = place.firstSample; i < place.firstSample + place.sampleCount; ++i) {
            uint32_t size = track.samples[i].size;
            if (track.sampleBytes) {
                if (scratch.size() < size) scratch.resize(size);
                track.sampleBytes(i, scratch.data(), size);
                sink.write(scratch.data(), size);
            } else {
                if (track.sampleData[i].size() != size)
                    throw std::logic_error("a sample's bytes differ from its size in the table");
                sink.write(track.sampleData[i]);
            }
        }
    }

    if (order == BoxOrder::MdatFirst) sink.write(movieBox.bytes());
    for (const Box& box : trailingBoxes) sink.write(box.bytes());
}

Bytes Recording::bytes() const {
    Bytes out;
    MemorySink sink(out);
    write(sink);
    return out;
}

void Recording::writeFile(const std::string& path) const {
    FileSink sink(path);
    write(sink);
    sink.close();
}

}  // namespace writer

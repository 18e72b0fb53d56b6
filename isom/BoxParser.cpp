#include "isom/BoxParser.h"

#include <cstring>
#include <ios>
#include <optional>

#include "format/BoxHeader.h"
#include "format/FourCC.h"
#include "isom/FragmentIndex.h"
#include "isom/SampleDescription.h"
#include "isom/TopLevelBox.h"

namespace ZENT::SDK::Pelagor2::MP4Parser {

using Format::BoxHeader;
using Format::BoxView;
using Format::FourCC;

namespace {

// What a reader of a child box may fill: the movie and the track being read.
struct WalkState {
    MovieRecord& movie;
    TrackRecord* track;
    uint64_t fileSize;  // a constant-size table may not claim more sample bytes than this
};

typedef void (*ChildReader)(WalkState& state, BoxView payload);

struct ChildEntry {
    uint32_t type;
    ChildReader read;
};

// Children whose type the table does not list are passed over; every child is
// left at its end, whatever its fields took.
template <size_t N>
void WalkChildren(WalkState& state, BoxView view, const ChildEntry (&table)[N]) {
    BoxHeader header;
    while (ReadChildHeader(view, header)) {
        for (const ChildEntry& entry : table) {
            if (entry.type == header.type) {
                entry.read(state, PayloadOf(view, header));
                break;
            }
        }
        view.SeekTo(header.end);
    }
}

void ReadVersionAndFlags(BoxView& view, uint8_t& version, uint32_t& flags) {
    version = view.U8();
    flags = view.U24();
}

void ReadFullBoxHeader(BoxView& view, FullBoxHeader& header) {
    ReadVersionAndFlags(view, header.version, header.flags);
}

// Times and durations take 64 bits in a version 1 box, 32 in a version 0 one.
uint64_t ReadTimeField(BoxView& view, uint8_t version) { return version != 0 ? view.U64() : view.U32(); }

// A table of count entries of entrySize bytes must fit in the bytes left in
// its box before anything is allocated for it.
void CheckTableFits(const BoxView& view, uint64_t count, uint64_t entrySize) {
    if (count > view.remaining() / entrySize) throw bad_format("table larger than its box");
}

// Entry counts that no index could hold.
constexpr uint32_t kMaxSampleCount = 0x8000000;

// A sample table box: its full box header, then the count of its entries,
// checked against the bytes left for entries of entrySize bytes.
uint32_t ReadEntryCount(BoxView& view, uint64_t entrySize) {
    FullBoxHeader header;
    ReadFullBoxHeader(view, header);
    uint32_t count = view.U32();
    CheckTableFits(view, count, entrySize);
    return count;
}

void ReadMediaTimes(BoxView& view, MediaTimes& times) {
    ReadFullBoxHeader(view, times);
    times.creationTime = ReadTimeField(view, times.version);
    times.modificationTime = ReadTimeField(view, times.version);
    times.timescale = view.U32();
    times.duration = ReadTimeField(view, times.version);
}

void ReadMvhd(WalkState& state, BoxView view) {
    MovieHeader& h = state.movie.header;
    ReadMediaTimes(view, h);
    view.Skip(76);
    h.nextTrackId = view.U32();
}

void ReadTkhd(WalkState& state, BoxView view) {
    TrackHeader& h = state.track->header;
    ReadFullBoxHeader(view, h);
    h.creationTime = ReadTimeField(view, h.version);
    h.modificationTime = ReadTimeField(view, h.version);
    h.trackId = view.U32();
    view.Skip(4);
    h.duration = ReadTimeField(view, h.version);
    view.Skip(52);
    h.width = view.U32() >> 16;
    h.height = view.U32() >> 16;
}

void ReadMdhd(WalkState& state, BoxView view) {
    MediaHeader& h = state.track->media;
    ReadMediaTimes(view, h);
    h.language = view.U16();
    h.preDefined = view.U16();
}

void ReadHdlr(WalkState& state, BoxView view) {
    Handler& h = state.track->handler;
    ReadFullBoxHeader(view, h);
    view.Skip(4);
    h.handlerType = view.U32();
}

void ReadVmhd(WalkState& state, BoxView view) {
    state.track->isVideo = 1;
    ReadFullBoxHeader(view, state.track->videoMediaHeader);
}

void ReadSmhd(WalkState& state, BoxView view) {
    state.track->isAudio = 1;
    ReadFullBoxHeader(view, state.track->soundMediaHeader);
}

void ReadHmhd(WalkState& state, BoxView view) {
    HintMediaHeader& h = state.track->hintMediaHeader;
    state.track->isHint = 1;
    ReadFullBoxHeader(view, h);
    h.maxPduSize = view.U16();
    h.avgPduSize = view.U16();
    h.maxBitrate = view.U32();
    h.avgBitrate = view.U32();
}

void ReadDref(WalkState& state, BoxView view) {
    DataReferences& refs = state.track->dataReferences;
    ReadFullBoxHeader(view, refs);
    uint32_t count = view.U32();
    // Nothing reads the references; an entry too small to hold its own header
    // ends the list rather than the open.
    for (uint32_t i = 0; i < count && view.remaining() >= 12; ++i) {
        DataReferenceEntry entry;
        entry.size = view.U32();
        entry.type = view.U32();
        ReadVersionAndFlags(view, entry.version, entry.flags);
        if (entry.size < 12 || entry.size - 12 > view.remaining()) break;
        std::vector<uint8_t> data = view.Bytes(entry.size - 12);
        entry.data.assign(data.begin(), data.end());
        refs.entries.push_back(std::move(entry));
    }
}

void ReadElst(WalkState& state, BoxView view) {
    EditList& list = state.track->editList;
    ReadFullBoxHeader(view, list);
    uint32_t count = view.U32();
    // Edit lists are read with 32-bit fields whatever the version, except a
    // version 1 list whose size says it holds 64-bit fields.
    bool wide = list.version == 1 && view.remaining() == uint64_t(count) * 20;
    CheckTableFits(view, count, wide ? 20 : 12);
    list.entries.resize(count);
    for (EditEntry& entry : list.entries) {
        if (wide) {
            entry.segmentDuration = view.U64();
            entry.mediaTime = int64_t(view.U64());
        } else {
            entry.segmentDuration = view.U32();
            entry.mediaTime = int32_t(view.U32());
        }
        entry.mediaRate = view.U32();
    }
}

void ReadStsd(WalkState& state, BoxView view) {
    SampleTable& table = state.track->sampleTable;
    ReadFullBoxHeader(view, table.descriptionHeader);
    uint32_t count = view.U32();
    CheckTableFits(view, count, 8);
    table.descriptions.clear();
    table.descriptions.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        BoxHeader header;
        if (!ReadChildHeader(view, header)) break;
        table.descriptions.emplace_back();
        ReadSampleEntry(header.type, PayloadOf(view, header), table.descriptions.back());
        view.SeekTo(header.end);
    }
}

// The runs of stts and ctts: a count of samples, then the delta or the
// composition offset they share.
template <typename Entry, uint32_t Entry::*value>
void ReadSampleRuns(BoxView view, std::vector<Entry>& entries) {
    entries.resize(ReadEntryCount(view, 8));
    for (Entry& entry : entries) {
        entry.sampleCount = view.U32();
        entry.*value = view.U32();
    }
}

void ReadStts(WalkState& state, BoxView view) {
    ReadSampleRuns<TimeToSampleEntry, &TimeToSampleEntry::sampleDelta>(view, state.track->sampleTable.timeToSample);
}

void ReadCtts(WalkState& state, BoxView view) {
    SampleTable& table = state.track->sampleTable;
    table.hasCompositionTable = true;
    ReadSampleRuns<CompositionOffsetEntry, &CompositionOffsetEntry::sampleOffset>(view, table.compositionOffsets);
}

void ReadStss(WalkState& state, BoxView view) {
    SampleTable& table = state.track->sampleTable;
    table.hasSyncTable = true;
    table.syncSamples.resize(ReadEntryCount(view, 4));
    for (uint32_t& number : table.syncSamples) number = view.U32();
}

void ReadStsc(WalkState& state, BoxView view) {
    uint32_t count = ReadEntryCount(view, 12);
    std::vector<SampleToChunkEntry>& entries = state.track->sampleTable.sampleToChunk;
    entries.resize(count);
    for (uint32_t j = 0; j < count; ++j) {
        SampleToChunkEntry& entry = entries[j];
        entry.firstChunk = view.U32();
        entry.samplesPerChunk = view.U32();
        entry.sampleDescriptionIndex = view.U32();
        if (j == 0) {
            entry.firstSample = 0;
        } else {
            const SampleToChunkEntry& previous = entries[j - 1];
            // Unsigned 64-bit arithmetic: a decreasing first_chunk wraps, as
            // the derived number is only informative.
            entry.firstSample =
                previous.firstSample + uint64_t(entry.firstChunk - previous.firstChunk) * previous.samplesPerChunk;
        }
    }
}

void ReadStsz(WalkState& state, BoxView view) {
    SampleSizeTable& table = state.track->sampleTable.sizes;
    ReadFullBoxHeader(view, table);
    table.sampleSize = view.U32();
    table.sampleCount = view.U32();
    if (table.sampleCount >= kMaxSampleCount) throw bad_format("too many samples");
    if (table.sampleSize != 0) {
        if (uint64_t(table.sampleSize) * table.sampleCount > state.fileSize)
            throw bad_format("samples larger than the file");
        table.largestSize = table.sampleSize;
        table.sizes.clear();
        return;
    }
    CheckTableFits(view, table.sampleCount, 4);
    table.sizes.resize(table.sampleCount);
    uint32_t largest = 0;
    const uint8_t* p = view.current();
    for (uint32_t& size : table.sizes) {
        size = Format::LoadU32(p);
        p += 4;
        if (size > largest) largest = size;
    }
    table.largestSize = largest;
}

// The chunk offsets of stco (32-bit) and co64 (64-bit) boxes.
template <typename Offset, Offset (*Load)(const uint8_t*)>
void ReadChunkOffsets(BoxView view, std::vector<Offset>& offsets) {
    offsets.resize(ReadEntryCount(view, sizeof(Offset)));
    const uint8_t* p = view.current();
    for (Offset& offset : offsets) {
        offset = Load(p);
        p += sizeof(Offset);
    }
}

void ReadStco(WalkState& state, BoxView view) {
    ReadChunkOffsets<uint32_t, Format::LoadU32>(view, state.track->sampleTable.chunkOffsets32);
}

void ReadCo64(WalkState& state, BoxView view) {
    ReadChunkOffsets<uint64_t, Format::LoadU64>(view, state.track->sampleTable.chunkOffsets64);
}

void ReadSaiz(WalkState& state, BoxView view) { ReadSampleAuxSizes(view, state.track->sampleTable.protection); }

void ReadSenc(WalkState& state, BoxView view) { ReadSampleEncryption(view, state.track->sampleTable.protection); }

const ChildEntry kStblChildren[] = {
    {FourCC("stsd"), ReadStsd}, {FourCC("stts"), ReadStts}, {FourCC("stss"), ReadStss}, {FourCC("stsc"), ReadStsc},
    {FourCC("stsz"), ReadStsz}, {FourCC("stco"), ReadStco}, {FourCC("co64"), ReadCo64}, {FourCC("ctts"), ReadCtts},
    {FourCC("saiz"), ReadSaiz}, {FourCC("senc"), ReadSenc},
};

void ReadStbl(WalkState& state, BoxView view) { WalkChildren(state, view, kStblChildren); }

const ChildEntry kDinfChildren[] = {{FourCC("dref"), ReadDref}};

void ReadDinf(WalkState& state, BoxView view) { WalkChildren(state, view, kDinfChildren); }

const ChildEntry kMinfChildren[] = {
    {FourCC("vmhd"), ReadVmhd}, {FourCC("smhd"), ReadSmhd}, {FourCC("hmhd"), ReadHmhd},
    {FourCC("dinf"), ReadDinf}, {FourCC("stbl"), ReadStbl},
};

void ReadMinf(WalkState& state, BoxView view) { WalkChildren(state, view, kMinfChildren); }

const ChildEntry kMdiaChildren[] = {
    {FourCC("mdhd"), ReadMdhd},
    {FourCC("hdlr"), ReadHdlr},
    {FourCC("minf"), ReadMinf},
};

void ReadMdia(WalkState& state, BoxView view) { WalkChildren(state, view, kMdiaChildren); }

const ChildEntry kEdtsChildren[] = {{FourCC("elst"), ReadElst}};

void ReadEdts(WalkState& state, BoxView view) { WalkChildren(state, view, kEdtsChildren); }

const ChildEntry kTrakChildren[] = {
    {FourCC("tkhd"), ReadTkhd},
    {FourCC("edts"), ReadEdts},
    {FourCC("mdia"), ReadMdia},
};

// The movie record holds 16 tracks; further track boxes are passed over.
void ReadTrak(WalkState& state, BoxView view) {
    if (state.movie.tracks.size() >= kMaxTracks) return;
    state.movie.tracks.emplace_back();
    WalkState trackState{state.movie, &state.movie.tracks.back(), state.fileSize};
    WalkChildren(trackState, view, kTrakChildren);
}

void ReadMehd(WalkState& state, BoxView view) {
    FullBoxHeader header;
    ReadFullBoxHeader(view, header);
    state.movie.extends.fragmentDuration = ReadTimeField(view, header.version);
}

void ReadTrex(WalkState& state, BoxView view) {
    TrackExtends defaults;
    ReadFullBoxHeader(view, defaults);
    defaults.trackId = view.U32();
    defaults.defaultSampleDescriptionIndex = view.U32();
    defaults.defaultSampleDuration = view.U32();
    defaults.defaultSampleSize = view.U32();
    defaults.defaultSampleFlags = view.U32();
    state.movie.extends.trackExtends.push_back(defaults);
}

const ChildEntry kMvexChildren[] = {{FourCC("mehd"), ReadMehd}, {FourCC("trex"), ReadTrex}};

void ReadMvex(WalkState& state, BoxView view) {
    state.movie.extends.present = true;
    WalkChildren(state, view, kMvexChildren);
}

const ChildEntry kMoovChildren[] = {{FourCC("mvhd"), ReadMvhd}, {FourCC("trak"), ReadTrak}, {FourCC("mvex"), ReadMvex}};

const uint8_t kVendorMark[8] = {'T', 'A', 'L', 'V', 'E', 'N', 'e', 'x'};

// A top-level skip box: the vendor box list when it is large enough to hold
// one and starts with the vendor mark, else nothing. The input is left
// anywhere inside the box.
void ReadSkipBox(ParserInput& input, const BoxHeader& header, MovieRecord& movie) {
    if (header.size <= 24 || header.size - header.headerSize < 8) return;
    uint8_t mark[8];
    input.ReadExact(mark, 8);
    if (std::memcmp(mark, kVendorMark, 8) != 0) return;
    uint64_t childrenStart = input.position();
    std::vector<uint8_t> children = input.ReadBytes(header.end - childrenStart);
    ParseVendorBoxes(BoxView(children.data(), children.size(), childrenStart), movie);
}

// The top-level boxes the walk of a fragmented movie passes over.
bool PassedOverBetweenFragments(uint32_t type) {
    switch (type) {
        case FourCC("ftyp"):
        case FourCC("free"):
        case FourCC("mdat"):
        case FourCC("mfra"):
        case FourCC("moov"):
        case FourCC("sidx"):
        case FourCC("styp"):
        case FourCC("udta"):
        case FourCC("uuid"):
        case FourCC("wide"): return true;
        default: return false;
    }
}

// The rest of a fragmented movie, box by box while the boxes are whole: a
// file still being written, or cut short, ends anywhere. The walk stops at
// a box the end of the file cuts, a header that cannot be read, or a box of
// an unlisted type, and never fails the open. A movie fragment that cannot
// be read whole is left out with its samples; the fragments read end where
// the last box after the last of them ends, or where the first fragment left
// out after them starts.
void WalkFragments(ParserInput& input, MovieRecord& movie) {
    const uint64_t fileSize = input.streamSize();
    uint64_t end = input.position();
    std::optional<uint64_t> leftOutFrom;
    try {
        while (input.position() < fileSize) {
            const BoxHeader header = ReadTopLevelHeader(input);
            if (header.end > fileSize) break;
            if (header.type == FourCC("moof")) {
                const uint64_t payloadStart = input.position();
                std::vector<uint8_t> payload = input.ReadBytes(header.end - payloadStart);
                if (ReadMovieFragment(BoxView(payload.data(), payload.size(), payloadStart), header.start, movie,
                                      fileSize)) {
                    ++movie.fragmentWalk.completeFragments;
                    leftOutFrom.reset();
                } else if (!leftOutFrom) {
                    leftOutFrom = header.start;
                }
            } else if (header.type == FourCC("skip")) {
                ReadSkipBox(input, header, movie);
            } else if (!PassedOverBetweenFragments(header.type)) {
                break;
            }
            if (!leftOutFrom) end = header.end;
            input.SeekTo(header.end);
        }
    } catch (const bad_format&) {
        // A header whose size is below its own length.
    } catch (const std::ios_base::failure&) {
        // A header cut by the end of the file, or zeros up to it.
    }
    movie.fragmentWalk.endOffset = leftOutFrom ? *leftOutFrom : end;
}

}  // namespace

void ReadSampleAuxSizes(BoxView view, ProtectionData& protection) {
    FullBoxHeader header;
    ReadFullBoxHeader(view, header);
    if (header.flags & 1) view.Skip(8);  // aux_info_type and its parameter
    protection.sampleInfoSize = view.U8();
    view.U32();  // sample_count: the sizes that follow are counted by the box
    protection.sampleInfoOffsets.clear();
    if (protection.sampleInfoSize != 0) return;
    protection.sampleInfoOffsets.reserve(view.remaining());
    uint64_t offset = 0;
    while (view.remaining() > 0) {
        protection.sampleInfoOffsets.push_back(offset);
        offset += view.U8();
    }
}

void ReadSampleEncryption(BoxView view, ProtectionData& protection) {
    FullBoxHeader header;
    ReadFullBoxHeader(view, header);
    protection.hasSampleEncryption = true;
    protection.subsampleFlag = (header.flags >> 1) & 1;
    view.U32();  // sample_count
    protection.sampleEncryptionData = view.Rest();
}

void ParseMovieBox(const BoxView& payload, MovieRecord& movie, uint64_t fileSize) {
    WalkState state{movie, nullptr, fileSize};
    WalkChildren(state, payload, kMoovChildren);
}

void ParseVendorBoxes(const BoxView& children, MovieRecord& movie) {
    BoxView view = children;
    BoxHeader header;
    while (ReadChildHeader(view, header)) {
        VendorBox box;
        box.type = header.type;
        box.payload = PayloadOf(view, header).Rest();
        movie.vendorBoxes.push_back(std::move(box));
        view.SeekTo(header.end);
    }
}

const VendorBox* FindVendorBox(const MovieRecord& movie, uint32_t type) {
    for (auto it = movie.vendorBoxes.rbegin(); it != movie.vendorBoxes.rend(); ++it)
        if (it->type == type) return &*it;
    return nullptr;
}

void Parse(ParserInput& input, MovieRecord& movie) {
    bool movieSeen = false;
    bool mediaDataSeen = false;
    // A movie that announces fragments is read on from its movie box by the
    // walk of the fragments, to the end of the file.
    while (!(movieSeen && mediaDataSeen) && !movie.extends.present) {
        BoxHeader header = ReadTopLevelHeader(input);
        switch (header.type) {
            case FourCC("ftyp"):
            case FourCC("free"):
            case FourCC("mfra"):
            case FourCC("udta"):
            case FourCC("uuid"):
            case FourCC("wide"): input.SeekTo(header.end); break;
            case FourCC("mdat"):
                input.SeekTo(header.end);
                mediaDataSeen = true;
                break;
            case FourCC("moov"): {
                uint64_t payloadStart = input.position();
                std::vector<uint8_t> payload = input.ReadBytes(header.end - payloadStart);
                ParseMovieBox(BoxView(payload.data(), payload.size(), payloadStart), movie, input.streamSize());
                movieSeen = true;
                break;
            }
            case FourCC("skip"):
                ReadSkipBox(input, header, movie);
                input.SeekTo(header.end);
                break;
            default: throw bad_format("unrecognized box");
        }
    }
    if (movie.extends.present) WalkFragments(input, movie);
}

}  // namespace ZENT::SDK::Pelagor2::MP4Parser

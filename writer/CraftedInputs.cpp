#include "writer/CraftedInputs.h"

#include <zlib.h>

#include <stdexcept>

#include "writer/FrameInfoRecordWriter.h"
#include "writer/InProgressChunk.h"
#include "writer/InProgressRecording.h"
#include "writer/IsoBoxes.h"
#include "writer/SampleEntries.h"

namespace writer {

namespace {

struct SampleTables {
    Box sampleEntry;
    std::string_view handler;
    std::vector<Box> mediaHeader;  // vmhd, smhd or none
    uint32_t chunkCount = 1;
    uint32_t samplesPerChunk = 1;
    Box sampleSizes;
    std::vector<Box> moreSampleTableBoxes = {};
};

Box Trak(uint32_t trackId, const SampleTables& tables, uint64_t chunkOffset) {
    const uint32_t sampleCount = tables.chunkCount * tables.samplesPerChunk;
    std::vector<Box> minf = tables.mediaHeader;
    minf.push_back(Dinf());
    std::vector<Box> stbl = {Stsd({tables.sampleEntry}), Stts({{sampleCount, 1}}),
                             Stsc({{1, tables.samplesPerChunk, 1}}), tables.sampleSizes,
                             Stco(std::vector<uint32_t>(tables.chunkCount, uint32_t(chunkOffset)))};
    stbl.insert(stbl.end(), tables.moreSampleTableBoxes.begin(), tables.moreSampleTableBoxes.end());
    minf.push_back(Container("stbl", stbl));
    TkhdFields tkhd;
    tkhd.trackId = trackId;
    MdhdFields mdhd;
    mdhd.timescale = 8000;
    return Container("trak",
                     {Tkhd(tkhd), Container("mdia", {Mdhd(mdhd), Hdlr(tables.handler), Container("minf", minf)})});
}

// ftyp, moov, and the header of an mdat of mediaBytes bytes; every chunk of
// every track starts at the media data's first byte.
Bytes HeadWithSharedChunks(uint32_t trackCount, const SampleTables& tables, uint64_t mediaBytes) {
    const Bytes ftyp = Ftyp().bytes();
    const auto moovFor = [&](uint64_t chunkOffset) {
        MvhdFields mvhd;
        mvhd.nextTrackId = trackCount + 1;
        Box moov("moov");
        moov.add(Mvhd(mvhd));
        for (uint32_t t = 0; t < trackCount; ++t) moov.add(Trak(t + 1, tables, chunkOffset));
        return moov.bytes();
    };
    // The chunk offsets do not change the size of the movie box.
    const uint64_t mediaStart = ftyp.size() + moovFor(0).size() + 8;
    if (mediaStart + mediaBytes > UINT32_MAX) throw std::invalid_argument("too large for 32-bit offsets");
    return Concat({ftyp, moovFor(mediaStart), ByteWriter().u32(uint32_t(8 + mediaBytes)).str("mdat").take()});
}

}  // namespace

Bytes RawDeflate(const Bytes& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&stream, uLong(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    return out;
}

Bytes SharedMediaDataHead(uint32_t trackCount, uint32_t mediaBytes) {
    SampleTables tables{Ulaw(), "soun", {Smhd()}, 1, mediaBytes, StszConstant(1, mediaBytes)};
    return HeadWithSharedChunks(trackCount, tables, mediaBytes);
}

Bytes SharedMediaData(uint32_t trackCount, uint32_t mediaBytes) {
    return Concat({SharedMediaDataHead(trackCount, mediaBytes), Bytes(mediaBytes, 0xFF)});
}

Bytes RepeatedCompressedSample(uint32_t references, uint32_t inflatedBytes) {
    const Bytes sample = RawDeflate(Bytes(inflatedBytes, 0));
    SampleTables tables{MettDeflate(), "meta", {Nmhd()},
                        references,    1,      Stsz(std::vector<uint32_t>(references, uint32_t(sample.size())))};
    return Concat({HeadWithSharedChunks(1, tables, sample.size()), sample});
}

Bytes RepeatedVideoSample(uint32_t references, uint32_t sampleSize) {
    // One length-prefixed slice filling the sample.
    Bytes sample = ByteWriter().u32(sampleSize - 4).u8(0x41).take();
    sample.resize(sampleSize, 0x5A);
    SampleTables tables{Avc1(176, 144, {MinimalAvcSps(176, 144)}, {MinimalAvcPps()}), "vide", {Vmhd()}, references, 1,
                        Stsz(std::vector<uint32_t>(references, sampleSize))};
    return Concat({HeadWithSharedChunks(1, tables, sample.size()), sample});
}

Bytes WholeFileIndexed(uint32_t saizEntries) {
    // The sample count that covers the whole file does not change the file's
    // size: a constant-size table holds it in a fixed field.
    const auto build = [saizEntries](uint32_t sampleCount) {
        SampleTables tables{Ulaw(),
                            "soun",
                            {Smhd()},
                            1,
                            sampleCount,
                            StszConstant(1, sampleCount),
                            {Saiz(0, saizEntries, Bytes(saizEntries, 1))}};
        return Concat({Ftyp().bytes(), Container("moov", {Mvhd({}), Trak(1, tables, 0)}).bytes(), Mdat({}).bytes()});
    };
    return build(uint32_t(build(0).size()));
}

Bytes ChunkPerTagRecording(uint32_t chunkCount) {
    InProgressRecording recording;
    for (uint32_t k = 0; k < chunkCount; ++k) {
        MediaHeader header;
        header.codec = "PCMU";
        header.seconds = 1700000000 + (chunkCount - k) / 1000;
        header.milliseconds = uint16_t((chunkCount - k) % 1000);
        header.extension = Bytes(4, 0);  // the audio fields
        const FrameInfoRecord record(header);
        // Tags "T" and three more bytes counting up.
        const uint32_t tag = 0x54u | (k << 8);
        recording.chunk(Chunk(tag, kAudioFlagIndex).sample(Bytes{uint8_t(k)}, record));
    }
    return recording.mdatSizeToEnd().bytes();
}

}  // namespace writer

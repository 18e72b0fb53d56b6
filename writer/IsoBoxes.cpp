#include "writer/IsoBoxes.h"

#include <limits>
#include <stdexcept>

namespace writer {

namespace {

// Version 0 headers hold 32-bit times: refuse what they cannot hold rather
// than write a silently different value.
uint32_t Narrow(uint64_t value, const char* what) {
    if (value > std::numeric_limits<uint32_t>::max())
        throw std::invalid_argument(std::string(what) + " needs version 1 (a 64-bit field)");
    return uint32_t(value);
}

// The identity matrix of movie and track headers.
void WriteMatrix(Box& box) {
    const uint32_t matrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (uint32_t value : matrix) box.u32(value);
}

}  // namespace

Box Ftyp(std::string_view majorBrand, uint32_t minorVersion, const std::vector<std::string>& compatibleBrands) {
    Box box("ftyp");
    box.fourcc(majorBrand).u32(minorVersion);
    for (const std::string& brand : compatibleBrands) box.fourcc(brand);
    return box;
}

Box Container(std::string_view type, const std::vector<Box>& children) {
    Box box(type);
    box.add(children);
    return box;
}

Box Mvhd(const MvhdFields& f) {
    Box box = Box::Full("mvhd", f.version, 0);
    if (f.version != 0) {
        box.u64(f.creationTime).u64(f.modificationTime).u32(f.timescale).u64(f.duration);
    } else {
        box.u32(Narrow(f.creationTime, "mvhd creation time"))
            .u32(Narrow(f.modificationTime, "mvhd modification time"))
            .u32(f.timescale)
            .u32(Narrow(f.duration, "mvhd duration"));
    }
    box.u32(0x00010000).u16(0x0100).zeros(10);  // rate, volume, reserved
    WriteMatrix(box);
    box.zeros(24);  // pre_defined
    box.u32(f.nextTrackId);
    return box;
}

Box Tkhd(const TkhdFields& f) {
    Box box = Box::Full("tkhd", f.version, f.flags);
    if (f.version != 0) {
        box.u64(f.creationTime).u64(f.modificationTime).u32(f.trackId).u32(0).u64(f.duration);
    } else {
        box.u32(Narrow(f.creationTime, "tkhd creation time"))
            .u32(Narrow(f.modificationTime, "tkhd modification time"))
            .u32(f.trackId)
            .u32(0)
            .u32(Narrow(f.duration, "tkhd duration"));
    }
    box.zeros(8).u16(0).u16(0).u16(f.volume).u16(0);  // reserved, layer, alternate group, volume, reserved
    WriteMatrix(box);
    box.fixed16(f.width).fixed16(f.height);
    return box;
}

Box Mdhd(const MdhdFields& f) {
    Box box = Box::Full("mdhd", f.version, 0);
    if (f.version != 0) {
        box.u64(f.creationTime).u64(f.modificationTime).u32(f.timescale).u64(f.duration);
    } else {
        box.u32(Narrow(f.creationTime, "mdhd creation time"))
            .u32(Narrow(f.modificationTime, "mdhd modification time"))
            .u32(f.timescale)
            .u32(Narrow(f.duration, "mdhd duration"));
    }
    box.u16(f.language).u16(0);
    return box;
}

Box Hdlr(std::string_view handlerType, std::string_view name) {
    Box box = Box::Full("hdlr", 0, 0);
    box.u32(0).fourcc(handlerType).zeros(12).cstr(name);
    return box;
}

Box Vmhd() {
    Box box = Box::Full("vmhd", 0, 1);
    box.u16(0).u16(0).u16(0).u16(0);  // graphicsmode, opcolor
    return box;
}

Box Smhd() {
    Box box = Box::Full("smhd", 0, 0);
    box.u16(0).u16(0);  // balance, reserved
    return box;
}

Box Hmhd(uint16_t maxPduSize, uint16_t avgPduSize, uint32_t maxBitrate, uint32_t avgBitrate) {
    Box box = Box::Full("hmhd", 0, 0);
    box.u16(maxPduSize).u16(avgPduSize).u32(maxBitrate).u32(avgBitrate).u32(0);
    return box;
}

Box Nmhd() { return Box::Full("nmhd", 0, 0); }

Box Url(std::string_view location) {
    if (location.empty()) return Box::Full("url ", 0, 1);
    Box box = Box::Full("url ", 0, 0);
    box.cstr(location);
    return box;
}

Box Dref(const std::vector<Box>& entries) {
    Box box = Box::Full("dref", 0, 0);
    box.u32(uint32_t(entries.size())).add(entries);
    return box;
}

Box Dinf() { return Container("dinf", {Dref({Url()})}); }

Box Elst(const std::vector<EditEntry>& entries, uint8_t version) {
    Box box = Box::Full("elst", version, 0);
    box.u32(uint32_t(entries.size()));
    for (const EditEntry& e : entries) {
        if (version != 0)
            box.u64(e.segmentDuration).i64(e.mediaTime);
        else
            box.u32(e.segmentDuration).i32(e.mediaTime);
        box.u32(e.mediaRate);
    }
    return box;
}

Box Edts(const std::vector<EditEntry>& entries) { return Container("edts", {Elst(entries)}); }

Box Stts(const std::vector<TimeToSample>& entries) {
    Box box = Box::Full("stts", 0, 0);
    box.u32(uint32_t(entries.size()));
    for (const TimeToSample& e : entries) box.u32(e.sampleCount).u32(e.sampleDelta);
    return box;
}

Box Ctts(const std::vector<CompositionOffset>& entries, uint8_t version) {
    Box box = Box::Full("ctts", version, 0);
    box.u32(uint32_t(entries.size()));
    for (const CompositionOffset& e : entries) box.u32(e.sampleCount).i32(e.sampleOffset);
    return box;
}

Box Stss(const std::vector<uint32_t>& sampleNumbers) {
    Box box = Box::Full("stss", 0, 0);
    box.u32(uint32_t(sampleNumbers.size()));
    for (uint32_t number : sampleNumbers) box.u32(number);
    return box;
}

Box Stsc(const std::vector<SampleToChunk>& entries) {
    Box box = Box::Full("stsc", 0, 0);
    box.u32(uint32_t(entries.size()));
    for (const SampleToChunk& e : entries) box.u32(e.firstChunk).u32(e.samplesPerChunk).u32(e.sampleDescriptionIndex);
    return box;
}

Box StszConstant(uint32_t sampleSize, uint32_t sampleCount) {
    Box box = Box::Full("stsz", 0, 0);
    box.u32(sampleSize).u32(sampleCount);
    return box;
}

Box Stsz(const std::vector<uint32_t>& sizes) {
    Box box = Box::Full("stsz", 0, 0);
    box.u32(0).u32(uint32_t(sizes.size()));
    for (uint32_t size : sizes) box.u32(size);
    return box;
}

Box Stco(const std::vector<uint32_t>& offsets) {
    Box box = Box::Full("stco", 0, 0);
    box.u32(uint32_t(offsets.size()));
    for (uint32_t offset : offsets) box.u32(offset);
    return box;
}

Box Co64(const std::vector<uint64_t>& offsets) {
    Box box = Box::Full("co64", 0, 0);
    box.u32(uint32_t(offsets.size()));
    for (uint64_t offset : offsets) box.u64(offset);
    return box;
}

Box Stsd(const std::vector<Box>& entries) {
    Box box = Box::Full("stsd", 0, 0);
    box.u32(uint32_t(entries.size())).add(entries);
    return box;
}

Box Saiz(uint8_t defaultSampleInfoSize, uint32_t sampleCount, const std::vector<uint8_t>& sampleInfoSizes,
         std::optional<AuxInfoType> auxInfo) {
    Box box = Box::Full("saiz", 0, auxInfo ? 1 : 0);
    if (auxInfo) box.u32(auxInfo->type).u32(auxInfo->parameter);
    box.u8(defaultSampleInfoSize).u32(sampleCount);
    if (defaultSampleInfoSize == 0) box.bytes(sampleInfoSizes);
    return box;
}

Bytes EncryptionRecordBytes(const EncryptionRecord& record, bool withSubSamples) {
    if (record.iv.size() != 8) throw std::invalid_argument("an encryption record's IV has 8 bytes");
    ByteWriter out;
    out.bytes(record.iv);
    if (withSubSamples) {
        out.u16(uint16_t(record.subSamples.size()));
        for (const SubSample& s : record.subSamples) out.u16(s.clearBytes).u32(s.protectedBytes);
    }
    return out.take();
}

Box Senc(const std::vector<EncryptionRecord>& records, bool withSubSamples) {
    Box box = Box::Full("senc", 0, withSubSamples ? 2 : 0);
    box.u32(uint32_t(records.size()));
    for (const EncryptionRecord& record : records) box.bytes(EncryptionRecordBytes(record, withSubSamples));
    return box;
}

Box Mehd(uint64_t fragmentDuration, uint8_t version) {
    Box box = Box::Full("mehd", version, 0);
    if (version != 0)
        box.u64(fragmentDuration);
    else
        box.u32(Narrow(fragmentDuration, "mehd fragment duration"));
    return box;
}

Box Trex(const TrexFields& f) {
    Box box = Box::Full("trex", 0, 0);
    box.u32(f.trackId)
        .u32(f.defaultSampleDescriptionIndex)
        .u32(f.defaultSampleDuration)
        .u32(f.defaultSampleSize)
        .u32(f.defaultSampleFlags);
    return box;
}

Box Mfhd(uint32_t sequenceNumber) {
    Box box = Box::Full("mfhd", 0, 0);
    box.u32(sequenceNumber);
    return box;
}

Box Tfhd(const TfhdFields& f) {
    const uint32_t flags = (f.baseDataOffset ? 0x000001 : 0) | (f.sampleDescriptionIndex ? 0x000002 : 0) |
                           (f.defaultSampleDuration ? 0x000008 : 0) | (f.defaultSampleSize ? 0x000010 : 0) |
                           (f.defaultSampleFlags ? 0x000020 : 0) | (f.defaultBaseIsMoof ? 0x020000 : 0);
    Box box = Box::Full("tfhd", 0, flags);
    box.u32(f.trackId);
    if (f.baseDataOffset) box.u64(*f.baseDataOffset);
    if (f.sampleDescriptionIndex) box.u32(*f.sampleDescriptionIndex);
    if (f.defaultSampleDuration) box.u32(*f.defaultSampleDuration);
    if (f.defaultSampleSize) box.u32(*f.defaultSampleSize);
    if (f.defaultSampleFlags) box.u32(*f.defaultSampleFlags);
    return box;
}

Box Tfdt(uint64_t baseMediaDecodeTime, uint8_t version) {
    Box box = Box::Full("tfdt", version, 0);
    if (version != 0)
        box.u64(baseMediaDecodeTime);
    else
        box.u32(Narrow(baseMediaDecodeTime, "tfdt decode time"));
    return box;
}

Box Trun(const TrunFields& f) {
    const TrunSample first = f.samples.empty() ? TrunSample{} : f.samples.front();
    const uint32_t flags = (f.dataOffset ? 0x000001 : 0) | (f.firstSampleFlags ? 0x000004 : 0) |
                           (first.duration ? 0x000100 : 0) | (first.size ? 0x000200 : 0) |
                           (first.flags ? 0x000400 : 0) | (first.compositionOffset ? 0x000800 : 0);
    Box box = Box::Full("trun", f.version, flags);
    box.u32(f.sampleCount ? *f.sampleCount : uint32_t(f.samples.size()));
    if (f.dataOffset) box.i32(*f.dataOffset);
    if (f.firstSampleFlags) box.u32(*f.firstSampleFlags);
    for (const TrunSample& s : f.samples) {
        if (s.duration.has_value() != first.duration.has_value() || s.size.has_value() != first.size.has_value() ||
            s.flags.has_value() != first.flags.has_value() ||
            s.compositionOffset.has_value() != first.compositionOffset.has_value())
            throw std::invalid_argument("every sample of a run has the same fields");
        if (s.duration) box.u32(*s.duration);
        if (s.size) box.u32(*s.size);
        if (s.flags) box.u32(*s.flags);
        if (s.compositionOffset) box.i32(*s.compositionOffset);
    }
    return box;
}

Box Free(size_t payloadSize, std::string_view type) {
    Box box(type);
    box.zeros(payloadSize);
    return box;
}

Box Skip(const Bytes& payload) {
    Box box("skip");
    box.bytes(payload);
    return box;
}

Box VendorSkip(const std::vector<Box>& children) {
    Box box("skip");
    box.str("TALVENex").add(children);
    return box;
}

Box Mdat(const Bytes& content) {
    Box box("mdat");
    box.bytes(content);
    return box;
}

}  // namespace writer

#include "writer/SampleEntries.h"

#include <stdexcept>

#include "writer/IsoBoxes.h"

namespace writer {

namespace {

void CheckLengthSize(unsigned lengthSize) {
    if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4)
        throw std::invalid_argument("NAL length size is 1, 2 or 4");
}

void WriteUnitList(ByteWriter& out, const std::vector<Bytes>& units) {
    for (const Bytes& unit : units) {
        if (unit.size() > 0xFFFF) throw std::invalid_argument("parameter set longer than 65535 bytes");
        out.u16(uint16_t(unit.size())).bytes(unit);
    }
}

// Inserts 03 after every 00 00 that precedes a byte of 0 to 3, so that a
// parameter set never contains a start code.
Bytes EmulationPrevented(const Bytes& rbsp) {
    Bytes out;
    int zeros = 0;
    for (uint8_t byte : rbsp) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return out;
}

Box WithChildren(Box entry, const std::vector<Box>& children) {
    entry.add(children);
    return entry;
}

}  // namespace

Box VisualSampleEntry(std::string_view type, uint16_t width, uint16_t height, uint16_t dataReferenceIndex) {
    Box box(type);
    box.zeros(6).u16(dataReferenceIndex);
    box.u16(0).u16(0).zeros(12);  // pre_defined, reserved, pre_defined
    box.u16(width).u16(height);
    box.u32(0x00480000).u32(0x00480000);  // 72 dpi
    box.u32(0).u16(1);                    // reserved, frame_count
    box.zeros(32);                        // compressorname
    box.u16(0x0018).i16(-1);              // depth, pre_defined
    return box;
}

Box AudioSampleEntry(std::string_view type, const AudioFields& f) {
    Box box(type);
    box.zeros(6).u16(f.dataReferenceIndex);
    box.zeros(8);  // version, revision, vendor
    box.u16(f.channelCount).u16(f.sampleSize);
    box.u16(0).u16(0);  // pre_defined, reserved
    box.u32(f.sampleRate << 16);
    return box;
}

Box RawBox(std::string_view type, const Bytes& payload) {
    Box box(type);
    box.bytes(payload);
    return box;
}

Box Btrt(uint32_t bufferSizeDB, uint32_t maxBitrate, uint32_t avgBitrate) {
    Box box("btrt");
    box.u32(bufferSizeDB).u32(maxBitrate).u32(avgBitrate);
    return box;
}

Bytes AvcCPayload(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, unsigned lengthSize) {
    CheckLengthSize(lengthSize);
    if (sps.size() > 31 || pps.size() > 255) throw std::invalid_argument("too many AVC parameter sets");
    auto spsByte = [&](size_t i) -> uint8_t { return !sps.empty() && sps[0].size() > i ? sps[0][i] : 0; };
    ByteWriter out;
    out.u8(1).u8(spsByte(1)).u8(spsByte(2)).u8(spsByte(3));
    out.u8(uint8_t(0xFC | (lengthSize - 1)));
    out.u8(uint8_t(0xE0 | sps.size()));
    WriteUnitList(out, sps);
    out.u8(uint8_t(pps.size()));
    WriteUnitList(out, pps);
    return out.take();
}

Box AvcC(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, unsigned lengthSize) {
    return RawBox("avcC", AvcCPayload(sps, pps, lengthSize));
}

Box Avc1(uint16_t width, uint16_t height, const std::vector<Bytes>& sps, const std::vector<Bytes>& pps,
         unsigned lengthSize, const std::vector<Box>& moreChildren) {
    Box entry = VisualSampleEntry("avc1", width, height);
    entry.add(AvcC(sps, pps, lengthSize)).add(moreChildren);
    return entry;
}

Bytes MinimalAvcSps(uint16_t width, uint16_t height) {
    if (width == 0 || height == 0 || width % 16 != 0 || height % 16 != 0)
        throw std::invalid_argument("picture size must be a non-zero multiple of 16");
    BitWriter bits;
    bits.bits(66, 8);    // profile_idc: Baseline
    bits.bits(0xC0, 8);  // constraint_set0 and set1
    bits.bits(30, 8);    // level_idc 3.0
    bits.ue(0);          // seq_parameter_set_id
    bits.ue(0);          // log2_max_frame_num_minus4
    bits.ue(2);          // pic_order_cnt_type
    bits.ue(1);          // max_num_ref_frames
    bits.flag(false);    // gaps_in_frame_num_value_allowed_flag
    bits.ue(width / 16 - 1);
    bits.ue(height / 16 - 1);
    bits.flag(true);   // frame_mbs_only_flag
    bits.flag(true);   // direct_8x8_inference_flag
    bits.flag(false);  // frame_cropping_flag
    bits.flag(false);  // vui_parameters_present_flag
    bits.trailingBits();
    return Concat({{0x67}, EmulationPrevented(bits.bytes())});
}

Bytes MinimalAvcPps() {
    BitWriter bits;
    bits.ue(0).ue(0);              // pic and seq parameter set ids
    bits.flag(false);              // entropy_coding_mode_flag: CAVLC
    bits.flag(false);              // bottom_field_pic_order_in_frame_present_flag
    bits.ue(0);                    // num_slice_groups_minus1
    bits.ue(0).ue(0);              // num_ref_idx_l0/l1_default_active_minus1
    bits.flag(false).bits(0, 2);   // weighted_pred_flag, weighted_bipred_idc
    bits.se(0).se(0).se(0);        // pic_init_qp/qs_minus26, chroma_qp_index_offset
    bits.flag(true);               // deblocking_filter_control_present_flag
    bits.flag(false).flag(false);  // constrained_intra_pred, redundant_pic_cnt_present
    bits.trailingBits();
    return Concat({{0x68}, EmulationPrevented(bits.bytes())});
}

Bytes HvcCPayload(const std::vector<HevcNalArray>& arrays, unsigned lengthSize) {
    CheckLengthSize(lengthSize);
    if (arrays.size() > 255) throw std::invalid_argument("too many HEVC arrays");
    ByteWriter out;
    out.u8(1);                                 // configurationVersion
    out.u8(0x01);                              // profile space 0, tier 0, profile Main
    out.u32(0x60000000);                       // general_profile_compatibility_flags
    out.zeros(6);                              // constraint indicator flags
    out.u8(93);                                // general_level_idc 3.1
    out.u16(0xF000);                           // min_spatial_segmentation_idc
    out.u8(0xFC);                              // parallelismType
    out.u8(0xFD);                              // chromaFormat 4:2:0
    out.u8(0xF8).u8(0xF8);                     // bit depths 8
    out.u16(0);                                // avgFrameRate
    out.u8(uint8_t(0x0C | (lengthSize - 1)));  // one temporal layer, nested, lengthSizeMinusOne
    out.u8(uint8_t(arrays.size()));
    for (const HevcNalArray& array : arrays) {
        if (array.units.size() > 0xFFFF) throw std::invalid_argument("too many units in an HEVC array");
        out.u8(uint8_t((array.complete ? 0x80 : 0) | (array.nalUnitType & 0x3F)));
        out.u16(uint16_t(array.units.size()));
        WriteUnitList(out, array.units);
    }
    return out.take();
}

Box HvcC(const std::vector<HevcNalArray>& arrays, unsigned lengthSize) {
    return RawBox("hvcC", HvcCPayload(arrays, lengthSize));
}

Box Hvc1(uint16_t width, uint16_t height, const std::vector<HevcNalArray>& arrays, unsigned lengthSize,
         std::string_view type) {
    Box entry = VisualSampleEntry(type, width, height);
    entry.add(HvcC(arrays, lengthSize));
    return entry;
}

Bytes DescriptorLength(uint32_t length, unsigned lengthSize) {
    if (lengthSize < 1 || lengthSize > 4) throw std::invalid_argument("descriptor lengths take 1 to 4 bytes");
    if (lengthSize < 4 && length >> (7 * lengthSize) != 0)
        throw std::invalid_argument("descriptor length does not fit its bytes");
    Bytes out;
    for (unsigned i = lengthSize; i-- > 0;) {
        uint8_t seven = uint8_t((length >> (7 * i)) & 0x7F);
        out.push_back(i != 0 ? uint8_t(seven | 0x80) : seven);
    }
    return out;
}

Box Esds(const EsdsFields& f) {
    auto descriptor = [&](uint8_t tag, const Bytes& body) {
        return Concat({{tag}, DescriptorLength(uint32_t(body.size()), f.lengthSize), body});
    };
    ByteWriter config;
    config.u8(f.objectTypeIndication).u8(uint8_t((f.streamType << 2) | 1));
    config.u24(f.bufferSizeDB).u32(f.maxBitrate).u32(f.avgBitrate);
    if (!f.decoderSpecificInfo.empty()) config.bytes(descriptor(5, f.decoderSpecificInfo));

    ByteWriter es;
    es.u16(f.esId).u8(0);  // no dependence, URL or OCR fields, priority 0
    es.bytes(descriptor(4, config.data()));
    if (f.slConfig) es.bytes(descriptor(6, {0x02}));

    Box box = Box::Full("esds", 0, 0);
    box.bytes(descriptor(3, es.data()));
    return box;
}

Bytes AacAudioSpecificConfig(uint8_t objectType, uint32_t sampleRate, uint8_t channels, bool frame960) {
    static const uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
    unsigned index = 0;
    while (index < 13 && kRates[index] != sampleRate) ++index;
    if (index == 13) throw std::invalid_argument("no AAC sampling frequency index for this rate");
    BitWriter bits;
    bits.bits(objectType, 5).bits(index, 4).bits(channels, 4);
    bits.flag(frame960).flag(false).flag(false);  // frameLengthFlag, dependsOnCoreCoder, extensionFlag
    return bits.bytes();
}

Box Mp4v(uint16_t width, uint16_t height, uint8_t objectTypeIndication, const Bytes& decoderSpecificInfo,
         unsigned descriptorLengthSize) {
    EsdsFields esds;
    esds.objectTypeIndication = objectTypeIndication;
    esds.streamType = 4;
    esds.decoderSpecificInfo = decoderSpecificInfo;
    esds.lengthSize = descriptorLengthSize;
    Box entry = VisualSampleEntry("mp4v", width, height);
    entry.add(Esds(esds));
    return entry;
}

Box Mp4a(const AudioFields& fields, const Bytes& audioSpecificConfig, unsigned descriptorLengthSize) {
    EsdsFields esds;
    esds.objectTypeIndication = 0x40;
    esds.streamType = 5;
    esds.decoderSpecificInfo = audioSpecificConfig;
    esds.lengthSize = descriptorLengthSize;
    Box entry = AudioSampleEntry("mp4a", fields);
    entry.add(Esds(esds));
    return entry;
}

Box Damr(const DamrFields& f) {
    Box box("damr");
    box.fourcc(f.vendor).u8(f.decoderVersion).u16(f.modeSet).u8(f.modeChangePeriod).u8(f.framesPerSample);
    return box;
}

Box Samr(const AudioFields& fields, const DamrFields& damr) {
    Box entry = AudioSampleEntry("samr", fields);
    entry.add(Damr(damr));
    return entry;
}

Box Ulaw(const AudioFields& fields, const std::vector<Box>& children) {
    return WithChildren(AudioSampleEntry("ulaw", fields), children);
}
Box Alaw(const AudioFields& fields, const std::vector<Box>& children) {
    return WithChildren(AudioSampleEntry("alaw", fields), children);
}
Box G726(const AudioFields& fields, const std::vector<Box>& children) {
    return WithChildren(AudioSampleEntry("g726", fields), children);
}
Box G722(const AudioFields& fields, const std::vector<Box>& children) {
    return WithChildren(AudioSampleEntry("g722", fields), children);
}
Box G729(const AudioFields& fields, const std::vector<Box>& children) {
    return WithChildren(AudioSampleEntry("g729", fields), children);
}

Box S263(uint16_t width, uint16_t height) {
    Box d263("d263");
    d263.fourcc("FFMP").u8(0).u8(10).u8(0);
    Box entry = VisualSampleEntry("s263", width, height);
    entry.add(d263);
    return entry;
}

Box Mett(std::string_view contentEncoding, std::string_view mimeFormat, const std::vector<Box>& moreBoxes) {
    Box entry("mett");
    entry.zeros(6).u16(1).cstr(contentEncoding).cstr(mimeFormat).add(moreBoxes);
    return entry;
}

Box MettPlain() { return Mett("", kMetjMimeType); }

Box MettDeflate(const Bytes& compressedDictionary) {
    if (compressedDictionary.empty()) return Mett(kDeflateEncoding, kMetjMimeType);
    return Mett(kDeflateEncoding, kMetjMimeType, {Txtc(compressedDictionary)});
}

Box Txtc(const Bytes& payload) {
    Box box = Box::Full("txtC", 0, 0);
    box.bytes(payload);
    return box;
}

Box Metx(std::string_view contentEncoding, std::string_view nameSpace, std::string_view schemaLocation) {
    Box entry("metx");
    entry.zeros(6).u16(1).cstr(contentEncoding).cstr(nameSpace).cstr(schemaLocation);
    return entry;
}

Box Frma(std::string_view dataFormat) {
    Box box("frma");
    box.fourcc(dataFormat);
    return box;
}

Box Schm(std::string_view schemeType, uint32_t schemeVersion) {
    Box box = Box::Full("schm", 0, 0);
    box.fourcc(schemeType).u32(schemeVersion);
    return box;
}

Box Tenc(const TencFields& f) {
    if (f.defaultKeyId.size() != 16) throw std::invalid_argument("a key identifier has 16 bytes");
    Box box = Box::Full("tenc", f.version, 0);
    box.u8(0).u8(0);  // reserved (version 1 keeps crypt and skip block counts here)
    box.u8(f.defaultIsProtected).u8(f.defaultPerSampleIvSize).bytes(f.defaultKeyId);
    if (f.defaultPerSampleIvSize == 0) box.u8(uint8_t(f.constantIv.size())).bytes(f.constantIv);
    return box;
}

Box Sinf(std::string_view originalFormat, const TencFields& tenc, std::string_view schemeType) {
    return Container("sinf", {Frma(originalFormat), Schm(schemeType), Container("schi", {Tenc(tenc)})});
}

Box Protect(Box entry, std::string_view protectedType, const TencFields& tenc, std::string_view schemeType) {
    std::string original = entry.type();
    entry.setType(protectedType);
    entry.add(Sinf(original, tenc, schemeType));
    return entry;
}

}  // namespace writer

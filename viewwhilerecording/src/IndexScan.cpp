#include "viewwhilerecording/IndexScan.h"

#include "common/NalUnits.h"

#include <cstring>
#include <string_view>

#include <boost/make_shared.hpp>

#include "common/CodecTables.h"
#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/ViewWhileRecException.h"
#include "viewwhilerecording/ViewWhileRecImpl.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

using Utility::FourCC;

constexpr uint32_t kBoxMdat = FourCC("mdat");
constexpr uint32_t kBoxSkip = FourCC("skip");
constexpr uint32_t kBoxUuid = FourCC("uuid");
constexpr uint32_t kBoxTxtc = FourCC("txtC");

constexpr uint32_t kPlainHeaderLength = 8;
constexpr uint32_t kLargeSizeLength = 8;
constexpr uint32_t kUserTypeLength = 16;

// Room the converted parameter sets get beyond the area's own size.
constexpr uint64_t kAvcConfigurationSlack = 513;
constexpr uint64_t kHevcConfigurationSlack = 1024;
using ZENT::SDK::Utility::kStartCode;

// A frame-information record holds the media header (20 bytes or more) at
// offset 16; shorter records cannot make a packet and are not indexed.
constexpr uint32_t kMinIndexedRecordLength = 36;
constexpr size_t kTimeSecondsOffset = 29;
constexpr size_t kTimeMillisecondsOffset = 33;
constexpr size_t kFrameTypeOffset = 24;
constexpr uint8_t kFirstNonKeyFrameType = 0x10;
constexpr size_t kNonceLength = 8;

constexpr std::string_view kMetjMimeType = "text/vnd.norvate.metj";
constexpr std::string_view kDeflateEncoding = "application/vnd.norvate.deflate";

uint32_t BigEndian(const uint8_t* bytes, unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

uint32_t ReadU8(DataReader& reader) {
    uint8_t byte;
    reader.GetData(&byte, 1);
    return byte;
}

uint32_t ReadU16(DataReader& reader) {
    uint8_t bytes[2];
    reader.GetData(bytes, 2);
    return BigEndian(bytes, 2);
}

// Refuses to allocate for bytes the file does not hold yet.
void RequireAvailable(DataReader& reader, uint64_t count) {
    if (reader.Available() < count) ThrowFormatError();
}

// Length-prefixed units read from the file and stored behind start codes,
// never past the buffer's capacity.
class StartCodeWriter {
public:
    explicit StartCodeWriter(uint64_t capacity) : buffer_(new uint8_t[capacity]), capacity_(capacity) {}

    void Unit(DataReader& reader) {
        const uint32_t length = ReadU16(reader);
        if (capacity_ - used_ < sizeof(kStartCode) + uint64_t(length)) ThrowFormatError();
        std::memcpy(buffer_.get() + used_, kStartCode, sizeof(kStartCode));
        reader.GetData(buffer_.get() + used_ + sizeof(kStartCode), length);
        used_ += sizeof(kStartCode) + length;
    }

    CodecConfiguration Take() { return {buffer_, uint32_t(used_)}; }

private:
    boost::shared_array<uint8_t> buffer_;
    uint64_t capacity_;
    uint64_t used_ = 0;
};

bool StartsWithText(const uint8_t* bytes, uint32_t length, uint32_t offset, std::string_view text) {
    return uint64_t(offset) + text.size() <= length && std::memcmp(bytes + offset, text.data(), text.size()) == 0;
}

bool ZeroAt(const uint8_t* bytes, uint32_t length, uint32_t offset) { return offset < length && bytes[offset] == 0; }

}  // namespace

BoxHeader ReadBoxHeader(DataReader& reader) {
    BoxHeader header;
    header.start = reader.GetPosition();
    uint8_t bytes[kUserTypeLength];
    reader.GetData(bytes, kPlainHeaderLength);
    header.size = BigEndian(bytes, 4);
    header.type = BigEndian(bytes + 4, 4);
    header.headerLength = kPlainHeaderLength;
    if (header.size == 1) {
        RequireAvailable(reader, kLargeSizeLength);
        reader.GetData(bytes, kLargeSizeLength);
        header.size = (uint64_t(BigEndian(bytes, 4)) << 32) | BigEndian(bytes + 4, 4);
        header.headerLength += kLargeSizeLength;
    }
    if (header.type == kBoxUuid) {
        RequireAvailable(reader, kUserTypeLength);
        reader.GetData(bytes, kUserTypeLength);
        header.headerLength += kUserTypeLength;
    }
    header.end = header.start + header.size;
    return header;
}

void LocateMediaData(DataReader& reader) {
    uint64_t candidate = 0;
    for (;;) {
        reader.SetPosition(candidate);
        if (reader.Available() < kPlainHeaderLength) ThrowFormatError();
        const BoxHeader header = ReadBoxHeader(reader);
        if (header.type == kBoxMdat) return;
        // Every step must move forward: a size below the header, or a 64-bit
        // size that wraps, would send the walk back to where it was.
        if (header.size < kPlainHeaderLength || header.size < header.headerLength || header.end < header.start)
            ThrowFormatError();
        candidate = header.end;
    }
}

CodecConfiguration ReadAvcConfiguration(DataReader& reader, uint32_t gap) {
    RequireAvailable(reader, gap);
    StartCodeWriter writer(uint64_t(gap) + kAvcConfigurationSlack);
    writer.Unit(reader);
    const uint32_t pictureSetCount = ReadU8(reader);
    for (uint32_t i = 0; i < pictureSetCount; ++i) writer.Unit(reader);
    return writer.Take();
}

CodecConfiguration ReadHevcConfiguration(DataReader& reader, uint32_t gap) {
    RequireAvailable(reader, gap);
    StartCodeWriter writer(uint64_t(gap) + kHevcConfigurationSlack);
    const uint32_t arrayCount = ReadU8(reader);
    for (uint32_t i = 0; i < arrayCount; ++i) {
        ReadU8(reader);  // the arrays' NAL unit type is not needed
        const uint32_t unitCount = ReadU16(reader);
        for (uint32_t j = 0; j < unitCount; ++j) writer.Unit(reader);
    }
    return writer.Take();
}

CodecConfiguration ReadRawConfiguration(DataReader& reader, uint32_t gap) {
    RequireAvailable(reader, gap);
    CodecConfiguration configuration{boost::shared_array<uint8_t>(new uint8_t[gap]), gap};
    reader.GetData(configuration.bytes.get(), gap);
    return configuration;
}

MetadataForm ClassifyMetadataConfiguration(const uint8_t* bytes, uint32_t length) {
    // Content encoding, zero, MIME type, zero, as the metadata sample entry has them.
    const uint32_t jsonLength = uint32_t(1 + kMetjMimeType.size() + 1);
    if (length >= jsonLength && ZeroAt(bytes, length, 0) && StartsWithText(bytes, length, 1, kMetjMimeType) &&
        ZeroAt(bytes, length, jsonLength - 1))
        return MetadataForm::Json;
    const uint32_t mimeOffset = uint32_t(kDeflateEncoding.size() + 1);
    const uint32_t compressedLength = uint32_t(mimeOffset + kMetjMimeType.size() + 1);
    if (length >= compressedLength && StartsWithText(bytes, length, 0, kDeflateEncoding) &&
        ZeroAt(bytes, length, mimeOffset - 1) && StartsWithText(bytes, length, mimeOffset, kMetjMimeType) &&
        ZeroAt(bytes, length, compressedLength - 1))
        return MetadataForm::Compressed;
    return MetadataForm::Unknown;
}

bool HasDeflatedDictionary(const uint8_t* bytes, uint32_t length) {
    // The "txtC" box's own size (bytes 54 to 57) is not consulted.
    return length > kDictionaryOffset && BigEndian(bytes + 58, 4) == kBoxTxtc && BigEndian(bytes + 62, 4) == 0;
}

// ---- the chunk walk ----------------------------------------------------------

int64_t ViewWhileRecImpl::ScanNewData() {
    int64_t total = 0;
    for (;;) {
        if (indexReader.Available() < kPlainHeaderLength) return total;
        // The probe needs only the type: a chunk's first bytes are an index
        // record, not a box, and must not be read as a longer header.
        const uint64_t chunkStart = indexReader.GetPosition();
        uint8_t probe[kPlainHeaderLength];
        indexReader.GetData(probe, kPlainHeaderLength);
        indexReader.SetPosition(chunkStart);
        if (BigEndian(probe + 4, 4) == kBoxSkip) return total > 0 ? total : -1;
        try {
            total += ScanChunk();
        } catch (const std::exception&) {
            // Not complete yet (or never will be): try it again next time.
            indexReader.SetPosition(chunkStart);
            return total;
        }
    }
}

uint32_t ViewWhileRecImpl::ScanChunk() {
    IndexRecord index;
    IndexRecord trailer;
    boost::shared_array<uint8_t> nonce;

    ReadIndexRecord(indexReader, index);
    while (index.flags & kFlagPassOver) {
        trailerReader.SetPosition(index.dataEnd);
        ReadIndexRecord(trailerReader, trailer);
        indexReader.SetPosition(trailer.dataEnd);
        ReadIndexRecord(indexReader, index);
    }

    if (index.flags & kFlagVideo) {
        videoSeen = true;
    } else if (index.flags & kFlagAudio) {
        audioSeen = true;
    } else if (index.flags & kFlagEncryption) {
        encrypted = 1;
        // The nonce is the 8 bytes that end the record's sample data; with
        // fewer sample bytes than that it reaches back into the record itself,
        // never before the file's start, since the "mdat" header comes first.
        nonce.reset(new uint8_t[kNonceLength]);
        indexReader.SetPosition(index.dataEnd - kNonceLength);
        indexReader.GetData(nonce.get(), kNonceLength);
        ReadIndexRecord(indexReader, trailer);
        indexReader.SetPosition(trailer.dataEnd);
        ReadIndexRecord(indexReader, index);
        // The chunk behind the encryption record tells its kind as well.
        if (index.flags & kFlagVideo)
            videoSeen = true;
        else if (index.flags & kFlagAudio)
            audioSeen = true;
    }

    ReadCodecConfiguration(index);

    trailerReader.SetPosition(index.dataEnd);
    ReadIndexRecord(trailerReader, trailer);
    if (trailer.tag != kTagNorv || trailer.count != index.count) ThrowFormatError();

    // Before the track may be created: a track the selector does not know
    // would never be asked for a packet.
    selector.Invalidate(index.tag);
    boost::shared_ptr<TrackInfo> track;
    const auto found = trackTable.find(index.tag);
    if (found != trackTable.end()) {
        track = found->second;
    } else {
        track = boost::make_shared<TrackInfo>();
        track->isVideo = index.flags & kFlagVideo;
        track->nonce = nonce;
        trackTable.emplace(index.tag, track);
    }
    IndexChunkPackets(index, trailer, *track);
    if (track->cursor == kBeforeFirst || track->cursor == kTrackEnd) SeekTrack(*track, seekTarget);
    return trailer.count;
}

void ViewWhileRecImpl::ReadCodecConfiguration(IndexRecord& index) {
    CodecInfo info;
    info.width = index.width;
    info.height = index.height;
    info.codec = Utility::FindCodecByTag(index.tag);
    if (index.gap != 0) {
        CodecConfiguration configuration;
        const Utility::DecoderConfig decoderConfig =
            info.codec ? info.codec->decoderConfig : Utility::DecoderConfig::kGeneric;
        if (decoderConfig == Utility::DecoderConfig::kAvc)
            configuration = ReadAvcConfiguration(indexReader, index.gap);
        else if (decoderConfig == Utility::DecoderConfig::kHevc)
            configuration = ReadHevcConfiguration(indexReader, index.gap);
        else
            configuration = ReadRawConfiguration(indexReader, index.gap);

        if (index.tag == kTagMett) {
            const MetadataForm form = ClassifyMetadataConfiguration(configuration.bytes.get(), configuration.length);
            if (form != MetadataForm::Unknown) {
                index.tag = kTagMetj;
                info.codec = Utility::FindCodecByTag(kTagMetj);
            }
            if (form == MetadataForm::Compressed) {
                info.inflater = boost::make_shared<ZStream>();
                if (HasDeflatedDictionary(configuration.bytes.get(), configuration.length)) {
                    const Utility::InflatedDictionary dictionary = info.inflater->LoadDictionary(
                        configuration.bytes.get() + kDictionaryOffset, configuration.length - kDictionaryOffset);
                    configuration = {dictionary.bytes, dictionary.length};
                }
            }
        }
        info.config = configuration.bytes;
        info.configLength = configuration.length;
    }
    // The first entry of a tag stays.
    codecTable.emplace(index.tag, std::move(info));
}

void ViewWhileRecImpl::IndexChunkPackets(const IndexRecord& index, const IndexRecord& trailer, TrackInfo& track) {
    trailerReader.SetPosition(trailer.dataStart);
    uint64_t sampleOffset = index.dataStart;
    uint64_t recordOffset = trailer.dataStart;
    std::vector<boost::shared_ptr<TPacketIdxInfo>> chunkPackets;
    for (uint32_t i = 0; i < trailer.count; ++i) {
        const uint32_t sampleSize = index.sizes[i];
        const uint32_t recordLength = trailer.sizes[i];
        if (recordLength >= kMinIndexedRecordLength) {
            RequireAvailable(trailerReader, recordLength);
            auto packet = boost::make_shared<TPacketIdxInfo>();
            packet->offset = sampleOffset;
            packet->size = sampleSize;
            packet->tag = index.tag;
            packet->isVideo = index.flags & kFlagVideo;
            packet->record.reset(new uint8_t[recordLength]);
            packet->recordLength = recordLength;
            trailerReader.GetData(packet->record.get(), recordLength);
            const uint8_t* record = packet->record.get();
            packet->timestamp = uint64_t(BigEndian(record + kTimeSecondsOffset, 4)) * 1000 +
                                BigEndian(record + kTimeMillisecondsOffset, 2);
            packet->isKey = record[kFrameTypeOffset] < kFirstNonKeyFrameType;
            chunkPackets.push_back(std::move(packet));
        } else {
            trailerReader.SetPosition(recordOffset + recordLength);
        }
        sampleOffset += sampleSize;
        recordOffset += recordLength;
    }
    for (const auto& packet : chunkPackets) track.AddPacket(packet);
    indexReader.SetPosition(trailer.dataEnd);
}

int32_t ViewWhileRecImpl::SeekTrack(TrackInfo& track, uint64_t milliseconds) {
    return direction == -1 ? track.TrackSeekBackward(milliseconds) : track.TrackSeekForward(milliseconds);
}

}  // namespace ZENT::SDK::ViewWhileRecording

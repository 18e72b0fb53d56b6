#include "viewwhilerecording/IndexScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <boost/make_shared.hpp>

#include "common/CodecTables.h"
#include "format/ByteOrder.h"
#include "format/FrameInfoRecord.h"
#include "format/MetadataEntry.h"
#include "format/ParameterSets.h"
#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/ViewWhileRecException.h"
#include "viewwhilerecording/ViewWhileRecImpl.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

using Format::BoxHeader;
using Format::FourCC;
using Format::kPlainHeaderSize;

constexpr uint32_t kBoxMdat = FourCC("mdat");
constexpr uint32_t kBoxSkip = FourCC("skip");

// Room the converted parameter sets get beyond the area's own size.
constexpr uint64_t kAvcConfigurationSlack = 513;
constexpr uint64_t kHevcConfigurationSlack = 1024;

// A frame-information record holds the media header (20 bytes or more)
// after its fixed part; shorter records cannot make a packet and are not
// indexed.
constexpr uint32_t kMinIndexedRecordLength = uint32_t(Format::kRecordExtensionOffset);
constexpr size_t kNonceLength = 8;

// Refuses to allocate for bytes the file does not hold yet.
void RequireAvailable(DataReader& reader, uint64_t count) {
    if (reader.Available() < count) ThrowFormatError();
}

// Converts the configuration area of gap bytes at the reader's position,
// which the file must hold. The units may reach past the gap, as far as the
// limit lets them: only then are the bytes after it read, as many as the file
// holds and the conversion may need.
template <class Convert>
CodecConfiguration ReadStartCodeConfiguration(DataReader& reader, uint32_t gap, uint64_t slack, Convert convert) {
    const uint64_t available = reader.Available();
    if (available < gap) ThrowFormatError();
    const uint64_t limit = uint64_t(gap) + slack;
    std::vector<uint8_t> area(gap);
    reader.GetData(area.data(), gap);
    Format::ConvertedParameterSets converted = convert(area, limit);
    const uint64_t reach = std::min(available, limit + Format::kBytesBeyondLimit);
    if (converted.end == Format::ParameterSetEnd::Truncated && reach > gap) {
        area.resize(size_t(reach));
        reader.GetData(area.data() + gap, uint32_t(reach - gap));
        converted = convert(area, limit);
    }
    if (converted.end != Format::ParameterSetEnd::Complete) ThrowFormatError();
    CodecConfiguration configuration{boost::shared_array<uint8_t>(new uint8_t[converted.bytes.size()]),
                                     uint32_t(converted.bytes.size())};
    std::copy(converted.bytes.begin(), converted.bytes.end(), configuration.bytes.get());
    return configuration;
}

}  // namespace

BoxHeader ReadBoxHeader(DataReader& reader) {
    const uint64_t start = reader.GetPosition();
    uint8_t bytes[kPlainHeaderSize + Format::kLargeSizeLength];
    reader.GetData(bytes, kPlainHeaderSize);
    const uint32_t sizeFields = Format::SizeFieldsLength(bytes);
    if (sizeFields > kPlainHeaderSize) {
        RequireAvailable(reader, Format::kLargeSizeLength);
        reader.GetData(bytes + kPlainHeaderSize, Format::kLargeSizeLength);
    }
    const BoxHeader header = Format::DecodeBoxHeader(bytes, start);
    if (header.headerSize > sizeFields) {
        uint8_t userType[Format::kUserTypeLength];
        RequireAvailable(reader, Format::kUserTypeLength);
        reader.GetData(userType, Format::kUserTypeLength);
    }
    return header;
}

void LocateMediaData(DataReader& reader) {
    uint64_t candidate = 0;
    for (;;) {
        reader.SetPosition(candidate);
        if (reader.Available() < kPlainHeaderSize) ThrowFormatError();
        const BoxHeader header = ReadBoxHeader(reader);
        if (header.type == kBoxMdat) return;
        // Every step must move forward: a size below the header, or a 64-bit
        // size that wraps, would send the walk back to where it was.
        if (!Format::HasValidSize(header)) ThrowFormatError();
        candidate = header.end;
    }
}

CodecConfiguration ReadAvcConfiguration(DataReader& reader, uint32_t gap) {
    return ReadStartCodeConfiguration(reader, gap, kAvcConfigurationSlack,
                                      [](const std::vector<uint8_t>& area, uint64_t limit) {
                                          return Format::ConvertAvcParameterSets(
                                              area.data(), area.size(), Format::ConfigurationForm::Bare, limit);
                                      });
}

CodecConfiguration ReadHevcConfiguration(DataReader& reader, uint32_t gap) {
    return ReadStartCodeConfiguration(reader, gap, kHevcConfigurationSlack,
                                      [](const std::vector<uint8_t>& area, uint64_t limit) {
                                          return Format::ConvertHevcParameterSets(area.data(), area.size(),
                                                                                  Format::ConfigurationForm::Bare,
                                                                                  Format::HevcUnitChoice::All, limit);
                                      });
}

CodecConfiguration ReadRawConfiguration(DataReader& reader, uint32_t gap) {
    RequireAvailable(reader, gap);
    CodecConfiguration configuration{boost::shared_array<uint8_t>(new uint8_t[gap]), gap};
    reader.GetData(configuration.bytes.get(), gap);
    return configuration;
}

// ---- the chunk walk ----------------------------------------------------------

int64_t ViewWhileRecImpl::ScanNewData() {
    int64_t total = 0;
    for (;;) {
        if (indexReader.Available() < kPlainHeaderSize) return total;
        // The probe needs only the type: a chunk's first bytes are an index
        // record, not a box, and must not be read as a longer header.
        const uint64_t chunkStart = indexReader.GetPosition();
        uint8_t probe[kPlainHeaderSize];
        indexReader.GetData(probe, kPlainHeaderSize);
        indexReader.SetPosition(chunkStart);
        if (Format::LoadU32(probe + 4) == kBoxSkip) return total > 0 ? total : -1;
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
    if (index.gap != 0) {
        CodecConfiguration configuration;
        if (index.tag == kTagH264)
            configuration = ReadAvcConfiguration(indexReader, index.gap);
        else if (index.tag == kTagHevc)
            configuration = ReadHevcConfiguration(indexReader, index.gap);
        else
            configuration = ReadRawConfiguration(indexReader, index.gap);

        if (index.tag == kTagMett) {
            const Format::MetadataForm form =
                Format::ClassifyMetadataEntry(configuration.bytes.get(), configuration.length);
            if (form != Format::MetadataForm::kNone) index.tag = kTagMetj;
            if (form == Format::MetadataForm::kCompressed) {
                info.inflater = boost::make_shared<ZStream>();
                if (Format::HasDeflatedDictionary(configuration.bytes.get(), configuration.length)) {
                    const Utility::InflatedDictionary dictionary = info.inflater->LoadDictionary(
                        configuration.bytes.get() + Format::kDictionaryOffset,
                        configuration.length - uint32_t(Format::kDictionaryOffset));
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
            packet->timestamp = uint64_t(Format::LoadU32(record + Format::kRecordSecondsOffset)) * 1000 +
                                Format::LoadU16(record + Format::kRecordMillisecondsOffset);
            packet->isKey = record[Format::kRecordFrameTypeOffset] < Format::kFirstNonKeyFrameType;
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

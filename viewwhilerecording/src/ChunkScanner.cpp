#include "viewwhilerecording/ChunkScanner.h"

#include <vector>

#include <boost/make_shared.hpp>

#include "format/BoxHeader.h"
#include "format/ByteOrder.h"
#include "format/FourCC.h"
#include "format/FrameInfoRecord.h"
#include "format/MetadataEntry.h"
#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/IndexScan.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

using Format::kPlainHeaderSize;

constexpr uint32_t kBoxSkip = Format::FourCC("skip");

// A frame-information record holds the media header (20 bytes or more)
// after its fixed part; shorter records cannot make a packet and are not
// indexed.
constexpr uint32_t kMinIndexedRecordLength = uint32_t(Format::kRecordExtensionOffset);
constexpr size_t kNonceLength = 8;

}  // namespace

int64_t ChunkScanner::ScanNewData() {
    int64_t total = 0;
    for (;;) {
        if (instance_.indexReader.Available() < kPlainHeaderSize) return total;
        // The probe needs only the type: a chunk's first bytes are an index
        // record, not a box, and must not be read as a longer header.
        const uint64_t chunkStart = instance_.indexReader.GetPosition();
        uint8_t probe[kPlainHeaderSize];
        instance_.indexReader.GetData(probe, kPlainHeaderSize);
        instance_.indexReader.SetPosition(chunkStart);
        if (Format::LoadU32(probe + 4) == kBoxSkip) return total > 0 ? total : -1;
        try {
            total += ScanChunk();
            ++completeChunks_;
        } catch (const std::exception&) {
            // Not complete yet (or never will be): try it again next time.
            instance_.indexReader.SetPosition(chunkStart);
            return total;
        }
    }
}

uint32_t ChunkScanner::ScanChunk() {
    IndexRecord index;
    IndexRecord trailer;
    boost::shared_array<uint8_t> nonce;

    ReadIndexRecord(instance_.indexReader, index);
    while (index.flags & kFlagPassOver) {
        instance_.trailerReader.SetPosition(index.dataEnd);
        ReadIndexRecord(instance_.trailerReader, trailer);
        instance_.indexReader.SetPosition(trailer.dataEnd);
        ReadIndexRecord(instance_.indexReader, index);
    }

    if (index.flags & kFlagVideo) {
        instance_.videoSeen = true;
    } else if (index.flags & kFlagAudio) {
        instance_.audioSeen = true;
    } else if (index.flags & kFlagEncryption) {
        instance_.encrypted = 1;
        // The nonce is the 8 bytes that end the record's sample data; with
        // fewer sample bytes than that it reaches back into the record itself,
        // never before the file's start, since the "mdat" header comes first.
        nonce.reset(new uint8_t[kNonceLength]);
        instance_.indexReader.SetPosition(index.dataEnd - kNonceLength);
        instance_.indexReader.GetData(nonce.get(), kNonceLength);
        ReadIndexRecord(instance_.indexReader, trailer);
        instance_.indexReader.SetPosition(trailer.dataEnd);
        ReadIndexRecord(instance_.indexReader, index);
        // The chunk behind the encryption record tells its kind as well.
        if (index.flags & kFlagVideo)
            instance_.videoSeen = true;
        else if (index.flags & kFlagAudio)
            instance_.audioSeen = true;
    }

    ReadCodecConfiguration(index);

    instance_.trailerReader.SetPosition(index.dataEnd);
    ReadIndexRecord(instance_.trailerReader, trailer);
    if (trailer.tag != kTagNorv || trailer.count != index.count) ThrowFormatError();

    // Before the track may be created: a track the selector does not know
    // would never be asked for a packet.
    instance_.selector.Invalidate(index.tag);
    boost::shared_ptr<TrackInfo> track;
    const auto found = instance_.trackTable.find(index.tag);
    if (found != instance_.trackTable.end()) {
        track = found->second;
    } else {
        track = boost::make_shared<TrackInfo>();
        track->isVideo = index.flags & kFlagVideo;
        track->nonce = nonce;
        instance_.trackTable.emplace(index.tag, track);
    }
    IndexChunkPackets(index, trailer, *track);
    if (track->cursor == kBeforeFirst || track->cursor == kTrackEnd)
        SeekTrack(*track, instance_.seekTarget, instance_.direction);
    return trailer.count;
}

void ChunkScanner::ReadCodecConfiguration(IndexRecord& index) {
    CodecInfo info;
    info.width = index.width;
    info.height = index.height;
    info.codec = Utility::FindCodecByTag(index.tag);
    if (index.gap != 0) {
        CodecConfiguration configuration;
        const Utility::DecoderConfig decoderConfig =
            info.codec ? info.codec->decoderConfig : Utility::DecoderConfig::kGeneric;
        if (decoderConfig == Utility::DecoderConfig::kAvc)
            configuration = ReadAvcConfiguration(instance_.indexReader, index.gap);
        else if (decoderConfig == Utility::DecoderConfig::kHevc)
            configuration = ReadHevcConfiguration(instance_.indexReader, index.gap);
        else
            configuration = ReadRawConfiguration(instance_.indexReader, index.gap);

        if (index.tag == kTagMett) {
            const Format::MetadataForm form =
                Format::ClassifyMetadataEntry(configuration.bytes.get(), configuration.length);
            if (form != Format::MetadataForm::kNone) {
                index.tag = kTagMetj;
                info.codec = Utility::FindCodecByTag(kTagMetj);
            }
            if (form == Format::MetadataForm::kCompressed) {
                info.inflater = boost::make_shared<ZStream>();
                if (Format::HasDeflatedDictionary(configuration.bytes.get(), configuration.length)) {
                    const Utility::InflatedDictionary dictionary =
                        info.inflater->LoadDictionary(configuration.bytes.get() + Format::kDictionaryOffset,
                                                      configuration.length - uint32_t(Format::kDictionaryOffset));
                    configuration = {dictionary.bytes, dictionary.length};
                }
            }
        }
        info.config = configuration.bytes;
        info.configLength = configuration.length;
    }
    // The first entry of a tag stays.
    instance_.codecTable.emplace(index.tag, std::move(info));
}

void ChunkScanner::IndexChunkPackets(const IndexRecord& index, const IndexRecord& trailer, TrackInfo& track) {
    instance_.trailerReader.SetPosition(trailer.dataStart);
    uint64_t sampleOffset = index.dataStart;
    uint64_t recordOffset = trailer.dataStart;
    std::vector<boost::shared_ptr<TPacketIdxInfo>> chunkPackets;
    for (uint32_t i = 0; i < trailer.count; ++i) {
        const uint32_t sampleSize = index.sizes[i];
        const uint32_t recordLength = trailer.sizes[i];
        if (recordLength >= kMinIndexedRecordLength) {
            RequireAvailable(instance_.trailerReader, recordLength);
            auto packet = boost::make_shared<TPacketIdxInfo>();
            packet->offset = sampleOffset;
            packet->size = sampleSize;
            packet->tag = index.tag;
            packet->isVideo = index.flags & kFlagVideo;
            packet->record.reset(new uint8_t[recordLength]);
            packet->recordLength = recordLength;
            instance_.trailerReader.GetData(packet->record.get(), recordLength);
            const uint8_t* record = packet->record.get();
            packet->timestamp = uint64_t(Format::LoadU32(record + Format::kRecordSecondsOffset)) * 1000 +
                                Format::LoadU16(record + Format::kRecordMillisecondsOffset);
            packet->isKey = record[Format::kRecordFrameTypeOffset] < Format::kFirstNonKeyFrameType;
            chunkPackets.push_back(std::move(packet));
        } else {
            instance_.trailerReader.SetPosition(recordOffset + recordLength);
        }
        sampleOffset += sampleSize;
        recordOffset += recordLength;
    }
    for (const auto& packet : chunkPackets) track.AddPacket(packet);
    instance_.indexReader.SetPosition(trailer.dataEnd);
}

}  // namespace ZENT::SDK::ViewWhileRecording

// The reader instance behind a VIEWWHILEREC_ handle: what it knows of the
// recording so far, and the operations of the entry points.
#ifndef STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECIMPL_H
#define STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECIMPL_H

#include <cstdint>
#include <map>

#include <boost/filesystem/path.hpp>
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include "isom/AVReader.h"
#include "common/AesCtr.h"
#include "common/CodecTables.h"
#include "viewwhilerecording/DataReader"
#include "viewwhilerecording/IndexRecord.h"
#include "common/InflateStream.h"
#include "viewwhilerecording/PacketSelector.h"
#include "viewwhilerecording/TrackCursor.h"

namespace ZENT::SDK::ViewWhileRecording {

class ViewWhileRecImpl {
public:
    // The inflater of a compressed metadata codec; the dictionary stays with
    // the codec's CodecInfo.
    struct ZStream : Utility::RecordingInflateStream {};

    struct CodecInfo {
        uint32_t configLength = 0;
        boost::shared_array<uint8_t> config;  // may be empty
        uint16_t width = 0;
        uint16_t height = 0;
        boost::shared_ptr<ZStream> inflater;  // compressed metadata only
        const Utility::CodecEntry* codec = nullptr;  // the tag's row; nullptr for "G711", "METT" and unknown tags
    };

    // Opens the three readers and finds the media data: IOException when the
    // file cannot be opened, ViewWhileRecException when no "mdat" box is
    // reachable yet.
    explicit ViewWhileRecImpl(const boost::filesystem::path& path);
    ~ViewWhileRecImpl();
    ViewWhileRecImpl(const ViewWhileRecImpl&) = delete;
    ViewWhileRecImpl& operator=(const ViewWhileRecImpl&) = delete;

    // The entry points' work; exceptions pass through to the caller.
    int32_t OutputRawPacket(TMediaPacket** out);
    int32_t Seek(uint64_t milliseconds);
    int32_t SetPlayMode(uint32_t mode);
    int32_t GetMediaInfo(const uint8_t** videoConfig, uint32_t* videoConfigLength, uint32_t* videoCodecTag,
                         uint16_t* width, uint16_t* height, const uint8_t** audioConfig, uint32_t* audioConfigLength,
                         uint32_t* audioCodecTag);
    void SetKey(const uint8_t* key);

    // The scan of chunks written since the last look: the number of samples
    // in the chunks indexed, or -1 when it met a "skip" box before any.
    int64_t ScanNewData();
    // One chunk at indexReader's position; its sample count. Throws for a
    // chunk that is not complete or not valid.
    uint32_t ScanChunk();
    void IndexChunkPackets(const IndexRecord& index, const IndexRecord& trailer, TrackInfo& track);

    // The next packet across tracks into currentPacket: 0, -1 with no track
    // yet, or, with nothing left, the status of the track with the largest tag.
    int32_t SelectNextPacket();
    struct TrackChoice {
        int32_t status = 0;
        boost::shared_ptr<TPacketIdxInfo> packet;
        boost::shared_ptr<TrackInfo> track;  // the packet's track
        uint32_t tag = 0;                    // the track's key in trackTable
    };
    // Forward (1) the earliest pending packet, backward the latest, the
    // smaller tag at equal times; the track keeps it pending.
    TrackChoice SelectTrackPacket(int16_t readDirection);
    // A new packet holding one reference for the caller.
    TMediaPacket* BuildRawPacket(const TPacketIdxInfo& packet);

    TMediaPacket* currentPacket = nullptr;
    std::map<uint32_t, CodecInfo> codecTable;
    DataReader indexReader;
    DataReader trailerReader;
    DataReader sampleReader;
    bool videoSeen = false;
    bool audioSeen = false;
    bool keyFramesOnly = false;
    bool videoOnly = false;
    uint16_t skipSeconds = 0;
    int16_t direction = 1;
    TrackTable trackTable;
    uint64_t seekTarget = 0;
    uint32_t encrypted = 0;
    boost::shared_ptr<Utility::OpenSSLAESctr128> decryptor;

private:
    // Told of every change to a track that could change its next packet.
    PacketSelector selector;

    // Reads the configuration area after the index record (which may change
    // "METT" to "METJ") and enters it into codecTable unless the tag has one.
    void ReadCodecConfiguration(IndexRecord& index);
    int32_t SeekTrack(TrackInfo& track, uint64_t milliseconds);
    void ReplaceCurrentPacket(TMediaPacket* packet);
    // The payload of a sample that is not compressed, decrypted when it has
    // a nonce and a key is set.
    void ReadPayload(const TPacketIdxInfo& packet, const Utility::CodecEntry* codec, uint8_t* payload);
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

// The reader instance behind a VIEWWHILEREC_ handle: what it knows of the
// recording so far, and the operations of the entry points.
#ifndef STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECIMPL_H
#define STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECIMPL_H

#include <cstdint>
#include <map>

#include <boost/filesystem/path.hpp>
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include "common/AesCtr.h"
#include "isom/AVReader.h"
#include "viewwhilerecording/ChunkScanner.h"
#include "viewwhilerecording/CodecInfo.h"
#include "viewwhilerecording/DataReader"
#include "viewwhilerecording/PacketSelector.h"
#include "viewwhilerecording/RawPacketBuilder.h"
#include "viewwhilerecording/TrackCursor.h"
#include "viewwhilerecording/ViewWhileRec.h"

namespace ZENT::SDK::ViewWhileRecording {

class ViewWhileRecImpl {
public:
    using ZStream = ViewWhileRecording::ZStream;
    using CodecInfo = ViewWhileRecording::CodecInfo;

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
    VIEWWHILEREC_PROGRESS Progress();
    uint64_t SampleCount(uint32_t tag) const;

    // The scan of chunks written since the last look: the number of samples
    // in the chunks indexed, or -1 when it met a "skip" box before any.
    int64_t ScanNewData() { return scanner.ScanNewData(); }

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
    // The tag of the last packet handed out, for callers that tell tracks apart.
    uint32_t lastTag = 0;
    bool handedOut = false;

private:
    // The three parts of the work, on the fields above. The selector is told
    // of every change to a track that could change its next packet.
    PacketSelector selector{trackTable, direction, skipSeconds, keyFramesOnly, videoOnly};
    ChunkScanner scanner{{indexReader, trailerReader, codecTable, trackTable, selector, videoSeen, audioSeen, encrypted,
                          seekTarget, direction}};
    RawPacketBuilder builder{sampleReader, codecTable, decryptor};

    void ReplaceCurrentPacket(TMediaPacket* packet);
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

// The scan of the chunks a recording in progress has completed since the
// last look: each chunk's index record (after any encryption record), its
// codec configuration area and its trailer, and its samples entered into the
// track of its tag. It works on the reader instance's readers and tables.
#ifndef STAMPWALK_VIEWWHILERECORDING_CHUNKSCANNER_H
#define STAMPWALK_VIEWWHILERECORDING_CHUNKSCANNER_H

#include <cstdint>

#include "viewwhilerecording/CodecInfo.h"
#include "viewwhilerecording/DataReader"
#include "viewwhilerecording/IndexRecord.h"
#include "viewwhilerecording/PacketSelector.h"
#include "viewwhilerecording/TrackCursor.h"

namespace ZENT::SDK::ViewWhileRecording {

class ChunkScanner {
public:
    // What the scan reads (the index and trailer readers, the seek target
    // and direction that new tracks join at) and what it fills in.
    struct Instance {
        DataReader& indexReader;
        DataReader& trailerReader;
        CodecTable& codecTable;
        TrackTable& trackTable;
        PacketSelector& selector;
        bool& videoSeen;
        bool& audioSeen;
        uint32_t& encrypted;
        const uint64_t& seekTarget;
        const int16_t& direction;
    };
    explicit ChunkScanner(const Instance& instance) : instance_(instance) {}
    ChunkScanner(const ChunkScanner&) = delete;
    ChunkScanner& operator=(const ChunkScanner&) = delete;

    // The chunks complete from indexReader's position on: the number of
    // samples in the chunks indexed, or -1 when it met a "skip" box before
    // any. A chunk not complete yet is left for the next scan.
    int64_t ScanNewData();

    // Chunks indexed so far.
    uint32_t CompleteChunks() const { return completeChunks_; }

private:
    // One chunk at indexReader's position; its sample count. Throws for a
    // chunk that is not complete or not valid.
    uint32_t ScanChunk();
    // Reads the configuration area after the index record (which may change
    // "METT" to "METJ") and enters it into the codec table unless the tag
    // has one.
    void ReadCodecConfiguration(IndexRecord& index);
    void IndexChunkPackets(const IndexRecord& index, const IndexRecord& trailer, TrackInfo& track);

    Instance instance_;
    uint32_t completeChunks_ = 0;
};

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

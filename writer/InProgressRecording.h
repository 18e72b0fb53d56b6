// A recording in progress: the top-level boxes before "mdat", the "mdat"
// header, then a chain of chunks, built in memory with every offset, or
// appended to a file chunk by chunk as a camera writes it.
#ifndef STAMPWALK_WRITER_INPROGRESSRECORDING_H
#define STAMPWALK_WRITER_INPROGRESSRECORDING_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "writer/BoxBuilder.h"
#include "writer/ByteWriter.h"
#include "writer/InProgressChunk.h"

namespace writer {

struct RecordingLayout {
    Bytes bytes;
    uint64_t mdatStart = 0;         // the "mdat" header
    uint64_t mdatPayloadStart = 0;  // the first chunk
    std::vector<ChunkLayout> chunks;
    // Starts of the skip boxes and raw pieces, in the order added.
    std::vector<uint64_t> otherStarts;
    uint64_t end = 0;
};

class InProgressRecording {
public:
    // Starts with an "ftyp" box.
    InProgressRecording();

    // Top-level boxes (or any bytes) before "mdat", after those added so far.
    InProgressRecording& boxBefore(const Box& box);
    InProgressRecording& bytesBefore(const Bytes& bytes);
    // Drops every box before "mdat", the "ftyp" one included.
    InProgressRecording& noBoxesBefore();

    // The "mdat" size word is 0 unless set: a given 32-bit size, size word 1
    // with a given 64-bit size, or a size that covers everything after the
    // header (in the 64-bit form when largeSize is set).
    InProgressRecording& mdatSize(uint64_t size);
    InProgressRecording& mdatLargeSize(uint64_t size);
    InProgressRecording& mdatSizeToEnd(bool largeSize = false);

    // After the pieces so far: a chunk, a "skip" box, any bytes.
    InProgressRecording& chunk(const Chunk& chunk);
    InProgressRecording& skipBox(const Bytes& payload = {});
    InProgressRecording& bytes(const Bytes& bytes);

    // The boxes before "mdat" and the "mdat" header (sized, when it covers
    // everything after it, by the pieces added so far).
    Bytes head() const;
    RecordingLayout layout() const;
    Bytes bytes() const { return layout().bytes; }

private:
    struct Piece {
        bool isChunk = false;
        Chunk chunk{0, 0};
        Bytes bytes;
    };
    Bytes mdatHeader(uint64_t payloadSize) const;
    Bytes headFor(uint64_t payloadSize) const;

    Bytes before_;
    enum class MdatSize { Zero, Given, ToEnd } mdatSizeKind_ = MdatSize::Zero;
    bool mdatLargeSize_ = false;
    uint64_t mdatSize_ = 0;
    std::vector<Piece> pieces_;
};

// The bytes [from, to) of data; throws std::out_of_range unless
// from <= to <= data.size().
Bytes BytesBetween(const Bytes& data, uint64_t from, uint64_t to);

// Called between the writes of one chunk with the number of the chunk's
// bytes written so far.
using BetweenWrites = std::function<void(uint64_t writtenSoFar)>;

// A file that grows by appends, each one a write to the file itself (no
// buffering), so that a reader in this or another process sees every byte
// as soon as the call returns.
class InProgressFile {
public:
    // Creates the file or empties it; throws std::runtime_error on failure.
    explicit InProgressFile(std::string path);
    ~InProgressFile();
    InProgressFile(const InProgressFile&) = delete;
    InProgressFile& operator=(const InProgressFile&) = delete;

    const std::string& path() const { return path_; }
    // Bytes written so far.
    uint64_t size() const { return size_; }

    void append(const Bytes& bytes);
    // The boxes before "mdat" and the "mdat" header of a recording.
    void appendHead(const InProgressRecording& recording);
    // A chunk in several writes: each cut, an offset from the chunk's first
    // byte, ends one write (cuts ascending, inside the chunk); `between` runs
    // after every write but the last. Returns the chunk's layout in the file.
    ChunkLayout appendChunk(const Chunk& chunk, const std::vector<uint64_t>& cuts = {},
                            const BetweenWrites& between = {});
    void appendSkipBox(const Bytes& payload = {});

private:
    std::string path_;
    int descriptor_ = -1;
    uint64_t size_ = 0;
};

}  // namespace writer

#endif

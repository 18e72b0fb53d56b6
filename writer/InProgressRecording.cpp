#include "writer/InProgressRecording.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "writer/IsoBoxes.h"

namespace writer {

InProgressRecording::InProgressRecording() { before_ = Ftyp().bytes(); }

InProgressRecording& InProgressRecording::boxBefore(const Box& box) { return bytesBefore(box.bytes()); }

InProgressRecording& InProgressRecording::bytesBefore(const Bytes& bytes) {
    before_.insert(before_.end(), bytes.begin(), bytes.end());
    return *this;
}

InProgressRecording& InProgressRecording::noBoxesBefore() {
    before_.clear();
    return *this;
}

InProgressRecording& InProgressRecording::mdatSize(uint64_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error("a 32-bit mdat size");
    mdatSizeKind_ = MdatSize::Given;
    mdatLargeSize_ = false;
    mdatSize_ = size;
    return *this;
}

InProgressRecording& InProgressRecording::mdatLargeSize(uint64_t size) {
    mdatSizeKind_ = MdatSize::Given;
    mdatLargeSize_ = true;
    mdatSize_ = size;
    return *this;
}

InProgressRecording& InProgressRecording::mdatSizeToEnd(bool largeSize) {
    mdatSizeKind_ = MdatSize::ToEnd;
    mdatLargeSize_ = largeSize;
    return *this;
}

InProgressRecording& InProgressRecording::chunk(const Chunk& chunk) {
    Piece piece;
    piece.isChunk = true;
    piece.chunk = chunk;
    pieces_.push_back(std::move(piece));
    return *this;
}

InProgressRecording& InProgressRecording::skipBox(const Bytes& payload) { return bytes(Skip(payload).bytes()); }

InProgressRecording& InProgressRecording::bytes(const Bytes& bytes) {
    Piece piece;
    piece.bytes = bytes;
    pieces_.push_back(std::move(piece));
    return *this;
}

Bytes InProgressRecording::mdatHeader(uint64_t payloadSize) const {
    Box mdat("mdat");
    mdat.largeSize(mdatLargeSize_);
    switch (mdatSizeKind_) {
        case MdatSize::Zero: mdat.forceSize(0); break;
        case MdatSize::Given: mdat.forceSize(mdatSize_); break;
        case MdatSize::ToEnd: break;
    }
    return mdat.headerFor(payloadSize);
}

Bytes InProgressRecording::headFor(uint64_t payloadSize) const { return Concat({before_, mdatHeader(payloadSize)}); }

Bytes InProgressRecording::head() const {
    RecordingLayout all = layout();
    return BytesBetween(all.bytes, 0, all.mdatPayloadStart);
}

RecordingLayout InProgressRecording::layout() const {
    Bytes payload;
    std::vector<Bytes> chunkBytes;
    for (const Piece& piece : pieces_) {
        const Bytes& bytes = piece.isChunk ? chunkBytes.emplace_back(piece.chunk.bytes()) : piece.bytes;
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    }

    RecordingLayout layout;
    layout.mdatStart = before_.size();
    layout.bytes = headFor(payload.size());
    layout.mdatPayloadStart = layout.bytes.size();
    uint64_t at = layout.mdatPayloadStart;
    size_t chunkIndex = 0;
    for (const Piece& piece : pieces_) {
        if (piece.isChunk) {
            layout.chunks.push_back(piece.chunk.layout(at));
            at += chunkBytes[chunkIndex++].size();
        } else {
            layout.otherStarts.push_back(at);
            at += piece.bytes.size();
        }
    }
    layout.bytes.insert(layout.bytes.end(), payload.begin(), payload.end());
    layout.end = layout.bytes.size();
    return layout;
}

Bytes BytesBetween(const Bytes& data, uint64_t from, uint64_t to) {
    if (from > to || to > data.size()) throw std::out_of_range("slice outside the bytes");
    return Bytes(data.begin() + from, data.begin() + to);
}

InProgressFile::InProgressFile(std::string path) : path_(std::move(path)) {
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (descriptor_ < 0) throw std::runtime_error("cannot create " + path_ + ": " + std::strerror(errno));
}

InProgressFile::~InProgressFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void InProgressFile::append(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(descriptor_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
        done += size_t(written);
    }
    size_ += bytes.size();
}

void InProgressFile::appendHead(const InProgressRecording& recording) { append(recording.head()); }

ChunkLayout InProgressFile::appendChunk(const Chunk& chunk, const std::vector<uint64_t>& cuts,
                                        const BetweenWrites& between) {
    ChunkLayout layout = chunk.layout(size_);
    Bytes bytes = chunk.bytes();
    uint64_t previous = 0;
    for (uint64_t cut : cuts) {
        if (cut < previous || cut > bytes.size()) throw std::invalid_argument("chunk cuts ascend inside the chunk");
        previous = cut;
    }
    uint64_t written = 0;
    for (uint64_t cut : cuts) {
        append(BytesBetween(bytes, written, cut));
        written = cut;
        if (between) between(written);
    }
    append(BytesBetween(bytes, written, bytes.size()));
    return layout;
}

void InProgressFile::appendSkipBox(const Bytes& payload) { append(Skip(payload).bytes()); }

}  // namespace writer

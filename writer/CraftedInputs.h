// Small inputs that once cost the readers minutes or gigabytes, one builder
// each: reader tests open them, and the limit run writes them out and runs
// the tool over them under a time and a memory limit.
#ifndef STAMPWALK_WRITER_CRAFTEDINPUTS_H
#define STAMPWALK_WRITER_CRAFTEDINPUTS_H

#include <cstdint>
#include <string_view>

#include "writer/BoxBuilder.h"
#include "writer/ByteWriter.h"

namespace writer {

// ftyp, moov with trackCount sound tracks ("ulaw", 8 kHz) that each list
// every byte of the same media data as a one-byte sample, as ffmpeg writes
// G.711 (one track is an ordinary file), then the "mdat" header. The media
// data, mediaBytes bytes, are not included: append them, or extend the file.
Bytes SharedMediaDataHead(uint32_t trackCount, uint32_t mediaBytes);
// The same with mediaBytes bytes of media data.
Bytes SharedMediaData(uint32_t trackCount, uint32_t mediaBytes);

// A compressed metadata track of `references` samples whose chunk offsets
// all point at one raw-deflate sample that inflates to inflatedBytes zeros.
Bytes RepeatedCompressedSample(uint32_t references, uint32_t inflatedBytes);

// A video track ("avc1") of `references` samples of sampleSize bytes whose
// chunk offsets all point at the same bytes.
Bytes RepeatedVideoSample(uint32_t references, uint32_t sampleSize);

// The most index one open can be made to hold per byte of file: a movie
// whose one track lists every byte of the file, from its first, as a
// one-byte sample, and whose sample table also holds a "saiz" box of
// saizEntries per-sample sizes (each a byte that becomes a 64-bit offset).
Bytes WholeFileIndexed(uint32_t saizEntries);

// A recording in progress of chunkCount chunks, each one audio sample
// under a codec tag of its own, the tags in the reverse order of the times.
Bytes ChunkPerTagRecording(uint32_t chunkCount);

// The raw deflate stream (no header) of data, at the best compression.
Bytes RawDeflate(const Bytes& data);

}  // namespace writer

#endif

// The layout of a recording in progress as the scan reads it: top-level box
// headers up to "mdat", and the codec configuration areas of the chunks.
// The chunk walk itself is the ChunkScanner.
#ifndef STAMPWALK_VIEWWHILERECORDING_INDEXSCAN_H
#define STAMPWALK_VIEWWHILERECORDING_INDEXSCAN_H

#include <cstdint>

#include <boost/shared_array.hpp>

#include "format/BoxHeader.h"
#include "viewwhilerecording/DataReader"

namespace ZENT::SDK::ViewWhileRecording {

// Refuses to allocate for bytes the file does not hold yet:
// ViewWhileRecException when fewer than count bytes follow the reader's
// position.
void RequireAvailable(DataReader& reader, uint64_t count);

// Reads a box header at the reader's position and leaves the reader after
// it. ViewWhileRecException when a 64-bit size or a "uuid" user type is not
// in the file yet.
Format::BoxHeader ReadBoxHeader(DataReader& reader);

// Walks the top-level boxes from offset 0 to the "mdat" box and leaves the
// reader at the first byte of its payload. ViewWhileRecException when the
// file ends before it, or a box is smaller than its header or ends before it
// starts (which would send the walk backwards).
void LocateMediaData(DataReader& reader);

// Configuration bytes in the form the packets want; length 0 when empty.
struct CodecConfiguration {
    boost::shared_array<uint8_t> bytes;
    uint32_t length = 0;
};

// Reads an H.264 configuration area of gap bytes (a length-prefixed sequence
// parameter set, a count, length-prefixed picture parameter sets) and gives
// the units with 00 00 00 01 start codes. ViewWhileRecException when the
// converted units would exceed gap + 513 bytes, or the gap bytes, or the units
// (which may reach past them), are not all in the file yet.
CodecConfiguration ReadAvcConfiguration(DataReader& reader, uint32_t gap);

// The same for HEVC (arrays of type, count, length-prefixed units), within
// gap + 1024 bytes.
CodecConfiguration ReadHevcConfiguration(DataReader& reader, uint32_t gap);

// The gap bytes as they are.
CodecConfiguration ReadRawConfiguration(DataReader& reader, uint32_t gap);

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

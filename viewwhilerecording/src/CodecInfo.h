// What the reader keeps of each codec tag's configuration area: the first
// chunk of a tag gives it, later chunks of the tag leave it as it is.
#ifndef STAMPWALK_VIEWWHILERECORDING_CODECINFO_H
#define STAMPWALK_VIEWWHILERECORDING_CODECINFO_H

#include <cstdint>
#include <map>

#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include "common/CodecTables.h"
#include "common/InflateStream.h"

namespace ZENT::SDK::ViewWhileRecording {

// The inflater of a compressed metadata codec; the dictionary stays with
// the codec's CodecInfo.
struct ZStream : Utility::RecordingInflateStream {};

struct CodecInfo {
    uint32_t configLength = 0;
    boost::shared_array<uint8_t> config;  // may be empty
    uint16_t width = 0;
    uint16_t height = 0;
    boost::shared_ptr<ZStream> inflater;         // compressed metadata only
    const Utility::CodecEntry* codec = nullptr;  // the tag's row; nullptr for "G711", "METT" and unknown tags
};

using CodecTable = std::map<uint32_t, CodecInfo>;

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

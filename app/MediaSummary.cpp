#include "app/MediaSummary.h"

#include <boost/format.hpp>

const char* MediaTypeText(uint32_t mediaType) {
    switch (mediaType) {
        case kMediaAudio: return "audio only";
        case kMediaVideo: return "video only";
        case kMediaAudio | kMediaVideo: return "A/V";
        default: return "N/A";
    }
}

void PrintMediaSummary(AVReader& reader, std::ostream& out) {
    const uint32_t trackCount = reader.GetTrackCount();
    const uint32_t mediaType = reader.GetMediaType();
    out << boost::format("Mediatype: %s, total %u track(s)") % MediaTypeText(mediaType) % trackCount << '\n';

    // The block ends with its own line break and gets a line end besides, so
    // an empty line follows every block.
    boost::format block("Track: %u\n stream type: 0x%08x\n sample count: %u\n duration: %u sec\n");
    for (uint32_t i = 0; i < trackCount; ++i) {
        const uint32_t duration = reader.GetTrackDuration(i);
        const uint32_t sampleCount = reader.GetTrackSampleCount(i);
        const uint32_t codecType = reader.GetTrackCodecType(i);
        block.clear();
        out << (block % (i + 1) % codecType % sampleCount % duration) << '\n';
    }
}

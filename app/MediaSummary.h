// The summary printed after the frames of the media-reader run: media type,
// stream count, and per stream its codec type, sample count and duration.
#ifndef STAMPWALK_APP_MEDIASUMMARY_H
#define STAMPWALK_APP_MEDIASUMMARY_H

#include <cstdint>
#include <ostream>

#include "isom/AVReader.h"

// "audio only", "video only", "A/V", and "N/A" for every other value,
// including any with the metadata bit.
const char* MediaTypeText(uint32_t mediaType);

void PrintMediaSummary(AVReader& reader, std::ostream& out);

#endif

// Sample entries inside "stsd": picture and audio parameters, the elementary
// stream descriptor, codec configurations and protection scheme boxes.
#ifndef STAMPWALK_ISOM_SAMPLEDESCRIPTION_H
#define STAMPWALK_ISOM_SAMPLEDESCRIPTION_H

#include <cstdint>

#include "format/BoxView.h"
#include "isom/MovieRecord.h"

namespace ZENT::SDK::Pelagor2 {

// Reads one sample entry of the given type from its payload (the bytes after
// the entry's box header).
void ReadSampleEntry(uint32_t type, Format::BoxView payload, SampleDescription& description);

// The elementary stream descriptor of an "esds" payload.
void ReadEsDescriptor(Format::BoxView payload, SampleDescription& description);

}  // namespace ZENT::SDK::Pelagor2

#endif

// Where the ISO data starts: at 0 in a plain file, or inside a larger file
// whose last 16 bytes are a "ZENT" trailer giving its base offset and size.
#ifndef STAMPWALK_ISOM_EMBEDDEDFILE_H
#define STAMPWALK_ISOM_EMBEDDEDFILE_H

#include <cstdint>

#include "isom/FileDescriptor.h"

namespace ZENT::SDK::Pelagor2 {

// The offset of the ISO data in the file. Throws std::ios_base::failure
// ("bad format", "bad read", or a device failure) when the file is neither a
// plain ISO file nor carries a valid trailer.
uint64_t LocateIsoData(const FilePath& path);

// A device opened at that offset.
FileDescriptor OpenWithEmbeddedCheck(const FilePath& path);

}  // namespace ZENT::SDK::Pelagor2

#endif

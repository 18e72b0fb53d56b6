// Top-level box headers as the ISO media reader reads them from the file,
// runs of zero size words passed over.
#ifndef STAMPWALK_ISOM_TOPLEVELBOX_H
#define STAMPWALK_ISOM_TOPLEVELBOX_H

#include <cstdint>

#include "format/BoxHeader.h"
#include "isom/ParserInput.h"

namespace ZENT::SDK::Pelagor2 {

// Where the next box starts after a zero size word at zeroWordAt of the
// file, zero words being passed over one byte at a time; streamSize() when
// only zeros follow. The input's position is left anywhere.
uint64_t BoxStartAfterZeroWord(ParserInput& input, uint64_t zeroWordAt);

// Reads a top-level box header from the file and leaves the input after it.
// A size below its header length or an end past 2^64 is "box size < 8".
Format::BoxHeader ReadTopLevelHeader(ParserInput& input);

}  // namespace ZENT::SDK::Pelagor2

#endif

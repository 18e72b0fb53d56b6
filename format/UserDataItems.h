// The packet's user-data block: a 4-byte length word, then tagged items, each
// a tag byte, a definite BER length (one byte below 0x80, or 0x81 to 0x84
// followed by that many big-endian length bytes) and the value.
#ifndef STAMPWALK_FORMAT_USERDATAITEMS_H
#define STAMPWALK_FORMAT_USERDATAITEMS_H

#include <cstdint>

namespace ZENT::SDK::Format {

constexpr uint64_t kUserDataItemsOffset = 4;

enum class ItemSearch {
    kFound,
    kAbsent,     // the items ended, or one ran past the block's end, first
    kMalformed,  // an item passed over had the length form 0x80 or above 0x84
};

struct UserDataItem {
    ItemSearch result = ItemSearch::kAbsent;
    uint64_t tagOffset = 0;  // of the item found; its length and value may lie past the block's end
};

// The first item with the tag, walking from kUserDataItemsOffset. Only the
// items before it are read whole.
UserDataItem FindUserDataItem(const uint8_t* block, uint64_t blockSize, uint8_t tag);

}  // namespace ZENT::SDK::Format

#endif

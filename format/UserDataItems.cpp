#include "format/UserDataItems.h"

namespace ZENT::SDK::Format {

namespace {

constexpr uint8_t kLongForm = 0x80;
constexpr unsigned kMaxLengthBytes = 4;

}  // namespace

UserDataItem FindUserDataItem(const uint8_t* block, uint64_t blockSize, uint8_t tag) {
    // Offsets in 64 bits: a four-byte length added to an offset cannot wrap,
    // and a value past the block's end ends the walk.
    uint64_t offset = kUserDataItemsOffset;
    while (offset < blockSize) {
        const uint64_t tagOffset = offset++;
        if (block[tagOffset] == tag) return {ItemSearch::kFound, tagOffset};
        if (offset >= blockSize) break;
        const uint8_t first = block[offset++];
        uint64_t length = first;
        if (first >= kLongForm) {
            const unsigned byteCount = first - kLongForm;
            if (byteCount == 0 || byteCount > kMaxLengthBytes) return {ItemSearch::kMalformed, 0};
            if (blockSize - offset < byteCount) break;
            length = 0;
            for (unsigned k = 0; k < byteCount; ++k) length = (length << 8) | block[offset++];
        }
        offset += length;
    }
    return {};
}

}  // namespace ZENT::SDK::Format

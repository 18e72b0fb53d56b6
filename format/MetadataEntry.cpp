#include "format/MetadataEntry.h"

#include <cstring>

#include "format/ByteOrder.h"
#include "format/FourCC.h"

namespace ZENT::SDK::Format {

namespace {

// The text and the zero byte that ends it, at offset.
bool HasStringAt(const uint8_t* bytes, uint64_t length, uint64_t offset, std::string_view text) {
    return offset + text.size() < length && std::memcmp(bytes + offset, text.data(), text.size()) == 0 &&
           bytes[offset + text.size()] == 0;
}

}  // namespace

MetadataForm ClassifyMetadataEntry(const uint8_t* bytes, uint64_t length) {
    if (HasStringAt(bytes, length, 0, "") && HasStringAt(bytes, length, 1, kMetadataMimeType))
        return MetadataForm::kPlain;
    if (HasStringAt(bytes, length, 0, kDeflateEncoding) &&
        HasStringAt(bytes, length, kDeflateEncoding.size() + 1, kMetadataMimeType))
        return MetadataForm::kCompressed;
    return MetadataForm::kNone;
}

bool HasDeflatedDictionary(const uint8_t* bytes, uint64_t length) {
    return length > kDictionaryOffset && LoadU32(bytes + kDictionaryBoxOffset + 4) == FourCC("txtC") &&
           LoadU32(bytes + kDictionaryBoxOffset + 8) == 0;
}

}  // namespace ZENT::SDK::Format

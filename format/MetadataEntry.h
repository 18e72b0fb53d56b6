// The timed metadata sample entry ("mett", and a "METT" chunk's configuration
// area): a content encoding and a MIME type, each ending in a zero byte; the
// compressed form goes on with a "txtC" box that holds its dictionary.
#ifndef STAMPWALK_FORMAT_METADATAENTRY_H
#define STAMPWALK_FORMAT_METADATAENTRY_H

#include <cstdint>
#include <string_view>

namespace ZENT::SDK::Format {

constexpr std::string_view kMetadataMimeType = "text/vnd.norvate.metj";
constexpr std::string_view kDeflateEncoding = "application/vnd.norvate.deflate";

enum class MetadataForm {
    kNone,        // neither form below: no metadata the readers hand out
    kPlain,       // empty content encoding, the metadata MIME type
    kCompressed,  // the deflate content encoding, the metadata MIME type
};

MetadataForm ClassifyMetadataEntry(const uint8_t* bytes, uint64_t length);

// In the compressed form the "txtC" box follows the two strings: its size
// word (not consulted), its type, version and flags, then the deflated
// dictionary from kDictionaryOffset to the end.
constexpr uint64_t kDictionaryBoxOffset = kDeflateEncoding.size() + 1 + kMetadataMimeType.size() + 1;
constexpr uint64_t kDictionaryOffset = kDictionaryBoxOffset + 12;

// Whether a compressed entry carries a dictionary: more bytes than
// kDictionaryOffset, the type "txtC", version and flags zero.
bool HasDeflatedDictionary(const uint8_t* bytes, uint64_t length);

}  // namespace ZENT::SDK::Format

#endif

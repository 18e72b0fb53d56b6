// The frame-information record: 8 bytes not used, the big-endian lengths of
// the media header (H) and of the user data (X), the H bytes of the camera's
// media header, then the X bytes of user data.
#ifndef STAMPWALK_FORMAT_FRAMEINFORECORD_H
#define STAMPWALK_FORMAT_FRAMEINFORECORD_H

#include <cstddef>

namespace ZENT::SDK::Format {

constexpr size_t kRecordHeaderLengthOffset = 8;
constexpr size_t kRecordUserDataLengthOffset = 12;
constexpr size_t kRecordMediaHeaderOffset = 16;

// The media header, from its own start: the frame's length less 4 (header
// and payload), the codec's four-character code, the frame type byte (frame
// type in the high nibble), the flag word, the time in seconds and
// milliseconds, and the number E of 4-byte words of codec extension that
// follow the fixed part. Words are big-endian.
constexpr size_t kMediaLengthWordOffset = 0;
constexpr size_t kMediaCodecCodeOffset = 4;
constexpr size_t kMediaFrameTypeOffset = 8;
constexpr size_t kMediaFlagsOffset = 9;
constexpr size_t kMediaSecondsOffset = 13;
constexpr size_t kMediaMillisecondsOffset = 17;
constexpr size_t kMediaExtensionCountOffset = 19;
constexpr size_t kMediaHeaderFixedSize = 20;

// The same fields from the start of the record.
constexpr size_t kRecordLengthWordOffset = kRecordMediaHeaderOffset + kMediaLengthWordOffset;
constexpr size_t kRecordCodecCodeOffset = kRecordMediaHeaderOffset + kMediaCodecCodeOffset;
constexpr size_t kRecordFrameTypeOffset = kRecordMediaHeaderOffset + kMediaFrameTypeOffset;
constexpr size_t kRecordFlagsOffset = kRecordMediaHeaderOffset + kMediaFlagsOffset;
constexpr size_t kRecordSecondsOffset = kRecordMediaHeaderOffset + kMediaSecondsOffset;
constexpr size_t kRecordMillisecondsOffset = kRecordMediaHeaderOffset + kMediaMillisecondsOffset;
constexpr size_t kRecordExtensionCountOffset = kRecordMediaHeaderOffset + kMediaExtensionCountOffset;
constexpr size_t kRecordExtensionOffset = kRecordMediaHeaderOffset + kMediaHeaderFixedSize;

// Frame type bytes from this value up are not key frames.
constexpr unsigned kFirstNonKeyFrameType = 0x10;

}  // namespace ZENT::SDK::Format

#endif

// The camera's per-frame units: media header, user-data items and the
// frame-information record that a companion track stores per sample.
#ifndef STAMPWALK_WRITER_FRAMEINFORECORDWRITER_H
#define STAMPWALK_WRITER_FRAMEINFORECORDWRITER_H

#include <cstdint>
#include <optional>
#include <string>

#include "writer/ByteWriter.h"

namespace writer {

// ---- user data -----------------------------------------------------------

inline constexpr uint8_t kStreamTimeTag = 0x60;
inline constexpr uint8_t kRecordTimeTag = 0x61;
inline constexpr uint8_t kIntegrityTag = 110;

// Definite BER lengths: Short is one byte (below 0x80); Long1 to Long4 are
// 0x81 to 0x84 followed by 1 to 4 big-endian bytes. Shortest picks the
// smallest form that holds the length.
enum class LengthForm { Shortest, Short, Long1, Long2, Long3, Long4 };
// Throws std::invalid_argument when the length does not fit the form.
Bytes BerLength(uint32_t length, LengthForm form = LengthForm::Shortest);

// The 12 value bytes of a time item: seconds u32, milliseconds u32, two
// 16-bit words.
Bytes TimeValue(uint32_t seconds, uint32_t milliseconds, uint16_t word1 = 0, uint16_t word2 = 0);

// Items of a user-data block, tag + length + value, in the order added.
class UserData {
public:
    UserData& item(uint8_t tag, const Bytes& value, LengthForm form = LengthForm::Shortest);
    // Bytes as they are, for malformed items.
    UserData& raw(const Bytes& bytes);
    UserData& recordTime(uint32_t seconds, uint32_t milliseconds, uint16_t word1 = 0, uint16_t word2 = 0);
    UserData& streamTime(uint32_t seconds, uint32_t milliseconds, uint16_t word1 = 0, uint16_t word2 = 0);
    // Tag 110, length 4, the value least significant byte first.
    UserData& integrity(uint32_t checkValue);

    // The items only (what a record stores after X).
    const Bytes& bytes() const { return items_; }
    // The block a packet carries: big-endian length word, then the items.
    Bytes block() const;

private:
    Bytes items_;
};

// ---- media header --------------------------------------------------------

// The 32-bit flag word of a media header, by meaning.
struct FlagWord {
    bool taggedItems = false;         // bit 3: tagged items follow the video fields
    uint8_t zoneIndex = 48;           // bits 4 to 10; the offset is (index - 48) x 900 s
    bool daylightSaving = false;      // bit 11
    uint8_t digitalInputs = 0;        // bits 13 to 16
    bool digitalInputsValid = false;  // bit 17
    uint8_t events = 0;               // event bits 0 to 3 (at bits 22, 23, 18, 19)
    bool flag20 = false;              // bit 20
    bool utc = true;                  // bit 21: the timestamp is already UTC
    uint32_t value() const;
};

// The flag bytes 00 20 13 04 of headers the reader builds itself.
inline constexpr uint32_t kSynthesisFlagWord = 0x00201304;

struct MediaHeader {
    uint32_t lengthWord = 0;  // rewritten by the packet assembly
    std::string codec = "h264";
    uint8_t frameType = 0;      // 0 I, 1 P, 2 B: the high nibble
    uint8_t digitalInputs = 0;  // the low nibble
    uint32_t flags = kSynthesisFlagWord;
    uint32_t seconds = 0;
    uint16_t milliseconds = 0;
    // Padded with zero bytes to a multiple of 4.
    Bytes extension;
    // E as written; by default the padded extension's size / 4.
    std::optional<uint8_t> extensionWords;
};
// 20 bytes plus the padded extension.
Bytes MediaHeaderBytes(const MediaHeader& header);

// An item of a video header's tagged area: tag below 0x80, length in one
// byte below 0x80 or as 0x80 | n followed by n bytes.
Bytes HeaderItem(uint8_t tag, const Bytes& value);

// ---- frame-information record --------------------------------------------

// 8 unused bytes, H, X, the media header (H bytes), the user data (X bytes).
class FrameInfoRecord {
public:
    FrameInfoRecord() = default;
    FrameInfoRecord(const MediaHeader& header, const UserData& userData = {});

    FrameInfoRecord& header(const MediaHeader& header);
    FrameInfoRecord& headerBytes(const Bytes& header);
    FrameInfoRecord& userData(const UserData& userData);
    FrameInfoRecord& userDataBytes(const Bytes& userData);
    FrameInfoRecord& unused(const Bytes& eightBytes);
    // H or X as written, whatever the bytes that follow (malformed records).
    FrameInfoRecord& forceHeaderLength(uint32_t headerLength);
    FrameInfoRecord& forceUserDataLength(uint32_t userDataLength);

    Bytes bytes() const;

private:
    Bytes unused_ = Bytes(8, 0);
    Bytes header_ = MediaHeaderBytes(MediaHeader{});
    Bytes userData_;
    std::optional<uint32_t> headerLength_;
    std::optional<uint32_t> userDataLength_;
};

}  // namespace writer

#endif

#include "writer/FrameInfoRecordWriter.h"

#include <stdexcept>

namespace writer {

Bytes BerLength(uint32_t length, LengthForm form) {
    if (form == LengthForm::Shortest) {
        if (length < 0x80)
            form = LengthForm::Short;
        else if (length <= 0xFF)
            form = LengthForm::Long1;
        else if (length <= 0xFFFF)
            form = LengthForm::Long2;
        else if (length <= 0xFFFFFF)
            form = LengthForm::Long3;
        else
            form = LengthForm::Long4;
    }
    if (form == LengthForm::Short) {
        if (length >= 0x80) throw std::invalid_argument("a short BER length is below 0x80");
        return {uint8_t(length)};
    }
    int count = int(form) - int(LengthForm::Long1) + 1;
    if (count < 4 && (length >> (8 * count)) != 0) throw std::invalid_argument("BER length does not fit its bytes");
    Bytes out{uint8_t(0x80 | count)};
    for (int i = count; i-- > 0;) out.push_back(uint8_t(length >> (8 * i)));
    return out;
}

Bytes TimeValue(uint32_t seconds, uint32_t milliseconds, uint16_t word1, uint16_t word2) {
    return ByteWriter().u32(seconds).u32(milliseconds).u16(word1).u16(word2).take();
}

UserData& UserData::item(uint8_t tag, const Bytes& value, LengthForm form) {
    Bytes length = BerLength(uint32_t(value.size()), form);
    items_.push_back(tag);
    items_.insert(items_.end(), length.begin(), length.end());
    items_.insert(items_.end(), value.begin(), value.end());
    return *this;
}

UserData& UserData::raw(const Bytes& bytes) {
    items_.insert(items_.end(), bytes.begin(), bytes.end());
    return *this;
}

UserData& UserData::recordTime(uint32_t seconds, uint32_t milliseconds, uint16_t word1, uint16_t word2) {
    return item(kRecordTimeTag, TimeValue(seconds, milliseconds, word1, word2));
}

UserData& UserData::streamTime(uint32_t seconds, uint32_t milliseconds, uint16_t word1, uint16_t word2) {
    return item(kStreamTimeTag, TimeValue(seconds, milliseconds, word1, word2));
}

UserData& UserData::integrity(uint32_t checkValue) {
    return item(kIntegrityTag, ByteWriter().u32le(checkValue).take());
}

Bytes UserData::block() const { return ByteWriter().u32(uint32_t(items_.size())).bytes(items_).take(); }

uint32_t FlagWord::value() const {
    uint32_t word = 0;
    if (taggedItems) word |= 1u << 3;
    word |= uint32_t(zoneIndex & 0x7F) << 4;
    if (daylightSaving) word |= 1u << 11;
    word |= uint32_t(digitalInputs & 0x0F) << 13;
    if (digitalInputsValid) word |= 1u << 17;
    word |= uint32_t(events & 0x03) << 22;
    word |= uint32_t(events & 0x0C) << 16;
    if (flag20) word |= 1u << 20;
    if (utc) word |= 1u << 21;
    return word;
}

Bytes MediaHeaderBytes(const MediaHeader& h) {
    Bytes extension = h.extension;
    while (extension.size() % 4 != 0) extension.push_back(0);
    if (!h.extensionWords && extension.size() / 4 > 255)
        throw std::invalid_argument("extension longer than 1020 bytes");
    uint8_t words = h.extensionWords ? *h.extensionWords : uint8_t(extension.size() / 4);
    ByteWriter out;
    out.u32(h.lengthWord).fourcc(h.codec);
    out.u8(uint8_t((h.frameType << 4) | (h.digitalInputs & 0x0F)));
    out.u32(h.flags).u32(h.seconds).u16(h.milliseconds).u8(words);
    out.bytes(extension);
    return out.take();
}

Bytes HeaderItem(uint8_t tag, const Bytes& value) {
    if (tag >= 0x80) throw std::invalid_argument("header item tags here are below 0x80");
    ByteWriter out;
    out.u8(tag);
    if (value.size() < 0x80) {
        out.u8(uint8_t(value.size()));
    } else {
        unsigned count = value.size() <= 0xFF ? 1 : value.size() <= 0xFFFF ? 2 : value.size() <= 0xFFFFFF ? 3 : 4;
        out.u8(uint8_t(0x80 | count));
        for (unsigned i = count; i-- > 0;) out.u8(uint8_t(value.size() >> (8 * i)));
    }
    out.bytes(value);
    return out.take();
}

FrameInfoRecord::FrameInfoRecord(const MediaHeader& header, const UserData& userData)
    : header_(MediaHeaderBytes(header)), userData_(userData.bytes()) {}

FrameInfoRecord& FrameInfoRecord::header(const MediaHeader& header) { return headerBytes(MediaHeaderBytes(header)); }

FrameInfoRecord& FrameInfoRecord::headerBytes(const Bytes& header) {
    header_ = header;
    return *this;
}

FrameInfoRecord& FrameInfoRecord::userData(const UserData& userData) { return userDataBytes(userData.bytes()); }

FrameInfoRecord& FrameInfoRecord::userDataBytes(const Bytes& userData) {
    userData_ = userData;
    return *this;
}

FrameInfoRecord& FrameInfoRecord::unused(const Bytes& eightBytes) {
    if (eightBytes.size() != 8) throw std::invalid_argument("the unused field has 8 bytes");
    unused_ = eightBytes;
    return *this;
}

FrameInfoRecord& FrameInfoRecord::forceHeaderLength(uint32_t headerLength) {
    headerLength_ = headerLength;
    return *this;
}

FrameInfoRecord& FrameInfoRecord::forceUserDataLength(uint32_t userDataLength) {
    userDataLength_ = userDataLength;
    return *this;
}

Bytes FrameInfoRecord::bytes() const {
    ByteWriter out;
    out.bytes(unused_);
    out.u32(headerLength_ ? *headerLength_ : uint32_t(header_.size()));
    out.u32(userDataLength_ ? *userDataLength_ : uint32_t(userData_.size()));
    out.bytes(header_).bytes(userData_);
    return out.take();
}

}  // namespace writer

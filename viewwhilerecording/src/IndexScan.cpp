#include "viewwhilerecording/IndexScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "format/FourCC.h"
#include "format/ParameterSets.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

using Format::BoxHeader;
using Format::FourCC;
using Format::kPlainHeaderSize;

constexpr uint32_t kBoxMdat = FourCC("mdat");

// Room the converted parameter sets get beyond the area's own size.
constexpr uint64_t kAvcConfigurationSlack = 513;
constexpr uint64_t kHevcConfigurationSlack = 1024;

// Converts the configuration area of gap bytes at the reader's position,
// which the file must hold. The units may reach past the gap, as far as the
// limit lets them: only then are the bytes after it read, as many as the file
// holds and the conversion may need.
template <class Convert>
CodecConfiguration ReadStartCodeConfiguration(DataReader& reader, uint32_t gap, uint64_t slack, Convert convert) {
    const uint64_t available = reader.Available();
    if (available < gap) ThrowFormatError();
    const uint64_t limit = uint64_t(gap) + slack;
    std::vector<uint8_t> area(gap);
    reader.GetData(area.data(), gap);
    Format::ConvertedParameterSets converted = convert(area, limit);
    const uint64_t reach = std::min(available, limit + Format::kBytesBeyondLimit);
    if (converted.end == Format::ParameterSetEnd::Truncated && reach > gap) {
        area.resize(size_t(reach));
        reader.GetData(area.data() + gap, uint32_t(reach - gap));
        converted = convert(area, limit);
    }
    if (converted.end != Format::ParameterSetEnd::Complete) ThrowFormatError();
    CodecConfiguration configuration{boost::shared_array<uint8_t>(new uint8_t[converted.bytes.size()]),
                                     uint32_t(converted.bytes.size())};
    std::copy(converted.bytes.begin(), converted.bytes.end(), configuration.bytes.get());
    return configuration;
}

}  // namespace

void RequireAvailable(DataReader& reader, uint64_t count) {
    if (reader.Available() < count) ThrowFormatError();
}

BoxHeader ReadBoxHeader(DataReader& reader) {
    const uint64_t start = reader.GetPosition();
    uint8_t bytes[kPlainHeaderSize + Format::kLargeSizeLength];
    reader.GetData(bytes, kPlainHeaderSize);
    const uint32_t sizeFields = Format::SizeFieldsLength(bytes);
    if (sizeFields > kPlainHeaderSize) {
        RequireAvailable(reader, Format::kLargeSizeLength);
        reader.GetData(bytes + kPlainHeaderSize, Format::kLargeSizeLength);
    }
    const BoxHeader header = Format::DecodeBoxHeader(bytes, start);
    if (header.headerSize > sizeFields) {
        uint8_t userType[Format::kUserTypeLength];
        RequireAvailable(reader, Format::kUserTypeLength);
        reader.GetData(userType, Format::kUserTypeLength);
    }
    return header;
}

void LocateMediaData(DataReader& reader) {
    uint64_t candidate = 0;
    for (;;) {
        reader.SetPosition(candidate);
        if (reader.Available() < kPlainHeaderSize) ThrowFormatError();
        const BoxHeader header = ReadBoxHeader(reader);
        if (header.type == kBoxMdat) return;
        // Every step must move forward: a size below the header, or a 64-bit
        // size that wraps, would send the walk back to where it was.
        if (!Format::HasValidSize(header)) ThrowFormatError();
        candidate = header.end;
    }
}

CodecConfiguration ReadAvcConfiguration(DataReader& reader, uint32_t gap) {
    return ReadStartCodeConfiguration(
        reader, gap, kAvcConfigurationSlack, [](const std::vector<uint8_t>& area, uint64_t limit) {
            return Format::ConvertAvcParameterSets(area.data(), area.size(), Format::ConfigurationForm::Bare, limit);
        });
}

CodecConfiguration ReadHevcConfiguration(DataReader& reader, uint32_t gap) {
    return ReadStartCodeConfiguration(
        reader, gap, kHevcConfigurationSlack, [](const std::vector<uint8_t>& area, uint64_t limit) {
            return Format::ConvertHevcParameterSets(area.data(), area.size(), Format::ConfigurationForm::Bare,
                                                    Format::HevcUnitChoice::All, limit);
        });
}

CodecConfiguration ReadRawConfiguration(DataReader& reader, uint32_t gap) {
    RequireAvailable(reader, gap);
    CodecConfiguration configuration{boost::shared_array<uint8_t>(new uint8_t[gap]), gap};
    reader.GetData(configuration.bytes.get(), gap);
    return configuration;
}

}  // namespace ZENT::SDK::ViewWhileRecording

#include "analysis/FrameFields.h"

#include "analysis/DecimalText.h"

namespace ZENT::SDK::Analysis {

namespace {

bool Optional(const std::optional<ContainerTime>& time, std::string& out) { return time && AppendSeconds(out, *time); }

bool Optional(const std::optional<int64_t>& milliseconds, std::string& out) {
    if (milliseconds) AppendMilliseconds(out, *milliseconds);
    return milliseconds.has_value();
}

bool Boolean(bool value, std::string& out) {
    out += value ? "true" : "false";
    return true;
}

bool Unsigned(uint64_t value, std::string& out) {
    AppendUnsigned(out, value);
    return true;
}

bool Hex32(uint32_t value, std::string& out) {
    AppendHex32(out, value);
    return true;
}

}  // namespace

const std::array<FrameField, 19> kFrameFields = {{
    {"type", FieldKind::kString, [](const FrameRecord&, std::string& out) { return (out += "frame", true); }},
    {"track", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Unsigned(f.track, out); }},
    {"index", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Unsigned(f.index, out); }},
    {"codec", FieldKind::kString, [](const FrameRecord& f, std::string& out) { return (out += f.codec, true); }},
    {"frameType", FieldKind::kString,
     [](const FrameRecord& f, std::string& out) { return (out += f.frameType, true); }},
    {"codedType", FieldKind::kString,
     [](const FrameRecord& f, std::string& out) {
         if (f.codedType != 0) out += f.codedType;
         return f.codedType != 0;
     }},
    {"key", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Boolean(f.key, out); }},
    {"decodeTime", FieldKind::kLiteral,
     [](const FrameRecord& f, std::string& out) { return Optional(f.decodeTime, out); }},
    {"presentationTime", FieldKind::kLiteral,
     [](const FrameRecord& f, std::string& out) { return Optional(f.presentationTime, out); }},
    {"duration", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Optional(f.duration, out); }},
    {"recordTime", FieldKind::kLiteral,
     [](const FrameRecord& f, std::string& out) { return Optional(f.recordTime, out); }},
    {"streamTime", FieldKind::kLiteral,
     [](const FrameRecord& f, std::string& out) { return Optional(f.streamTime, out); }},
    {"cameraTime", FieldKind::kLiteral,
     [](const FrameRecord& f, std::string& out) { return Optional(f.cameraTime, out); }},
    {"size", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Unsigned(f.size, out); }},
    {"crc32", FieldKind::kString, [](const FrameRecord& f, std::string& out) { return Hex32(f.crc32, out); }},
    {"payloadCrc32", FieldKind::kString,
     [](const FrameRecord& f, std::string& out) { return Hex32(f.payloadCrc32, out); }},
    {"diAlert", FieldKind::kLiteral, [](const FrameRecord& f, std::string& out) { return Unsigned(f.diAlert, out); }},
    {"motion", FieldKind::kMotion, nullptr},
    {"integrity", FieldKind::kString,
     [](const FrameRecord& f, std::string& out) {
         const char* name = IntegrityName(f.integrity);
         if (name != nullptr) out += name;
         return name != nullptr;
     }},
}};

const char* IntegrityName(Integrity integrity) {
    switch (integrity) {
        case Integrity::kMatch: return "match";
        case Integrity::kMismatch: return "mismatch";
        case Integrity::kNoValue: return "no-value";
        case Integrity::kNotRun: break;
    }
    return nullptr;
}

}  // namespace ZENT::SDK::Analysis

#include "analysis/JsonLines.h"

#include "analysis/DecimalText.h"
#include "analysis/FrameFields.h"
#include "analysis/Utf8.h"

namespace ZENT::SDK::Analysis {

namespace {

const char* StatusName(RunStatus status) {
    switch (status) {
        case RunStatus::kOk: return "ok";
        case RunStatus::kFindings: return "findings";
        case RunStatus::kUnreadable: return "unreadable";
        case RunStatus::kInProgress: return "in-progress";
    }
    return "unreadable";
}

}  // namespace

void AppendJsonString(std::string& line, std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    line += '"';
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        size_t length = 1;
        if (byte == '"' || byte == '\\') {
            line += '\\';
            line += text[at];
        } else if (byte >= 0x20 && byte < 0x80) {
            line += text[at];
        } else if (byte >= 0x80 && (length = Utf8SequenceLength(text, at)) != 0) {
            line.append(text, at, length);
        } else {
            length = 1;
            const char escape[] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            line.append(escape, sizeof escape);
        }
        at += length;
    }
    line += '"';
}

void JsonLinesWriter::Begin(const char* type) {
    line_.clear();
    line_ += R"({"type":")";
    line_ += type;
    line_ += '"';
}

void JsonLinesWriter::Key(const char* name) {
    line_ += ",\"";
    line_ += name;
    line_ += "\":";
}

void JsonLinesWriter::String(std::string_view text) { AppendJsonString(line_, text); }

void JsonLinesWriter::Unsigned(uint64_t value) { AppendUnsigned(line_, value); }

void JsonLinesWriter::End() {
    line_ += "}\n";
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
}

void JsonLinesWriter::WriteFrame(const FrameRecord& frame) {
    Begin("frame");
    // The table's first field is the type, which Begin wrote.
    for (size_t field = 1; field < kFrameFields.size(); ++field) {
        const FrameField& description = kFrameFields[field];
        Key(description.name);
        if (description.kind == FieldKind::kMotion) {
            line_ += '[';
            for (size_t value = 0; value < frame.motion.size(); ++value) {
                if (value > 0) line_ += ',';
                Unsigned(frame.motion[value]);
            }
            line_ += ']';
        } else if (description.kind == FieldKind::kLiteral) {
            if (!description.text(frame, line_)) line_ += "null";
        } else {
            field_.clear();
            if (description.text(frame, field_)) {
                String(field_);
            } else {
                line_ += "null";
            }
        }
    }
    End();
}

void JsonLinesWriter::WriteTrack(const TrackRecord& track) {
    Begin("track");
    Key("track");
    Unsigned(track.track);
    Key("codec");
    String(track.codec);
    Key("codecType");
    Unsigned(track.codecType);
    Key("video");
    line_ += track.video ? "true" : "false";
    Key("sampleCount");
    Unsigned(track.sampleCount);
    Key("duration");
    Unsigned(track.durationSeconds);
    End();
}

void JsonLinesWriter::WriteFinding(const Finding& finding) {
    Begin("finding");
    Key("check");
    String(finding.check);
    Key("track");
    Unsigned(finding.track);
    Key("index");
    Unsigned(finding.index);
    Key("time");
    if (!finding.timeSeconds || !AppendSeconds(line_, *finding.timeSeconds)) line_ += "null";
    Key("message");
    String(finding.message);
    End();
}

void JsonLinesWriter::WriteDifference(const Difference& difference) {
    const auto index = [this](const char* name, const std::optional<uint64_t>& value) {
        Key(name);
        if (value) {
            Unsigned(*value);
        } else {
            line_ += "null";
        }
    };
    const auto seconds = [this](const char* name, const std::optional<double>& value) {
        Key(name);
        if (!value || !AppendSeconds(line_, *value)) line_ += "null";
    };
    Begin("difference");
    Key("kind");
    String(difference.kind);
    Key("track");
    Unsigned(difference.trackA != 0 ? difference.trackA : difference.trackB);
    index("trackB", difference.trackB != 0 ? std::optional<uint64_t>(difference.trackB) : std::nullopt);
    index("indexA", difference.indexA);
    index("indexB", difference.indexB);
    seconds("timeA", difference.timeA);
    seconds("timeB", difference.timeB);
    Key("message");
    String(difference.message);
    End();
}

void JsonLinesWriter::WriteResult(const RunResult& result) {
    Begin("result");
    Key("status");
    String(StatusName(result.status));
    Key("checked");
    line_ += result.checked ? "true" : "false";
    Key("frames");
    Unsigned(result.frames);
    Key("tracks");
    Unsigned(result.tracks);
    Key("findings");
    Unsigned(result.findings);
    if (result.progress) {
        Key("chunks");
        Unsigned(result.progress->completeChunks);
        Key("samples");
        Unsigned(result.progress->samples);
        Key("reachedTime");
        if (result.progress->reachedTime) {
            AppendMilliseconds(line_, *result.progress->reachedTime);
        } else {
            line_ += "null";
        }
        Key("pendingBytes");
        Unsigned(result.progress->pendingBytes);
    }
    End();
}

void JsonLinesWriter::WriteComparisonResult(const char* status, uint64_t framesA, uint64_t framesB,
                                            uint64_t differences) {
    Begin("result");
    Key("status");
    String(status);
    Key("framesA");
    Unsigned(framesA);
    Key("framesB");
    Unsigned(framesB);
    Key("differences");
    Unsigned(differences);
    End();
}

}  // namespace ZENT::SDK::Analysis

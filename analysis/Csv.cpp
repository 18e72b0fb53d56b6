#include "analysis/Csv.h"

#include "analysis/DecimalText.h"
#include "analysis/FrameFields.h"

namespace ZENT::SDK::Analysis {

CsvWriter::CsvWriter(std::ostream& out) : out_(out) {
    for (const FrameField& description : kFrameFields) {
        if (!line_.empty()) line_ += ',';
        if (description.kind == FieldKind::kMotion) {
            for (char column = '1'; column <= '3'; ++column) {
                if (column > '1') line_ += ',';
                line_ += description.name;
                line_ += column;
            }
        } else {
            line_ += description.name;
        }
    }
    End();
}

void CsvWriter::Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        line_ += text;
        return;
    }
    line_ += '"';
    for (const char character : text) {
        if (character == '"') line_ += '"';
        line_ += character;
    }
    line_ += '"';
}

void CsvWriter::End() {
    line_ += "\r\n";
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.clear();
}

void CsvWriter::WriteFrame(const FrameRecord& frame) {
    for (size_t field = 0; field < kFrameFields.size(); ++field) {
        const FrameField& description = kFrameFields[field];
        if (field > 0) line_ += ',';
        if (description.kind == FieldKind::kMotion) {
            for (size_t value = 0; value < frame.motion.size(); ++value) {
                if (value > 0) line_ += ',';
                AppendUnsigned(line_, frame.motion[value]);
            }
        } else {
            field_.clear();
            if (description.text(frame, field_)) Field(field_);
        }
    }
    End();
}

}  // namespace ZENT::SDK::Analysis

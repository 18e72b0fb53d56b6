// The fields of a frame, in the order both machine-readable writers give them:
// the JSON object's keys and the CSV columns come from this one table.
#ifndef STAMPWALK_ANALYSIS_FRAMEFIELDS_H
#define STAMPWALK_ANALYSIS_FRAMEFIELDS_H

#include <array>
#include <string>

#include "analysis/FrameRecord.h"

namespace ZENT::SDK::Analysis {

enum class FieldKind : uint8_t {
    kLiteral,  // a number or true/false, written as is
    kString,   // text that JSON quotes
    kMotion,   // the three motion values: a JSON array, three CSV columns
};

struct FrameField {
    const char* name;
    FieldKind kind;
    // Appends the field's unquoted text; false, with nothing appended, when the
    // frame has no value for it. Not used for kMotion.
    bool (*text)(const FrameRecord& frame, std::string& out);
};

extern const std::array<FrameField, 19> kFrameFields;

// "match", "mismatch", "no-value"; nullptr when the test did not run.
const char* IntegrityName(Integrity integrity);

}  // namespace ZENT::SDK::Analysis

#endif

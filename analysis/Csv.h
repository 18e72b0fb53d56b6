// Frames as comma-separated values (RFC 4180): a header row of the JSON keys,
// one row per frame, CRLF line ends; an empty field where JSON has null.
#ifndef STAMPWALK_ANALYSIS_CSV_H
#define STAMPWALK_ANALYSIS_CSV_H

#include <ostream>
#include <string>
#include <string_view>

#include "analysis/FrameRecord.h"

namespace ZENT::SDK::Analysis {

class CsvWriter {
public:
    // Writes the header row.
    explicit CsvWriter(std::ostream& out);

    void WriteFrame(const FrameRecord& frame);

private:
    void Field(std::string_view text);
    void End();

    std::ostream& out_;
    std::string line_;   // the row being built, kept for its capacity
    std::string field_;  // a field's text before it is quoted
};

}  // namespace ZENT::SDK::Analysis

#endif

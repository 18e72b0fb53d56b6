// One located finding of a check: which rule, where, and what it saw.
#ifndef STAMPWALK_ANALYSIS_FINDING_H
#define STAMPWALK_ANALYSIS_FINDING_H

#include <cstdint>
#include <optional>
#include <string>

namespace ZENT::SDK::Analysis {

struct Finding {
    std::string check;  // the check's name ("gap", ...)
    uint32_t track = 0;
    uint64_t index = 0;
    // Seconds on the frame's own timeline, where the finding has a time. A
    // double: a finding names the moment to a reader, it does not rebuild ticks.
    std::optional<double> timeSeconds;
    std::string message;
};

}  // namespace ZENT::SDK::Analysis

#endif

// One located finding of a check: which rule, where, and what it saw.
#ifndef STAMPWALK_ANALYSIS_FINDING_H
#define STAMPWALK_ANALYSIS_FINDING_H

#include <cstdint>
#include <optional>
#include <string>

namespace ZENT::SDK::Analysis {

struct Finding {
    std::string check;
    uint32_t track = 0;
    uint64_t index = 0;
    std::optional<double> timeSeconds;
    std::string message;
};

}  // namespace ZENT::SDK::Analysis

#endif

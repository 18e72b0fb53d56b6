// The text of numbers as the machine-readable writers give them: decimal,
// never with an exponent, appended to a line being built.
#ifndef STAMPWALK_ANALYSIS_DECIMALTEXT_H
#define STAMPWALK_ANALYSIS_DECIMALTEXT_H

#include <cstdint>
#include <string>

#include "analysis/FrameRecord.h"

namespace ZENT::SDK::Analysis {

void AppendUnsigned(std::string& text, uint64_t value);

// value / timescale seconds. Exact when the timescale divides a power of ten
// (1000, 1024, 8000, ...; trailing zeros dropped); otherwise rounded to as many
// places as the timescale has digits, so that the nearest tick to the printed
// seconds is the stored one (1/30000 gives 0.00003). A timescale of 0 has no
// seconds: nothing is appended and the result is false.
bool AppendSeconds(std::string& text, ContainerTime time);

// The shortest fixed-point text that reads back as the same double; false
// (nothing appended) for infinity and NaN.
bool AppendSeconds(std::string& text, double seconds);

// Milliseconds as seconds with exactly three places: -1 gives "-0.001".
void AppendMilliseconds(std::string& text, int64_t milliseconds);

// Eight upper-case hexadecimal digits, as the text line prints a CRC.
void AppendHex32(std::string& text, uint32_t value);

}  // namespace ZENT::SDK::Analysis

#endif

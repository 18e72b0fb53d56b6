// Well-formed UTF-8 as the text writers pass it through: every other byte
// they write in their own escaped form.
#ifndef STAMPWALK_ANALYSIS_UTF8_H
#define STAMPWALK_ANALYSIS_UTF8_H

#include <cstddef>
#include <string_view>

namespace ZENT::SDK::Analysis {

// The length of the well-formed UTF-8 sequence at text[at] (a lead byte above
// 0x7F), or 0: no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceLength(std::string_view text, size_t at);

}  // namespace ZENT::SDK::Analysis

#endif

// The exception of a malformed box tree. The bounded box view throws it, and
// the ISO media reader, whose name it bears, catches it.
#ifndef STAMPWALK_FORMAT_BADFORMAT_H
#define STAMPWALK_FORMAT_BADFORMAT_H

#include <stdexcept>
#include <string>

namespace ZENT::SDK::Pelagor2::MP4Parser {

class bad_format : public std::runtime_error {
public:
    explicit bad_format(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace ZENT::SDK::Pelagor2::MP4Parser

#endif

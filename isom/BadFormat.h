// The exception of a malformed box tree.
#ifndef STAMPWALK_ISOM_BADFORMAT_H
#define STAMPWALK_ISOM_BADFORMAT_H

#include <stdexcept>
#include <string>

namespace ZENT::SDK::Pelagor2::MP4Parser {

class bad_format : public std::runtime_error {
public:
    explicit bad_format(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace ZENT::SDK::Pelagor2::MP4Parser

#endif

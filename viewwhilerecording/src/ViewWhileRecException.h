// The reader's exception for malformed or incomplete structures. It carries
// no text; the entry points turn it into a status.
#ifndef STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECEXCEPTION_H
#define STAMPWALK_VIEWWHILERECORDING_VIEWWHILERECEXCEPTION_H

#include <exception>

#include <boost/throw_exception.hpp>

namespace ZENT::SDK::ViewWhileRecording {

struct ViewWhileRecException : std::exception {};

// Through boost's facility, so that it can be cloned into an exception_ptr.
[[noreturn]] inline void ThrowFormatError() { BOOST_THROW_EXCEPTION(ViewWhileRecException()); }

}  // namespace ZENT::SDK::ViewWhileRecording

#endif

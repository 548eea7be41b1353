// The texts of errno values, for the errors that carry one (Posix::Error, the file errors).
#pragma once

#include <string>

namespace Posix {

// The system's description of an errno value with surrounding whitespace cut, or
// "unknown error 0x<code in hex>" when the system has none.
std::string ErrorDescription(int code);

// "System Error: <code>: <description>", the text of a failed system call.
std::string SystemErrorText(int code);

}  // namespace Posix

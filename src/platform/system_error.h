// The error of a failed operating-system call: the errno value captured where the call failed.
//
// what() reads "System Error: <code>: <text>", the text being the system's description of the code
// with surrounding whitespace cut, or "unknown error 0x<code in hex>" when the system has none.
#pragma once

#include <string>

#include "base/exceptions.h"
#include "base/system_error_text.h"

namespace Posix {

class Error : public DebuggableException {
public:
    explicit Error(int code) : m_code(code) {}
    Error(const Error& other) : DebuggableException(other), m_code(other.m_code) {}
    Error& operator=(const Error&) = delete;

    int Code() const { return m_code; }
    const char* what() const noexcept override;

private:
    int m_code;
    mutable std::string m_text;  // built by the first what() and kept
};

// Throws Error(errno) when errno is not 0; does nothing otherwise.
void ThrowLastError();
// When `succeeded` is false and errno is not 0, throws Error(errno); otherwise does nothing.
void CheckResult(bool succeeded);

}  // namespace Posix

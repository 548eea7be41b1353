#include "platform/system_error.h"

#include <cerrno>

namespace Posix {
namespace {

// Every process can carry a system error across threads: the capture is in the registry before
// main runs, as soon as this file is part of the program.
const bool kRegistered = (RegisterExceptionType(CaptureExceptionOfType<Error>), true);

}  // namespace

const char* Error::what() const noexcept {
    if (m_text.empty()) {
        try {
            m_text = SystemErrorText(m_code);
        } catch (...) {
            return "System Error";
        }
    }
    return m_text.c_str();
}

void ThrowLastError() {
    int code = errno;
    if (code != 0) throw Error(code);
}

void CheckResult(bool succeeded) {
    if (!succeeded) ThrowLastError();
}

}  // namespace Posix

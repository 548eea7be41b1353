#include "net/socket_errors.h"

#include <cerrno>

#include "platform/system_error.h"

SocketError::SocketError(int code)
    : ExceptionPL("Socket Error: " + std::to_string(code) + ": " + Posix::ErrorDescription(code)),
      m_code(code) {}

// Only an interrupted call counts as busy. EAGAIN and EINPROGRESS (a non-blocking call that would
// wait) are plain socket errors, as a would-block is: the callers wait for readiness before they call.
void ThrowSocketError(int code) {
    switch (code) {
        case EINTR:
            throw SocketBusyError();
        case EMFILE:
        case ENFILE:
            throw SocketFileLimit();
        case EADDRINUSE:
            throw SocketAddrInUse();
        default:
            throw SocketError(code);
    }
}

void ThrowLastSocketError() {
    ThrowSocketError(errno);
}

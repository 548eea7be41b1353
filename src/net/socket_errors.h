// The failures of socket calls, one class per kind, and the mapping from errno to them.
//
// - SocketBusyError: the call was interrupted (EINTR); trying again may succeed.
// - SocketFileLimit: the process or the system is out of descriptors (EMFILE, ENFILE).
// - SocketAddrInUse: the address or port is taken (EADDRINUSE); an expected failure that never
//   writes a crash report.
// - SocketClosedError: the peer closed the connection (a receive of 0 bytes).
// - SocketError: every other failure, with its errno value; what() reads
//   "Socket Error: <code>: <system text>".
#pragma once

#include <string>

#include "base/exceptions.h"

class SocketError : public ExceptionPL {
  public:
    explicit SocketError(int code);
    int Code() const { return m_code; }

  private:
    int m_code;
};

class SocketBusyError : public DebuggableException {};
class SocketFileLimit : public DebuggableException {};
class SocketClosedError : public DebuggableException {};
class SocketAddrInUse : public DebuggableException, public NonDumpableException {};

// Throws the exception kind of an errno value (never returns).
[[noreturn]] void ThrowSocketError(int code);
// ThrowSocketError(errno).
[[noreturn]] void ThrowLastSocketError();

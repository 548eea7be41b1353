// The roots of the relay's exception classes.
//
// Every failure is one class. A DebuggableException reports the name of its most-derived class from
// what(), "class " followed by the qualified name (for example "class NotANumeral"), so log lines
// name the failure. An ExceptionPL carries a message text instead. A class that also derives from
// NonDumpableException marks an expected failure that never writes a crash report.
//
// Inside the relay every failure travels as one of these (the file errors of file_errors.h and the
// system errors of platform/system_error.h among them). Only the platform calls that mirror a single
// system call return its errno, and result codes appear only at the edges the product defines: the
// HTTP clients' entry points, the registry functions and the replies to peers.
//
// Around them: CurrentExceptionText for catch-all handlers, the capture registry that copies the
// exception in flight so that another thread can throw it again, and the requirement check
// (KVR_REQUIRE) that logs and throws when an internal invariant does not hold.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

namespace PosixPlatform {
// Marker base for exceptions that the crash reporter may inspect; it holds no data.
class ExceptionDebuggingInfo {
  public:
    virtual ~ExceptionDebuggingInfo() = default;
};
}  // namespace PosixPlatform

class DebuggableException : public std::exception, public PosixPlatform::ExceptionDebuggingInfo {
  public:
    // "class " + the demangled name of the most-derived class. The text is interned per class and
    // lives as long as the process.
    const char* what() const noexcept override;
};

class ExceptionPL : public DebuggableException {
  public:
    explicit ExceptionPL(const char* message);
    explicit ExceptionPL(std::string message) : m_message(std::move(message)) {}

    const char* what() const noexcept override { return Message(); }
    virtual const char* Message() const noexcept { return m_message.c_str(); }

  private:
    std::string m_message;
};

class NonDumpableException {
  public:
    virtual ~NonDumpableException() = default;
};

// "class " + the demangled name of a type, as DebuggableException::what() renders it.
std::string ClassNameText(const std::type_info& type);

// Malformed input of a reader or parser that has no more specific error for it.
class FormatError : public DebuggableException {};

// Stands in for a captured exception that no registered capture function recognises.
class ExceptionCannotBeCopied : public DebuggableException {};

// The copy of a captured std::exception of a type without a capture function of its own: it keeps
// the original's what() text.
class CopiedStdException : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// An internal invariant did not hold; the message names the source place and the condition.
class RequirementFailure : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// Only inside a catch handler: the what() text of the exception being handled when it is a
// std::exception, else "No diagnostic message available".
std::string CurrentExceptionText();

// A copy of an exception, taken inside a catch handler, that can be thrown again later, on any
// thread. Owned by whoever captured it; used by one thread at a time.
class CaughtException {
  public:
    virtual ~CaughtException() = default;
    // Throws a fresh copy of the held exception.
    [[noreturn]] virtual void Rethrow() const = 0;
    virtual const char* What() const = 0;
};

template <class T>
class CaughtExceptionOfType : public CaughtException {
  public:
    explicit CaughtExceptionOfType(const T& exception) : m_exception(exception) {}
    [[noreturn]] void Rethrow() const override { throw m_exception; }
    const char* What() const override { return m_exception.what(); }

  private:
    T m_exception;
};

// A std::exception of any other type is held, and thrown again, as a CopiedStdException.
template <>
class CaughtExceptionOfType<std::exception> : public CaughtException {
  public:
    explicit CaughtExceptionOfType(const std::exception& exception) : m_exception(exception.what()) {}
    [[noreturn]] void Rethrow() const override { throw m_exception; }
    const char* What() const override { return m_exception.what(); }

  private:
    CopiedStdException m_exception;
};

// A capture function rethrows the exception in flight and, when it is a T, returns a new holder of
// it; any other exception escapes from it.
using ExceptionCaptureFunction = std::unique_ptr<CaughtException> (*)();

template <class T>
std::unique_ptr<CaughtException> CaptureExceptionOfType() {
    try {
        throw;
    } catch (const T& exception) {
        return std::make_unique<CaughtExceptionOfType<T>>(exception);
    }
}

// The capture function for std::exception, the oldest entry of the registry.
std::unique_ptr<CaughtException> CatchCurrentException();

// Adds a capture function to the process-wide registry unless it is already there. The registry
// starts with the std::exception capture, and the system error (platform/system_error.h) adds its
// own before main runs; a module that carries another exception
// type across threads registers CaptureExceptionOfType<ThatType>. Thread-safe; must not be called
// from a capture function.
void RegisterExceptionType(ExceptionCaptureFunction capture);

// Only inside a catch handler: a copy of the exception being handled, taken by the most recently
// registered capture function that recognises it, or an ExceptionCannotBeCopied holder when none
// does. Thread-safe.
std::unique_ptr<CaughtException> CaptureCurrentException();

// Writes "REQUIREMENT FAILURE: <text> (<file name>:<line>)" to the "critical" log when it is enabled;
// <file name> is the part of `file` after its last "/" or "\".
void LogRequirementFailure(const char* file, int line, const char* text);
// Logs as above, then throws RequirementFailure("Requirement failure at <file name>:<line> ( <text> )").
[[noreturn]] void RaiseRequirementFailure(const char* file, int line, const char* text);

// Raises a RequirementFailure naming this source place and the condition when it is false.
#define KVR_REQUIRE(condition) \
    ((condition) ? static_cast<void>(0) : RaiseRequirementFailure(__FILE__, __LINE__, #condition))

// The roots of the relay's exception classes.
//
// Every failure is one class. A DebuggableException reports the name of its most-derived class from
// what(), "class " followed by the qualified name (for example "class NotANumeral"), so log lines
// name the failure. An ExceptionPL carries a message text instead. A class that also derives from
// NonDumpableException marks an expected failure that never writes a crash report.
#pragma once

#include <exception>
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

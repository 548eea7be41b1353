// OpenSSLError: the root of every exception that reports a refused OpenSSL call.
//
// OpenSSL keeps the reasons for a failure in a per-thread error queue. The exception drains that
// queue when it is built, so it carries the reasons of its own failure to whatever thread handles
// it, and a copy taken on one thread and thrown on another keeps them. Its text is composed at the
// first what(): the library's text of each code, joined by "; ", then " (", the run-time class name
// ("class <Name>"), ")"; with no code it is the class name alone.
//
// A wrapper clears the queue (ClearOpenSSLErrors) before the call it wraps, so that a reason left
// over from an earlier failure is never reported as this one. Each failure is one class derived
// from OpenSSLError that adds nothing (OPENSSL_FAILURE declares one).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/exceptions.h"

class OpenSSLError : public DebuggableException {
  public:
    // Takes every code out of the calling thread's error queue.
    OpenSSLError();
    OpenSSLError(const OpenSSLError& other);
    OpenSSLError& operator=(const OpenSSLError& other);
    ~OpenSSLError() override;

    const char* what() const noexcept override;
    // The queued codes, earliest first.
    const std::vector<unsigned long>& Codes() const { return m_codes; }

  private:
    std::vector<unsigned long> m_codes;
    // Composed at the first what(); what() of one object is called by one thread at a time.
    mutable std::unique_ptr<std::string> m_text;
};

// Empties the calling thread's error queue.
void ClearOpenSSLErrors();

// The shape of every creating wrapper: clears the error queue, makes the object into its holder,
// and throws Failure when the library returned null.
template <class Failure, class Holder, class Make>
Holder MakeChecked(Make make) {
    ClearOpenSSLErrors();
    Holder object(make());
    if (!object) throw Failure();
    return object;
}

// Declares a failure class of the crypto wrappers.
#define OPENSSL_FAILURE(Name) \
    class Name : public OpenSSLError {}

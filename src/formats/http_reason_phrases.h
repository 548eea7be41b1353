// The reason phrases the HTTP server writes after a status code, and the error of an HTTP client that
// got a status it did not expect.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/exceptions.h"

// The phrase of a status code ("Object Moved" for 302), or an empty range for a code the server never
// sends. The phrase is static text.
ConstData HTTPReasonPhrase(int code);

// what() reads "Unexpected HTTP response: <code> <reason>" with the whole reason; Reason() keeps at
// most its first 128 bytes.
class UnexpectedHTTPResponse : public ExceptionPL {
  public:
    static constexpr std::size_t kReasonCapacity = 128;

    UnexpectedHTTPResponse(std::int32_t code, ConstData reason);

    std::int32_t Code() const { return m_code; }
    // NUL-terminated.
    const char* Reason() const { return m_reason; }

  private:
    std::int32_t m_code;
    char m_reason[kReasonCapacity + 1];
};

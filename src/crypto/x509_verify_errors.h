// The exceptions by which certificate verification reports OpenSSL's verify error code.
//
// Catch X509VerifyGenericError to take any verification failure (its Code() says which), or one
// X509VerifyError<code> to take one condition, such as X509VerifyError<X509_V_ERR_CERT_HAS_EXPIRED>.
// Classes exist for the codes 2 to 32 and 50; other codes are thrown as X509VerifyGenericError.
#pragma once

#include <cstdint>

#include "base/exceptions.h"

class X509VerifyGenericError : public DebuggableException {
  public:
    explicit X509VerifyGenericError(std::int32_t code) : m_code(code) {}
    std::int32_t Code() const { return m_code; }

  private:
    std::int32_t m_code;
};

template <std::int32_t kCode>
class X509VerifyError : public X509VerifyGenericError {
  public:
    static_assert((kCode >= 2 && kCode <= 32) || kCode == 50, "no class for this verify error code");
    X509VerifyError() : X509VerifyGenericError(kCode) {}
};

[[noreturn]] void ThrowX509VerifyError(std::int32_t code);

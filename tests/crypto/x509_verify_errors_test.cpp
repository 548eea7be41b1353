#include "crypto/x509_verify_errors.h"

#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include <typeinfo>

namespace {

// The class thrown for a code, and its code.
std::pair<std::string, std::int32_t> Thrown(std::int32_t code) {
    try {
        ThrowX509VerifyError(code);
    } catch (const X509VerifyGenericError& error) {
        return {error.what(), error.Code()};
    }
    return {};
}

TEST(X509VerifyErrors, EachClassedCodeIsThrownAsItsOwnClass) {
    for (std::int32_t code = 2; code <= 32; ++code) {
        auto [name, thrownCode] = Thrown(code);
        EXPECT_EQ(name, "class X509VerifyError<" + std::to_string(code) + ">") << code;
        EXPECT_EQ(thrownCode, code);
    }
    EXPECT_EQ(Thrown(50).first, "class X509VerifyError<50>");
    EXPECT_THROW(ThrowX509VerifyError(X509_V_ERR_CERT_HAS_EXPIRED), X509VerifyError<10>);
}

TEST(X509VerifyErrors, OtherCodesAreThrownGeneric) {
    for (std::int32_t code : {-1, 0, 1, 33, 49, 51, 1000}) {
        auto [name, thrownCode] = Thrown(code);
        EXPECT_EQ(name, "class X509VerifyGenericError") << code;
        EXPECT_EQ(thrownCode, code);
    }
}

}  // namespace

#include "crypto/x509_verify_errors.h"

#include <array>
#include <utility>

namespace {

constexpr std::int32_t kFirstClassCode = 2;
constexpr std::int32_t kLastClassCode = 32;
constexpr std::int32_t kApplicationVerificationCode = 50;

using Thrower = void (*)();

template <std::int32_t kCode>
[[noreturn]] void Throw() {
    throw X509VerifyError<kCode>();
}

template <std::int32_t... kOffsets>
constexpr std::array<Thrower, sizeof...(kOffsets)> MakeThrowers(std::integer_sequence<std::int32_t, kOffsets...>) {
    return {&Throw<kFirstClassCode + kOffsets>...};
}

constexpr auto kThrowers =
    MakeThrowers(std::make_integer_sequence<std::int32_t, kLastClassCode - kFirstClassCode + 1>());

}  // namespace

void ThrowX509VerifyError(std::int32_t code) {
    if (code >= kFirstClassCode && code <= kLastClassCode) kThrowers[code - kFirstClassCode]();
    if (code == kApplicationVerificationCode) Throw<kApplicationVerificationCode>();
    throw X509VerifyGenericError(code);
}

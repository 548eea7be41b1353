// Numbers as text beyond the plain integers: lenient integer readers, and floating-point text that
// carries its precision both ways. Nothing here uses the C library's locale.
//
// A value is formatted together with an uncertainty u (0: as precise as the double itself): its last
// digit stands at the decimal place k = floor(log10(max(s, u) / 0.95)), s being the spacing of doubles
// at the value (at least 2^-1022); standard notation stops at place -53. A precision of 1 gives whole
// numbers, 0.01 hundredths. Parsing gives back the value and the uncertainty its text expressed. All
// functions are thread-safe.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/const_data_buffer.h"
#include "base/exceptions.h"

// A text that is not a number ParseFloatingPoint accepts.
class NotAFloatingPoint : public DebuggableException {};
// A value of 10^53 or more, whose integer digits standard notation does not print.
class TooLargeForStandardNotation : public DebuggableException {};

using FloatingPointText = ConstDataBuffer<62>;

// The first run of decimal digits anywhere in the text (null counts as ""), or 0 when there is none
// or it does not fit.
std::uint32_t ParseDecimalInteger(const char* text);
std::uint64_t ParseDecimalInteger64(const char* text);

// "NaN", "+infinity" and "-infinity" for non-finite values; standard notation when |value| < 10^61
// and k >= -53; scientific notation otherwise. Throws TooLargeForStandardNotation for finite values of
// 10^53 to 10^61 that take standard notation. u must be finite and non-negative (else
// RequirementFailure).
FloatingPointText FormatFloatingPoint(double value, double u);
// Digits without exponent ("-" for negative values, negative zero included); a value that rounds to
// zero at place k is "0" followed, when k < 0, by "." and -k zeros.
FloatingPointText FormatStandardNotation(double value, double u);
// The standard notation of value / 10^e followed by "e+<e>" or "e-<e>" when e is not 0, where
// e = max(k, floor(log10 |value|)).
FloatingPointText FormatScientificNotation(double value, double u);

struct ParsedFloatingPoint {
    // Bits of `flags`.
    static constexpr std::uint8_t kOutOfRange = 1;  // set with either of the two below
    static constexpr std::uint8_t kUnderflow = 2;   // non-zero digits, but the value is zero or denormal
    static constexpr std::uint8_t kOverflow = 4;    // the value came out infinite

    double value = 0;
    double uncertainty = 0;  // 10 to the place of the last written digit, at least the spacing of doubles
    std::uint8_t flags = 0;
};

// Reads a decimal number: spaces, a leading "+" or "-", digits with at most one ".", then optionally
// "e" or "E" and a signed decimal exponent with at least one digit. Spaces among the digits are
// skipped. Any other text throws NotAFloatingPoint; the words written for non-finite values are
// never read back.
ParsedFloatingPoint ParseFloatingPoint(ConstData text);

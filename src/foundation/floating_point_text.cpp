#include "foundation/floating_point_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/character_classes.h"
#include "base/numerals.h"

// The digits come from std::to_chars, which is locale-free and exact: it writes the full decimal
// expansion of a double (at most 767 significant digits) when asked for enough of them. Rounding to
// the precision place is then done on those exact digits, so the zero test and the half-unit rounding
// never suffer from binary approximations of powers of ten.

namespace {

constexpr int kLowestPlace = -53;                // the digit writer stops here
constexpr int kHighestStandardPlace = 52;        // 10^53 and above cannot be written in standard notation
constexpr double kScientificFrom = 1e61;         // FormatFloatingPoint's switch to scientific notation
constexpr int kExactDigitRequest = 800;          // more than the longest exact expansion of a double
constexpr std::int64_t kExponentLimit = 100000;  // far outside the range of doubles either way

// The decimal digits of a positive value, digits[0] standing at place `top`; empty for zero.
struct DecimalDigits {
    std::string digits;
    int top = 0;
};

double PowerOfTen(std::int64_t exponent) {
    exponent = std::clamp(exponent, -kExponentLimit, kExponentLimit);
    char text[32] = "1e";
    char* end = std::to_chars(text + 2, text + sizeof text, exponent).ptr;
    double value = 0;
    if (std::from_chars(text, end, value).ec == std::errc::result_out_of_range)
        value = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return value;
}

// The distance from a non-negative value down to the next smaller double, at least 2^-1022.
double SpacingBelow(double magnitude) {
    return std::max(magnitude - std::nextafter(magnitude, 0.0), std::numeric_limits<double>::min());
}

int PrecisionPlace(double magnitude, double u) {
    KVR_REQUIRE(std::isfinite(u) && u >= 0);
    double place = std::floor(std::log10(std::max(SpacingBelow(magnitude), u) / 0.95));
    return static_cast<int>(std::min(place, 400.0));
}

DecimalDigits ExactDigits(double magnitude) {
    DecimalDigits exact;
    if (magnitude == 0) return exact;
    char text[kExactDigitRequest + 16];
    char* end =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, kExactDigitRequest)
            .ptr;
    // "d.ddd...de+xx"
    char* exponent = std::find(text, end, 'e');
    exact.digits.assign(1, text[0]);
    exact.digits.append(text + 2, exponent);
    exact.digits.erase(exact.digits.find_last_not_of('0') + 1);
    const char* exponentDigits = exponent + 1 + (exponent[1] == '+' ? 1 : 0);
    std::from_chars(exponentDigits, end, exact.top);
    return exact;
}

// The exact digits rounded at place k, half a unit rounding up; empty when the value is zero at that
// precision, that is when it is at most half a unit of place k.
DecimalDigits RoundAtPlace(const DecimalDigits& exact, int k) {
    if (exact.digits.empty() || k > exact.top + 1) return {};
    if (k == exact.top + 1) {
        // The trailing zeros are cut, so more than one digit means something beyond the first.
        bool aboveHalf = exact.digits[0] > '5' || (exact.digits[0] == '5' && exact.digits.size() > 1);
        return aboveHalf ? DecimalDigits{"1", k} : DecimalDigits{};
    }
    std::size_t kept = static_cast<std::size_t>(exact.top - k + 1);
    if (kept >= exact.digits.size()) return exact;
    DecimalDigits rounded{exact.digits.substr(0, kept), exact.top};
    if (exact.digits[kept] >= '5') {
        std::size_t i = kept;
        while (i > 0 && rounded.digits[i - 1] == '9') rounded.digits[--i] = '0';
        if (i == 0) {
            rounded.digits.insert(0, 1, '1');
            ++rounded.top;
        } else {
            ++rounded.digits[i - 1];
        }
    }
    return rounded;
}

char DigitAt(const DecimalDigits& number, int place) {
    int index = number.top - place;
    return index >= 0 && index < static_cast<int>(number.digits.size()) ? number.digits[index] : '0';
}

// "0", and when k < 0 a "." and -k zeros.
void AppendZero(FloatingPointText& text, int k) {
    text.Append('0');
    if (k < 0) text.Append('.');
    for (int place = -1; place >= k; --place) text.Append('0');
}

// The rounded digits as the standard notation of the number divided by 10^shift: every place from the
// leading digit (place 0 at least) down to place k (place 0 at most), "." before place -1.
void AppendPlaces(FloatingPointText& text, const DecimalDigits& rounded, int k, int shift) {
    for (int place = std::max(rounded.top - shift, 0); place >= std::min(k - shift, 0); --place) {
        if (place == -1) text.Append('.');
        text.Append(DigitAt(rounded, place + shift));
    }
}

bool AppendNonFinite(double value, FloatingPointText& text) {
    if (std::isnan(value))
        text.Assign(ConstDataOfCString("NaN"));
    else if (std::isinf(value))
        text.Assign(ConstDataOfCString(value > 0 ? "+infinity" : "-infinity"));
    else
        return false;
    return true;
}

template <class Number>
Number FirstDigitRun(const char* text, Number (*convert)(ConstData, Number)) {
    ConstData rest = ConstDataOfCString(text);
    const Byte* first =
        std::find_if(rest.begin, rest.end, [](Byte c) { return Ascii::Digits().Contains(c); });
    const Byte* last = std::find_if(first, rest.end, [](Byte c) { return !Ascii::Digits().Contains(c); });
    return convert(ConstData(first, last), 0);
}

}  // namespace

std::uint32_t ParseDecimalInteger(const char* text) {
    return FirstDigitRun(text, DecimalToUInt32OrDefault);
}

std::uint64_t ParseDecimalInteger64(const char* text) {
    return FirstDigitRun(text, DecimalToUInt64OrDefault);
}

FloatingPointText FormatFloatingPoint(double value, double u) {
    FloatingPointText text;
    if (AppendNonFinite(value, text)) return text;
    double magnitude = std::fabs(value);
    // Values whose precision lies below the digit writer's last place also go to scientific notation,
    // so that no digit the value carries is dropped.
    if (magnitude < kScientificFrom && PrecisionPlace(magnitude, u) >= kLowestPlace)
        return FormatStandardNotation(value, u);
    return FormatScientificNotation(value, u);
}

FloatingPointText FormatStandardNotation(double value, double u) {
    FloatingPointText text;
    if (AppendNonFinite(value, text)) return text;
    double magnitude = std::fabs(value);
    int k = std::max(PrecisionPlace(magnitude, u), kLowestPlace);
    if (std::signbit(value)) text.Append('-');
    DecimalDigits exact = ExactDigits(magnitude);
    DecimalDigits rounded = RoundAtPlace(exact, k);
    if (rounded.digits.empty()) {
        AppendZero(text, k);
    } else {
        if (exact.top > kHighestStandardPlace) throw TooLargeForStandardNotation();
        AppendPlaces(text, rounded, k, 0);
    }
    return text;
}

FloatingPointText FormatScientificNotation(double value, double u) {
    FloatingPointText text;
    if (AppendNonFinite(value, text)) return text;
    double magnitude = std::fabs(value);
    int k = PrecisionPlace(magnitude, u);
    if (std::signbit(value)) text.Append('-');
    // The mantissa is the digits of the value shifted by e places, rather than value / 10^e computed
    // in binary: the division can round 9.99...e+60 up to 10.0. The leading place is taken after
    // rounding at place k, so a value that rounds up to a power of ten is written as 1e+n. Zero has
    // no digit place of its own and is written without exponent.
    DecimalDigits rounded = RoundAtPlace(ExactDigits(magnitude), k);
    int e = 0;
    if (magnitude > 0) e = rounded.digits.empty() ? k : std::max(k, rounded.top);
    if (rounded.digits.empty())
        AppendZero(text, std::max(k - e, kLowestPlace));
    else
        AppendPlaces(text, rounded, k, e);
    if (e != 0) {
        text.Append('e');
        text.Append(e < 0 ? '-' : '+');
        text.Append(AppendDecimal(static_cast<std::uint32_t>(e < 0 ? -e : e), 1).GetConstData());
    }
    return text;
}

namespace {

bool IsSpace(Byte c) {
    return c == ' ';
}

// The exponent part after "e": spaces, one sign, digits among which spaces are skipped.
std::int64_t ParseExponent(ConstData part) {
    bool negative = false, signSeen = false, digitSeen = false;
    std::int64_t magnitude = 0;
    for (const Byte* p = part.begin; p != part.end; ++p) {
        if (IsSpace(*p)) continue;
        if ((*p == '+' || *p == '-') && !signSeen && !digitSeen) {
            signSeen = true;
            negative = *p == '-';
        } else if (Ascii::Digits().Contains(*p)) {
            digitSeen = true;
            // Saturates far outside the range of doubles, so a huge exponent over- or underflows.
            magnitude = std::min(magnitude * 10 + (*p - '0'), kExponentLimit);
        } else {
            throw NotAFloatingPoint();
        }
    }
    if (!digitSeen) throw NotAFloatingPoint();
    return negative ? -magnitude : magnitude;
}

struct Mantissa {
    bool negative = false;
    bool hasPoint = false;
    std::string digits;               // every digit written, leading zeros included
    std::int64_t fractionDigits = 0;  // how many of them stand after the point
};

Mantissa ParseMantissa(ConstData part) {
    Mantissa mantissa;
    bool signSeen = false;
    for (const Byte* p = part.begin; p != part.end; ++p) {
        if (IsSpace(*p)) continue;
        if ((*p == '+' || *p == '-') && !signSeen && mantissa.digits.empty() && !mantissa.hasPoint) {
            signSeen = true;
            mantissa.negative = *p == '-';
        } else if (*p == '.' && !mantissa.hasPoint) {
            mantissa.hasPoint = true;
        } else if (Ascii::Digits().Contains(*p)) {
            mantissa.digits.push_back(static_cast<char>(*p));
            if (mantissa.hasPoint) ++mantissa.fractionDigits;
        } else {
            throw NotAFloatingPoint();
        }
    }
    if (mantissa.digits.empty()) throw NotAFloatingPoint();
    return mantissa;
}

// digits × 10^exponent, correctly rounded; infinity or zero beyond the range of doubles.
double DecimalValue(const std::string& digits, std::int64_t exponent) {
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    std::string significant = digits.substr(first);
    // The place of the leading digit decides the cases that from_chars cannot represent.
    std::int64_t leadingPlace = static_cast<std::int64_t>(significant.size()) - 1 + exponent;
    if (leadingPlace > 400) return std::numeric_limits<double>::infinity();
    if (leadingPlace < -400) return 0;
    std::string text = significant + "e" + std::to_string(exponent);
    double value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc::result_out_of_range)
        value = leadingPlace > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return value;
}

std::int64_t TrailingZeros(const std::string& digits) {
    std::size_t last = digits.find_last_not_of('0');
    std::size_t zeros = last == std::string::npos ? digits.size() : digits.size() - 1 - last;
    return static_cast<std::int64_t>(std::min(zeros, digits.size() - 1));
}

}  // namespace

ParsedFloatingPoint ParseFloatingPoint(ConstData text) {
    if (std::any_of(text.begin, text.end, [](Byte c) { return (c | 0x20) == 'n'; }))
        throw NotAFloatingPoint();
    const Byte* exponentMark = std::find_if(text.begin, text.end, [](Byte c) { return (c | 0x20) == 'e'; });
    bool hasExponent = exponentMark != text.end;
    std::int64_t exponent = hasExponent ? ParseExponent(ConstData(exponentMark + 1, text.end)) : 0;
    Mantissa mantissa = ParseMantissa(ConstData(text.begin, exponentMark));

    ParsedFloatingPoint result;
    double magnitude = DecimalValue(mantissa.digits, exponent - mantissa.fractionDigits);
    result.value = mantissa.negative ? -magnitude : magnitude;
    if (std::isinf(magnitude)) {
        result.flags |= ParsedFloatingPoint::kOverflow | ParsedFloatingPoint::kOutOfRange;
    } else if (magnitude < std::numeric_limits<double>::min() &&
               mantissa.digits.find_first_not_of('0') != std::string::npos) {
        result.flags |= ParsedFloatingPoint::kUnderflow | ParsedFloatingPoint::kOutOfRange;
    }
    std::int64_t lastPlace = mantissa.hasPoint || hasExponent ? exponent - mantissa.fractionDigits
                                                              : TrailingZeros(mantissa.digits);
    result.uncertainty = std::max(PowerOfTen(lastPlace), SpacingBelow(magnitude));
    return result;
}

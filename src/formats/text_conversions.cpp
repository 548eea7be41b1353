#include "formats/text_conversions.h"

#include <string>

#include "base/numerals.h"
#include "formats/stream_transcoders.h"
#include "platform/code_pages.h"

namespace {

constexpr unsigned kUTF8CodePage = 65001;

// The fixed number format: what the platform formatter gives with the settings of US English
// (leading zero shown, groups of three, "." and ",", the minus sign in front).
constexpr char kDecimalSeparator = '.';
constexpr char kThousandsSeparator = ',';
constexpr std::size_t kGroupSize = 3;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct DecimalNumber {
    bool negative = false;
    std::string integerDigits;
    std::string fractionDigits;
};

// Reads the form the platform formatter accepts: an optional "-", digits, and an optional "." with
// digits; at least one digit in all. Anything else (blanks, "+", exponents) makes the text invalid.
bool ParseDecimalNumber(std::string_view text, DecimalNumber& number) {
    if (!text.empty() && text.front() == '-') {
        number.negative = true;
        text.remove_prefix(1);
    }
    std::size_t point = text.find(kDecimalSeparator);
    std::string_view integer = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    auto allDigits = [](std::string_view digits) {
        for (char c : digits) {
            if (!IsDigit(c)) return false;
        }
        return true;
    };
    if (!allDigits(integer) || !allDigits(fraction) || integer.size() + fraction.size() == 0) return false;
    number.integerDigits = integer;
    number.fractionDigits = fraction;
    return true;
}

// Cuts the fraction to `count` digits, rounding half up (away from zero, as the magnitude is rounded),
// or pads it with zeros.
void RoundFraction(DecimalNumber& number, std::size_t count) {
    if (number.fractionDigits.size() <= count) {
        number.fractionDigits.append(count - number.fractionDigits.size(), '0');
        return;
    }
    bool roundUp = number.fractionDigits[count] >= '5';
    number.fractionDigits.resize(count);
    if (!roundUp) return;
    std::string digits = number.integerDigits + number.fractionDigits;
    std::size_t position = digits.size();
    while (position > 0 && digits[position - 1] == '9') digits[--position] = '0';
    if (position == 0) {
        digits.insert(digits.begin(), '1');
    } else {
        ++digits[position - 1];
    }
    number.integerDigits = digits.substr(0, digits.size() - count);
    number.fractionDigits = digits.substr(digits.size() - count);
}

}  // namespace

CopiedUString<UTF16> MultiByteToWide(unsigned codePage, ConstData bytes) {
    return PosixPlatform::DecodeCodePage(codePage, bytes);
}

std::string WideToMultiByte(unsigned codePage, std::u16string_view text) {
    return PosixPlatform::EncodeCodePage(codePage, text);
}

CopiedUString<UTF16> UTF8ToUTF16(ConstData text) {
    return MultiByteToWide(kUTF8CodePage, text);
}

CopiedUString<UTF8> UTF16ToUTF8(std::u16string_view text) {
    return WideToMultiByte(kUTF8CodePage, text);
}

CopiedUString<UTF16> ASCIIToUTF16(ConstData text) {
    UStringBuilder<UTF16> builder(text.Length());
    StreamTranscoder<UTF16, USAscii> transcoder(&builder);
    transcoder.Begin();
    transcoder.Receive(text.begin, text.end);
    transcoder.End();
    return builder.Take();
}

CopiedUString<UTF8> ASCIIToUTF8(ConstData text) {
    UStringBuilder<UTF8> builder(text.Length());
    StreamTranscoder<UTF8, USAscii> transcoder(&builder);
    transcoder.Begin();
    transcoder.Receive(text.begin, text.end);
    transcoder.End();
    return builder.Take();
}

CopiedUString<UTF8> FormatNumberForLocale(ConstData text, unsigned fractionDigits) {
    DecimalNumber number;
    if (!ParseDecimalNumber(text.View(), number)) return ASCIIToUTF8(text);
    RoundFraction(number, fractionDigits);

    std::size_t firstSignificant = number.integerDigits.find_first_not_of('0');
    std::string integer =
        firstSignificant == std::string::npos ? "0" : number.integerDigits.substr(firstSignificant);
    // A value that rounds to zero is shown without its sign.
    bool zero = integer == "0" && number.fractionDigits.find_first_not_of('0') == std::string::npos;

    std::string result;
    if (number.negative && !zero) result += '-';
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (i != 0 && (integer.size() - i) % kGroupSize == 0) result += kThousandsSeparator;
        result += integer[i];
    }
    if (fractionDigits != 0) result += kDecimalSeparator + number.fractionDigits;
    return result;
}

CopiedUString<UTF8> FormatIntegerForLocale(std::uint64_t value) {
    return FormatNumberForLocale(FormatDecimalDigits(value, 1).GetConstData(), 0);
}

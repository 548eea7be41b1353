#include "crypto/asn1_time.h"

#include <algorithm>

namespace {

constexpr std::size_t kUTCTimeLength = 13;
constexpr std::size_t kGeneralizedTimeLength = 15;
// UTCTime years below this two-digit value lie in the 2000s.
constexpr std::uint32_t kUTCTimeCenturyPivot = 50;

std::uint32_t TwoDigits(const unsigned char* text) { return (text[0] - '0') * 10 + (text[1] - '0'); }

}  // namespace

CalendarTime ParseASN1Time(const ASN1_TIME* time) {
    if (!time) throw InvalidASN1_TIME();
    const unsigned char* text = ASN1_STRING_get0_data(time);
    std::size_t length = static_cast<std::size_t>(ASN1_STRING_length(time));
    if (length != kUTCTimeLength && length != kGeneralizedTimeLength) throw InvalidASN1_TIME();
    if (text[length - 1] != 'Z' || !std::all_of(text, text + length - 1, [](unsigned char c) {
            return c >= '0' && c <= '9';
        }))
        throw InvalidASN1_TIME();

    const unsigned char* fields = text + (length - kUTCTimeLength);
    std::uint32_t yearInCentury = TwoDigits(fields);
    std::uint32_t century = length == kGeneralizedTimeLength ? TwoDigits(text)
                            : yearInCentury < kUTCTimeCenturyPivot ? 20
                                                                   : 19;
    CalendarTime result;
    result.date.year = century * 100 + yearInCentury;
    result.date.month = TwoDigits(fields + 2);
    result.date.day = static_cast<std::uint8_t>(TwoDigits(fields + 4));
    result.time.hour = static_cast<std::uint8_t>(TwoDigits(fields + 6));
    result.time.minute = static_cast<std::uint8_t>(TwoDigits(fields + 8));
    result.time.second = static_cast<std::uint8_t>(TwoDigits(fields + 10));
    if (!result.IsValid()) throw InvalidASN1_TIME();
    return result;
}

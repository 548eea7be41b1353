#include "relay/program/diagnostics_values.h"

#include <algorithm>

#include "base/numerals.h"
#include "base/time_value.h"
#include "formats/message_templates.h"
#include "formats/xml_escaping.h"

namespace {

constexpr std::int64_t kMicrosecondsPerMinute = 60 * kMicrosecondsPerSecond;
constexpr std::int64_t kMicrosecondsPerMillisecond = 1'000;

// Durations are never negative where they are kept; one that is shows as 0 rather than as a huge
// number.
std::string WholeUnitsText(std::int64_t microseconds, std::int64_t unit) {
    return DecimalText(static_cast<std::uint64_t>(std::max<std::int64_t>(microseconds, 0) / unit));
}

}  // namespace

std::string DecimalText(std::uint64_t value) {
    return std::string(FormatDecimalDigits(value, 1).View());
}

std::string SignedDecimalText(std::uint32_t stored) {
    const auto widened = static_cast<std::int64_t>(static_cast<std::int32_t>(stored));
    return DecimalText(static_cast<std::uint64_t>(widened));
}

std::string FlagText(bool on) {
    return on ? "1" : "0";
}

std::string SecondsText(std::int64_t microseconds) {
    return WholeUnitsText(microseconds, kMicrosecondsPerSecond);
}

std::string MinutesText(std::int64_t microseconds) {
    return WholeUnitsText(microseconds, kMicrosecondsPerMinute);
}

std::string MillisecondsText(std::int64_t microseconds) {
    return WholeUnitsText(microseconds, kMicrosecondsPerMillisecond);
}

std::string MegabytesText(std::uint64_t bytes) {
    return DecimalText(bytes >> 20);
}

std::string KilobytesText(std::uint64_t bytes) {
    return DecimalText(bytes >> 10);
}

// Every "://" starts an authority, which runs to the first "/", "?", "#", blank or list separator;
// its user info is what stands before its last "@". A setting may hold a list of URLs, so each is
// looked at.
std::string HideURLUserInfo(std::string_view text) {
    constexpr std::string_view kSchemeEnd = "://";
    std::string shown;
    std::size_t copied = 0;
    std::size_t marker = text.find(kSchemeEnd);
    while (marker != std::string_view::npos) {
        const std::size_t authority = marker + kSchemeEnd.size();
        const std::size_t authorityEnd = std::min(text.find_first_of("/?# \t,;", authority), text.size());
        const std::size_t at = text.substr(authority, authorityEnd - authority).rfind('@');
        if (at != std::string_view::npos) {
            shown.append(text.substr(copied, authority - copied));
            shown += "***";
            copied = authority + at;
        }
        marker = text.find(kSchemeEnd, authorityEnd);
    }
    shown.append(text.substr(copied));
    return shown;
}

std::string PageText(std::string_view text) {
    return EscapeHTMLText(ConstData(HideURLUserInfo(text)));
}

std::string FillPageTemplate(std::string_view templateText, const std::vector<std::string>& arguments) {
    std::vector<std::string> safe;
    safe.reserve(arguments.size());
    for (const std::string& argument : arguments) safe.push_back(PageText(argument));
    std::vector<OptionalText> fields;
    fields.reserve(safe.size());
    for (const std::string& text : safe) fields.emplace_back(ConstData(std::string_view(text)));
    const ConstData templateData(templateText);
    return FormatToString(templateData, FormatText(templateData, fields));
}

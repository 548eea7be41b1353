#include "crypto/masthead_operators.h"

#include <optional>
#include <string_view>

#include "base/character_classes.h"

namespace {

constexpr std::string_view kVersionLine = "version=2";
// "version=2", its line end and at least one more byte.
constexpr std::size_t kShortestOperatorList = 12;
constexpr std::int64_t kLargestSequence = 2'147'483'647;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view SkipSeparators(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSeparator(text[i])) ++i;
    return text.substr(i);
}

// A line ends at the first CR of the rest of the text, or, when there is none, at the first LF.
std::size_t LineLength(std::string_view text) {
    std::size_t end = text.find('\r');
    if (end == std::string_view::npos) end = text.find('\n');
    return end == std::string_view::npos ? text.size() : end;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Nothing when an escape is broken: the caller then takes the value as empty.
std::optional<std::string> PercentDecode(std::string_view value) {
    std::string decoded;
    decoded.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            decoded.push_back(value[i]);
            continue;
        }
        if (i + 2 >= value.size()) return std::nullopt;
        const int high = HexValue(value[i + 1]);
        const int low = HexValue(value[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return decoded;
}

// The value of the first ":name=" of the line, up to the next ":"; empty when the name is missing or
// the value has no closing ":".
std::string FieldValue(std::string_view line, std::string_view marker, bool percentDecoding) {
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + marker.size();
    const std::size_t close = line.find(':', start);
    if (close == std::string_view::npos) return {};
    const std::string_view value = line.substr(start, close - start);
    if (!percentDecoding) return std::string(value);
    return PercentDecode(value).value_or(std::string());
}

// Digits with spaces ignored; any other byte, or a value beyond the signed 32-bit range, gives 0.
std::int32_t SequenceValue(std::string_view text) {
    std::int64_t value = 0;
    for (char c : text) {
        if (c == ' ') continue;
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > kLargestSequence) return 0;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<MastheadOperator> ParseOperatorLine(std::string_view line, bool percentDecoding) {
    MastheadOperator parsed;
    parsed.Sequence = SequenceValue(FieldValue(line, ":seq=", percentDecoding));
    parsed.CommonName = FieldValue(line, ":cn=", percentDecoding);
    parsed.Type = FieldValue(line, ":type=", percentDecoding);
    parsed.DatabaseName = FieldValue(line, ":dbname=", percentDecoding);
    const std::string actions = FieldValue(line, ":actions=", percentDecoding);
    const std::string dbis = FieldValue(line, ":dbis=", percentDecoding);
    if (parsed.Sequence <= 0 || parsed.CommonName.empty() || parsed.Type.empty() || parsed.DatabaseName.empty() ||
        actions.empty())
        return std::nullopt;
    parsed.ActionsEnabled = actions == "Enable";
    parsed.DatabaseIsSite = Ascii::EqualIgnoringCase(std::string_view(dbis), "true");
    return parsed;
}

}  // namespace

void AddMastheadOperator(MastheadOperatorList& operators, MastheadOperator added) {
    added.Unique = true;
    if (!added.DatabaseIsSite) {
        for (MastheadOperator& earlier : operators) {
            if (earlier.DatabaseIsSite) continue;
            if (Ascii::EqualIgnoringCase(std::string_view(earlier.CommonName), added.CommonName) &&
                Ascii::EqualIgnoringCase(std::string_view(earlier.Type), added.Type)) {
                earlier.Unique = false;
                added.Unique = false;
            }
        }
    }
    operators.push_back(std::move(added));
}

bool ParseMastheadOperatorList(ConstData data, bool percentDecoding, MastheadOperatorList& operators) {
    std::string_view text(reinterpret_cast<const char*>(data.begin), data.Length());
    if (text.size() < kShortestOperatorList || !text.starts_with(kVersionLine)) return false;
    const char afterVersion = text[kVersionLine.size()];
    if (afterVersion != '\r' && afterVersion != '\n') return false;

    text = SkipSeparators(text.substr(kVersionLine.size()));
    while (!text.empty()) {
        const std::size_t length = LineLength(text);
        if (std::optional<MastheadOperator> parsed = ParseOperatorLine(text.substr(0, length), percentDecoding))
            AddMastheadOperator(operators, std::move(*parsed));
        text = SkipSeparators(text.substr(length));
    }
    return true;
}

#include "http/authentication_challenge.h"

#include "base/character_classes.h"
#include "base/const_data.h"

namespace {

bool IsBlank(char c) {
    return Ascii::Blanks().Contains(static_cast<unsigned char>(c));
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    text = SkipBlanks(text);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return Ascii::EqualIgnoringCase(ConstData(a), ConstData(b));
}

// A quoted-string (RFC 7230): the text between the quotes with each backslash escape resolved.
bool ReadQuotedString(std::string_view& text, std::string& value) {
    text.remove_prefix(1);
    while (!text.empty()) {
        char c = text.front();
        text.remove_prefix(1);
        if (c == '"') return true;
        if (c == '\\') {
            if (text.empty()) return false;
            c = text.front();
            text.remove_prefix(1);
        }
        value += c;
    }
    return false;
}

}  // namespace

ChallengeLine SplitChallengeLine(std::string_view line) {
    line = SkipBlanks(line);
    std::size_t wordEnd = 0;
    while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
    return {line.substr(0, wordEnd), line.substr(wordEnd)};
}

bool IsAuthWord(std::string_view word, std::string_view name) {
    return EqualsIgnoringCase(word, name);
}

std::string_view ChallengeToken(std::string_view parameters) {
    return TrimBlanks(parameters);
}

bool ParseAuthParameters(std::string_view text, AuthParameters& parameters) {
    for (;;) {
        while (!text.empty() && (IsBlank(text.front()) || text.front() == ',')) text.remove_prefix(1);
        if (text.empty()) return true;
        std::size_t nameEnd = 0;
        while (nameEnd < text.size() && text[nameEnd] != '=' && text[nameEnd] != ',' &&
               !IsBlank(text[nameEnd]))
            ++nameEnd;
        std::string name(text.substr(0, nameEnd));
        text = SkipBlanks(text.substr(nameEnd));
        if (name.empty() || text.empty() || text.front() != '=') return false;
        text = SkipBlanks(text.substr(1));
        std::string value;
        if (!text.empty() && text.front() == '"') {
            if (!ReadQuotedString(text, value)) return false;
        } else {
            std::size_t valueEnd = 0;
            while (valueEnd < text.size() && text[valueEnd] != ',' && !IsBlank(text[valueEnd])) ++valueEnd;
            value = text.substr(0, valueEnd);
            text.remove_prefix(valueEnd);
        }
        parameters.emplace_back(std::move(name), std::move(value));
    }
}

const std::string* FindAuthParameter(const AuthParameters& parameters, std::string_view name) {
    for (const auto& [parameterName, value] : parameters)
        if (EqualsIgnoringCase(parameterName, name)) return &value;
    return nullptr;
}

bool AuthListHolds(std::string_view list, std::string_view item) {
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        if (EqualsIgnoringCase(TrimBlanks(list.substr(0, comma)), item)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

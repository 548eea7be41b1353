#include "base/file_name.h"

#include <cstring>
#include <string_view>

#include "base/character_classes.h"

namespace {

bool IsForbiddenNameByte(unsigned char c) {
    return c < 32 || std::strchr("\"*/:<>?\\|", c) != nullptr;
}

bool HasValidNameBytes(std::string_view text) {
    if (text == "." || text == "..") return false;
    for (char c : text) {
        if (IsForbiddenNameByte(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool HasValidNameLength(std::string_view text) {
    return !text.empty() && text.size() <= FileName::kMaximumLength;
}

std::string_view TextOf(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

}  // namespace

FileName::FileName(const char* text) {
    if (text) *this = FileName(text, std::strlen(text));
}

FileName::FileName(const char* text, std::size_t length) {
    std::string_view name(text, length);
    if (!HasValidNameLength(name)) throw IllegalFileNameLength();
    if (!HasValidNameBytes(name)) throw IllegalFileName();
    m_text = Stringy(text, static_cast<unsigned>(length));
}

bool IsValidFileName(std::string_view text) {
    return HasValidNameLength(text) && HasValidNameBytes(text);
}

FileName::FileName(ConstData text) : FileName(text.Chars(), text.Length()) {}

bool FileName::StartsWith(const char* text, bool ignoreCase) const {
    std::string_view prefix = TextOf(text);
    if (prefix.size() > Length()) return false;
    ConstData start(CString(), prefix.size());
    return ignoreCase ? Ascii::EqualIgnoringCase(start, ConstData(prefix)) : start.View() == prefix;
}

namespace {

FileName ConcatenatedName(std::string_view first, std::string_view second) {
    if (first.size() + second.size() > FileName::kMaximumConcatenatedLength) throw IllegalFileName();
    std::string joined;
    joined.reserve(first.size() + second.size());
    joined.append(first).append(second);
    return FileName(joined.data(), joined.size());
}

}  // namespace

FileName ConcatenateTextAndFileName(const char* text, const FileName& name) {
    return ConcatenatedName(TextOf(text), name.GetConstData().View());
}

FileName ConcatenateFileNameAndText(const FileName& name, const char* text) {
    return ConcatenatedName(name.GetConstData().View(), TextOf(text));
}

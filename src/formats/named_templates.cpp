#include "formats/named_templates.h"

#include <cstring>

#include "formats/text_conversions.h"

namespace {
// The platform's default 8-bit code page. Windows converts through the system's ANSI code page; on
// Linux the system's text (file names, the terminal, the logs) is UTF-8.
constexpr unsigned kDefaultCodePage = 65001;
}  // namespace

FormattedText::FormattedText(const std::string& utf8) {
    std::string converted = UTF8ToDefaultCodePage(ConstData(std::string_view(utf8)));
    SetText(converted.data(), converted.data() + converted.size(), false);
}

FormattedText::FormattedText(const FormattedText& other) : m_text(other.m_text) {
    if (other.m_copy) SetText(other.m_text, other.m_text + std::strlen(other.m_text), false);
}

FormattedText& FormattedText::operator=(const FormattedText& other) {
    if (this != &other) *this = FormattedText(other);
    return *this;
}

void FormattedText::SetText(const char* begin, const char* end, bool borrow) {
    if (begin == end) {
        m_copy.reset();
        m_text = "";
    } else if (borrow) {
        m_copy.reset();
        m_text = begin;
    } else {
        std::size_t length = static_cast<std::size_t>(end - begin);
        auto copy = std::make_unique_for_overwrite<char[]>(length + 1);
        std::memcpy(copy.get(), begin, length);
        copy[length] = 0;
        m_copy = std::move(copy);
        m_text = m_copy.get();
    }
}

FormattedText FormattedTextOfCString(const char* text) {
    FormattedText result;
    result.m_text = text;
    return result;
}

std::string UTF8ToDefaultCodePage(ConstData utf8) {
    return WideToMultiByte(kDefaultCodePage, UTF8ToUTF16(utf8));
}

FormattedText FormattedTextOfUTF16(std::u16string_view text) {
    std::string converted = WideToMultiByte(kDefaultCodePage, text);
    FormattedText result;
    result.SetText(converted.data(), converted.data() + converted.size(), false);
    return result;
}

#include "formats/xml_escaping.h"

#include <cstddef>

#include "formats/utf8_text.h"

std::string_view NextXMLReference(const Byte*& p, const Byte* end, const XMLEscapes& escapes,
                                  std::array<char, 8>& buffer) {
    static const char kHexDigits[] = "0123456789abcdef";
    Byte c = *p;
    if (c >= 0x80 && escapes.malformedUTF8) {
        if (std::size_t length = WellFormedUTF8Length(p, end)) {
            p += length;
            return {};
        }
        ++p;
        buffer = {'&', '#', 'x', kHexDigits[c >> 4], kHexDigits[c & 0xF], ';'};
        return std::string_view(buffer.data(), 6);
    }
    ++p;
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return escapes.quotes ? "&quot;" : "";
        case '\n':
            return escapes.lineBreaks ? "&#xa;" : "";
        case '\r':
            return escapes.lineBreaks ? "&#xd;" : "";
        default:
            return {};
    }
}

std::string EscapeHTMLText(ConstData text) {
    const std::string safe = ReplaceUnsafeCharacters(text);
    std::string escaped;
    escaped.reserve(safe.size());
    WriteXMLEscaped(ConstData(safe), {.quotes = true},
                    [&escaped](ConstData piece) { escaped.append(piece.Chars(), piece.Length()); });
    return escaped;
}

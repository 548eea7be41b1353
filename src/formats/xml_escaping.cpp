#include "formats/xml_escaping.h"

#include <cstddef>

namespace {

bool IsContinuationIn(Byte c, Byte low, Byte high) {
    return c >= low && c <= high;
}

// The length of the well-formed UTF-8 sequence (RFC 3629: shortest form, no surrogates, at most
// U+10FFFF) that starts at p, or 0 when none does.
std::size_t WellFormedUTF8Length(const Byte* p, const Byte* end) {
    std::size_t available = static_cast<std::size_t>(end - p);
    Byte lead = p[0];
    // The range allowed for the second byte depends on the lead byte; later bytes are 80-BF.
    Byte low = 0x80, high = 0xBF;
    std::size_t length;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < length || !IsContinuationIn(p[1], low, high)) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuationIn(p[i], 0x80, 0xBF)) return 0;
    }
    return length;
}

}  // namespace

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

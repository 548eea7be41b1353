#include "formats/utf8_text.h"

namespace {

bool IsContinuationIn(Byte c, Byte low, Byte high) {
    return c >= low && c <= high;
}

// Of the one-byte characters, those below the space other than TAB, LF and CR, and DEL.
bool IsUnsafeASCII(Byte c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

// Of the longer sequences, the C1 controls (C2 80 to C2 9F) and U+FFFE and U+FFFF (EF BF BE, EF BF BF).
bool IsUnsafeSequence(const Byte* p, std::size_t length) {
    if (length == 2) return p[0] == 0xC2 && p[1] <= 0x9F;
    return length == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE;
}

}  // namespace

std::size_t WellFormedUTF8Length(const Byte* p, const Byte* end) {
    std::size_t available = static_cast<std::size_t>(end - p);
    Byte lead = p[0];
    if (lead < 0x80) return 1;
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

std::string ReplaceUnsafeCharacters(ConstData text) {
    std::string safe;
    safe.reserve(text.Length());
    const Byte* p = text.begin;
    while (p != text.end) {
        const std::size_t length = WellFormedUTF8Length(p, text.end);
        if (length == 0 || (length == 1 && IsUnsafeASCII(*p)) || IsUnsafeSequence(p, length)) {
            safe += kUTF8ReplacementCharacter;
            p += length == 0 ? 1 : length;
            continue;
        }
        safe.append(reinterpret_cast<const char*>(p), length);
        p += length;
    }
    return safe;
}

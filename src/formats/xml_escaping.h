// Escaping the text and attribute values that the XML writers put out: the bytes XML cannot hold as
// they are become references. HTML pages take the same references for their text and attribute
// values (EscapeHTMLText).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/const_data.h"

// Which bytes are replaced besides "&", "<" and ">" (always "&amp;", "&lt;", "&gt;").
struct XMLEscapes {
    bool quotes = false;         // '"' as "&quot;", for attribute values
    bool lineBreaks = false;     // LF and CR as "&#xa;" and "&#xd;"
    bool malformedUTF8 = false;  // each byte of a malformed UTF-8 sequence as "&#xNN;" (lower-case hex)
};

// The reference that replaces the byte at `p`, or an empty text when the bytes looked at stay as they
// are; `p` is moved past them (one byte, or a whole well-formed UTF-8 sequence). A reference built for
// the call is held in `buffer`.
std::string_view NextXMLReference(const Byte*& p, const Byte* end, const XMLEscapes& escapes,
                                  std::array<char, 8>& buffer);

// Hands `text` to `write` in pieces, the references in place of the bytes they replace.
template <class Write>
void WriteXMLEscaped(ConstData text, const XMLEscapes& escapes, Write&& write) {
    std::array<char, 8> buffer;
    const Byte* run = text.begin;
    const Byte* p = text.begin;
    while (p != text.end) {
        const Byte* at = p;
        std::string_view reference = NextXMLReference(p, text.end, escapes, buffer);
        if (reference.empty()) continue;
        write(ConstData(run, at));
        write(ConstData(reference));
        run = p;
    }
    write(ConstData(run, text.end));
}

// Text for an HTML page, in an element or a quoted attribute value: unsafe characters replaced by
// U+FFFD (ReplaceUnsafeCharacters, utf8_text.h), then "&", "<", ">" and '"' as references.
std::string EscapeHTMLText(ConstData text);

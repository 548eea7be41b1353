// UTF-8 text as the relay checks it before handing it on: the length of a well-formed sequence, and
// text made safe for the pages and documents that people and parsers read (the download reports).
//
// Safe text is well-formed UTF-8 that XML 1.0 and HTML can hold as character data. Bytes that come
// from the network (a URL a client planted, an error text) may be anything: a byte that does not
// begin a well-formed sequence, a control character other than TAB, LF and CR (U+0000 to U+001F,
// U+007F, U+0080 to U+009F) and the noncharacters U+FFFE and U+FFFF each become one U+FFFD. Every
// other character passes unchanged. The functions keep no state; any thread may call them.
#pragma once

#include <cstddef>
#include <string>

#include "base/const_data.h"

// The replacement character U+FFFD in UTF-8.
inline constexpr const char* kUTF8ReplacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence (RFC 3629: shortest form, no surrogates, at most
// U+10FFFF) that starts at `p`, or 0 when none does; `p` must be before `end`.
std::size_t WellFormedUTF8Length(const Byte* p, const Byte* end);

// The text with every unsafe byte or character replaced, as described above.
std::string ReplaceUnsafeCharacters(ConstData text);

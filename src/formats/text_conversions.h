// One-shot conversions of whole texts between encodings, and number text for people.
//
// UTF8ToUTF16 and UTF16ToUTF8 behave like the system conversions they stand for: malformed input is
// not refused but replaced (an invalid UTF-8 byte or an unpaired surrogate becomes U+FFFD). Use a
// StreamTranscoder (stream_transcoders.h) where malformed input must be refused. The ASCII helpers
// refuse any byte of 128 or more with InvalidTextEncoding. Wide results end in a zero unit (c_str()).
#pragma once

#include <cstdint>
#include <string_view>

#include "base/const_data.h"
#include "formats/text_encodings.h"

CopiedUString<UTF16> UTF8ToUTF16(ConstData text);
CopiedUString<UTF8> UTF16ToUTF8(std::u16string_view text);

// Bytes in a Windows code page to UTF-16 and back (code page numbers as in platform/code_pages.h;
// 65001 is UTF-8). An unknown code page throws Posix::Error.
CopiedUString<UTF16> MultiByteToWide(unsigned codePage, ConstData bytes);
std::string WideToMultiByte(unsigned codePage, std::u16string_view text);

CopiedUString<UTF16> ASCIIToUTF16(ConstData text);
CopiedUString<UTF8> ASCIIToUTF8(ConstData text);

// A decimal number text ("-1234567.891": an optional minus sign, digits, an optional point and
// digits) as the relay shows numbers to people, with the thousands grouped by commas and exactly
// `fractionDigits` digits after the point, rounded half up: "-1,234,567.89" for 2. The rules are
// fixed (those of US English) and do not depend on the process locale. A text that is not such a
// number is returned as it is; a byte of 128 or more in it throws InvalidTextEncoding.
CopiedUString<UTF8> FormatNumberForLocale(ConstData number, unsigned fractionDigits);
// The decimal digits of `value`, grouped the same way: "1,048,576".
CopiedUString<UTF8> FormatIntegerForLocale(std::uint64_t value);

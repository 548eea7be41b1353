// Conversions between UTF-16 and the byte encodings that Windows names by code page number, over
// glibc's iconv. This is where the relay's code-page conversions meet the system; nothing else calls
// iconv.
//
// Code pages: 65001 is UTF-8, 1200 and 1201 are UTF-16 little- and big-endian, 20127 is US-ASCII,
// 28591 to 28599 are ISO-8859-1 to -9, 54936 is GB18030; any other number n is iconv's "CPn"
// (CP1252, CP437, CP932, ...). Like the Windows conversions they stand in for, both functions replace
// what they cannot convert instead of failing: a byte that is not valid in the code page becomes
// U+FFFD, and a character the code page cannot hold (or an unpaired surrogate) becomes U+FFFD in
// UTF-8 and "?" in other code pages. A code page that iconv does not know throws Posix::Error(EINVAL).
// Safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

#include "base/const_data.h"

namespace PosixPlatform {

std::u16string DecodeCodePage(unsigned codePage, ConstData bytes);
std::string EncodeCodePage(unsigned codePage, std::u16string_view text);

}  // namespace PosixPlatform

// The texts the diagnostics page shows for its setting values, one function per rule, and the one
// way every inserted text is made safe for the page.
//
// Numbers are unsigned decimal digits with no leading zeros. A 32-bit setting is shown either widened
// without its sign (DecimalText: a stored -1 shows as "4294967295") or with it (SignedDecimalText:
// "18446744073709551615"), as each row says. Durations are held in microseconds and shown in whole
// units of their setting, the rest dropped; byte counts in whole megabytes or kilobytes.
//
// Every value and label reaches the page through PageText, so that a "<" or a quotation mark in a
// setting or a site URL shows as text and never becomes mark-up; URLs keep no secret there (a user
// and password before "@" show as "***@").
//
// Pure functions: any thread may call them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string DecimalText(std::uint64_t value);
// The 32-bit value read as signed, widened with its sign, then shown without it.
std::string SignedDecimalText(std::uint32_t stored);
// "1" or "0".
std::string FlagText(bool on);
std::string SecondsText(std::int64_t microseconds);
std::string MinutesText(std::int64_t microseconds);
std::string MillisecondsText(std::int64_t microseconds);
std::string MegabytesText(std::uint64_t bytes);
std::string KilobytesText(std::uint64_t bytes);

// The text with the user-info part of a URL ("name:password@" after "scheme://") replaced by
// "***"; any other text unchanged.
std::string HideURLUserInfo(std::string_view text);
// The text as the page holds it: its user info hidden, unsafe characters replaced and "&", "<", ">"
// and '"' written as references.
std::string PageText(std::string_view text);
// The template (message_templates.h) with each field taking the next argument made safe by
// PageText; the formatter's exceptions pass to the caller.
std::string FillPageTemplate(std::string_view templateText, const std::vector<std::string>& arguments);

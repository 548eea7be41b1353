// The kinds of site a site name names, told by its spelling (bytewise, case-sensitive).
#pragma once

#include <cstdint>
#include <string_view>

// Begins with "opsite": an operator's own site, "opsite" followed by the operator's number.
bool IsOperatorSiteName(std::string_view siteName);
// Begins with "CustomSite_".
bool IsCustomSiteName(std::string_view siteName);
// Is "actionsite".
bool IsActionSiteName(std::string_view siteName);
// The decimal number after the first six characters; NotANumeral or NumeralTooLarge (numerals.h).
std::uint32_t OperatorSiteNumber(std::string_view siteName);
// "actionsite".
std::string_view ActionSiteName();

// The many-version list of a site (the action site, operator sites, custom sites): the 128 version
// numbers of ManyVersionList (foundation/many_version_maker.h), of which trailing zeros carry no
// meaning. Two lists that differ only in trailing zeros are the same list; the all-zero list is the
// empty list (the site has none). The parent and the relay also name a list by its CRC, and the
// mirror files of a list by the SHA-1 of its text.
//
// Text form: the entries up to the last non-zero one, in decimal, joined by "," without blanks
// ("3,0,17"; the empty list is the empty text); at most 1,407 characters (128 ten-digit numbers and
// their separators). Reading a text fills the entries in order through ManyVersionMaker: a
// non-numeric item ends the list there, numbers beyond the 128th are dropped, and the rest is 0.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "foundation/many_version_maker.h"

std::string ManyVersionToText(const ManyVersionList& list);
ManyVersionList ManyVersionFromText(std::string_view text);
// The list of up to kManyVersionCount entries, padded with zeros; entries beyond are dropped.
ManyVersionList ManyVersionFromRange(std::span<const std::uint32_t> entries);

bool IsManyVersionEmpty(const ManyVersionList& list);
// CRC-32/BZIP2 (ChecksumReceiver, complemented) over the entries up to the last non-zero one, each
// as 4 little-endian bytes; 0 for the empty list.
std::uint32_t ManyVersionCRC(const ManyVersionList& list);
// Whether `candidate` is newer than `held`: at the first entry where they differ, the candidate's is
// larger. Equal lists are not newer.
bool IsManyVersionNewer(const ManyVersionList& candidate, const ManyVersionList& held);
// The SHA-1 of the text form as 40 lower-case hexadecimal digits: the name of the list's mirror
// files. Needs the crypto library started (OpenSSLNotInitialized otherwise).
std::string ManyVersionDigestText(const ManyVersionList& list);

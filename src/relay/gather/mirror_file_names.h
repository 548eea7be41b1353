// The names of the files that a gathered site version leaves for the relay to serve, in two places:
//
// In the version's site directory (mirror_folder_names.h):
//   "__sdirlistc"            the signed file list as the parent sent it (compressed)
//   "__sdirlist"             the same list expanded
//   "__fullsite"             the full-site archive of the version (formats/site_archive.h)
//   "__alldiffs"             the archive of the difference sites to this version
//   "__diffsite<version>"    the update archive from that earlier version to this one
//
// In a many-version site's dirlist folder ("manydirlists_<id>"), each named by the SHA-1 text of a
// many-version list (ManyVersionDigestText):
//   "__mdirlistc_<sha1>"                 the list of that many-version as received (compressed)
//   "__mdirlist_<sha1>"                  the same list expanded
//   "__fullsite_<sha1>"                  the full-site archive of that many-version
//   "__alldiffs_<sha1>"                  the archive of the difference sites to it
//   "__diffsite_<sha1 from>_to_<sha1>"   the update archive from one many-version to another
//
// Pure functions, thread-safe; the crypto library must be started (the SHA-1 texts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/many_version_maker.h"

inline constexpr const char* kSingleDirListName = "__sdirlist";
inline constexpr const char* kCompressedSingleDirListName = "__sdirlistc";
inline constexpr const char* kSingleFullSiteName = "__fullsite";
inline constexpr const char* kSingleAllDiffsName = "__alldiffs";
inline constexpr const char* kSingleDiffSitePrefix = "__diffsite";

inline constexpr const char* kManyDirListPrefix = "__mdirlist_";
inline constexpr const char* kCompressedManyDirListPrefix = "__mdirlistc_";
inline constexpr const char* kManyFullSitePrefix = "__fullsite_";
inline constexpr const char* kManyAllDiffsPrefix = "__alldiffs_";
inline constexpr const char* kManyDiffSitePrefix = "__diffsite_";

// "__diffsite<version>".
std::string SingleDiffSiteName(std::uint32_t fromVersion);
// The prefix followed by the list's SHA-1 text.
std::string ManyDirListFileName(const char* prefix, const ManyVersionList& manyVersion);
// "__diffsite_<from>_to_<to>", of two SHA-1 texts.
std::string ManyDiffSiteName(std::string_view fromDigestText, std::string_view toDigestText);

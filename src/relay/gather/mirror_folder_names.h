// The names of the site folders in the mirror sites folder (GatherOptionsManager::
// GetMirrorSitesFolder) and the site ids they carry, in decimal:
//
//   "daruravidumirror_<id>_<version>"        a site version without a many-version list
//   "manymirror_<id>_<version>_<CRC>"        a site version with a many-version list (ManyVersionCRC)
//   "manydirlists_<id>"                      a many-version site's file lists and archives
//                                            (dirlist_file_names.h)
//
// Numbers are decimal without leading zeros. When read, prefixes are matched ignoring ASCII case;
// the id runs from the prefix to the next "_" or the end. A "daruravidumirror_" name counts only
// from 19 characters on, a "manydirlists_" name only from 14, a "manymirror_" name only from 12.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_location.h"
#include "foundation/many_version_maker.h"

inline constexpr std::string_view kSiteMirrorFolderPrefix = "daruravidumirror_";
inline constexpr std::string_view kManyMirrorFolderPrefix = "manymirror_";
inline constexpr std::string_view kManyDirListsFolderPrefix = "manydirlists_";

enum class MirrorFolderKind { Other, SiteMirror, ManyMirror, ManyDirLists };

struct MirrorFolderName {
    MirrorFolderKind kind = MirrorFolderKind::Other;
    // Absent when the id is not a decimal of 32 bits.
    std::optional<std::uint32_t> siteID;
};

MirrorFolderName ParseMirrorFolderName(std::string_view name);

// The largest site id that an entry of the folder is named after; 0 for none or a missing folder.
std::uint32_t LargestMirrorFolderSiteID(const FileLocation& mirrorSitesFolder);

// The folder of a site version: "daruravidumirror_" for an empty many-version list, else
// "manymirror_".
std::string SiteVersionFolderName(std::uint32_t siteID, std::uint32_t version, const ManyVersionList& manyVersion);
FileLocation SiteVersionDirectory(const FileLocation& mirrorSitesFolder, std::uint32_t siteID, std::uint32_t version,
                                  const ManyVersionList& manyVersion);
// "manydirlists_<id>".
std::string ManyDirListsFolderName(std::uint32_t siteID);

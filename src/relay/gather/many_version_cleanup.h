// The cleanup after a many-version site has gathered a new version: the site keeps the newest
// GetNumVersionsToServe many-versions it has lists for, with their site directories and dirlist
// files; everything older goes, and so does every gather cache file that no list refers to.
//
// CleanUpManyVersionSite, in this order:
// 1. Reads every "__mdirlist_" list of the site dirlist folder for its many-version and version (a
//    later list of the same many-version replaces the version). A list that does not read ends the
//    cleanup with its error, before anything is deleted.
// 2. Keeps the newest GetNumVersionsToServe many-versions (the order of many_version_list.h), and
//    the committed one whatever its place: every file of the folder whose name holds the SHA-1 text
//    of one, and each one's site directory.
// 3. Deletes every other file of the folder ("Cleanup: error deleting <path>: <error>" under "debug"
//    for one that cannot be).
// 4. When it deleted any, deletes the cache files no list refers to any more
//    (DeleteUnreferencedCacheFiles, gather_cache.h; its failure is logged under "debug" as
//    "DeleteUnreferencedCacheFiles error: <error>").
// 5. DeleteOldManyMirrorDirectories: every "manymirror_<id>_..." directory of the mirror sites
//    folder not kept (names compared ignoring ASCII case), with everything in it, by the rule of
//    site_version_window.h (never the committed location, never one being written); one that cannot
//    be deleted is logged under "debug" ("DeleteOldManyMirrorDirectories: error deleting <path>:
//    <error>") and the walk goes on. "daruravidumirror_" directories are never touched here.
// So with GetNumVersionsToServe 0 the committed version alone remains.
//
// Runs on the gather thread of the site, after the gather's outcome was reported; takes no lock of
// its own but those of site_version_window.h.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "base/character_classes.h"
#include "base/file_location.h"
#include "relay/gather/site_version_window.h"

// Folder names of the mirror sites folder, compared ignoring ASCII case.
struct FolderNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return Ascii::CompareIgnoringCase(ConstData(std::string_view(a)), ConstData(std::string_view(b))) < 0;
    }
};
using FolderNameSet = std::set<std::string, FolderNameLess>;

void DeleteOldManyMirrorDirectories(const FileLocation& mirrorSitesFolder, std::uint32_t siteID,
                                    const FolderNameSet& keep, const CommittedSiteQuery& committed);

void CleanUpManyVersionSite(const FileLocation& siteDirListFolder, const FileLocation& mirrorSitesFolder,
                            const FileLocation& cacheFolder, std::uint32_t siteID, std::uint32_t numVersionsToServe,
                            const CommittedSiteQuery& committed);

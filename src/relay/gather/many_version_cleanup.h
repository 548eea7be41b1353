// The cleanup after a many-version site has gathered a new version: the site keeps the newest
// GetNumVersionsToServe many-versions it has lists for, with their site directories and dirlist
// files; everything older goes, and so does every gather cache file that no list refers to.
//
// The steps, each its own function:
// - DeleteOldManyMirrorDirectories: every "manymirror_<id>_..." directory of the mirror sites
//   folder not kept (names compared ignoring ASCII case), with everything in it. "daruravidumirror_"
//   directories are never touched here.
//
// A deletion that fails is logged under "debug" ("DeleteOldManyMirrorDirectories: error deleting
// <path>: <error>") and the walk goes on: the cleanup as a whole never fails for one.
//
// Runs on the gather thread of the site; takes no lock of its own.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "base/character_classes.h"
#include "base/file_location.h"

// Folder names of the mirror sites folder, compared ignoring ASCII case.
struct FolderNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return Ascii::CompareIgnoringCase(ConstData(std::string_view(a)), ConstData(std::string_view(b))) < 0;
    }
};
using FolderNameSet = std::set<std::string, FolderNameLess>;

void DeleteOldManyMirrorDirectories(const FileLocation& mirrorSitesFolder, std::uint32_t siteID,
                                    const FolderNameSet& keep);

// The site version directories of the mirror sites folder: how one is made ready to be filled, the
// window of versions the relay keeps, and the one rule every deletion of a site version directory
// follows: the copy the gather state has committed is never deleted, nor a directory another
// activity is writing.
//
// A directory is made ready (PrepareSiteVersionDirectory) under its mirror directory lock: created,
// or when it exists (left by a failed or cancelled gather or install of the same version), emptied
// of its plain files; its subdirectories stay.
//
// The window of a single-version site (DeleteOlderSiteVersions), after version V was gathered or
// unpacked: the "daruravidumirror_<id>_<n>" directories with V - min(V + 1, N) + 1 <= n <= V stay,
// N being "_KVRGather_Download_NumVersionsToServe"; the others go with everything in them. So with
// N = 7 and V = 10 versions 4 to 10 stay, with V = 2 versions 0 to 2. A name whose tail is not a
// decimal number is no version directory and stays. Many-version sites keep theirs as
// many_version_cleanup.h says.
//
// The committed copy. The window is cut after the new version's outcome was reported, and the
// committed copy may meanwhile be another one than the version just gathered (an archive installed a
// newer one, or the new one was not newer). Each deletion therefore first takes the directory's
// mirror directory lock (mirror_directory_lock.h; a directory being written is skipped), then asks
// the gather state for the committed location, and deletes only another directory. A directory can
// become committed only through the holder of its lock, so the answer holds until the deletion is
// done. With N = 0 the committed version alone remains.
//
// Runs on the thread that reported the outcome; takes the locks said above, one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/file_location.h"
#include "foundation/many_version_maker.h"

class GatherState;

// Creates the directory, or deletes the plain files directly in it; the file errors pass on.
void PrepareSiteVersionDirectory(const FileLocation& directory);

// What a site has committed at one moment: the location (empty for none) and its many-version list.
struct CommittedSiteVersion {
    std::string location;
    ManyVersionList manyVersion{};
};
// Asked anew before each deletion.
using CommittedSiteQuery = std::function<CommittedSiteVersion()>;

// The gather state's committed copy of the site; none when the site has no record (an action-site
// epoch reset dropped it).
CommittedSiteQuery CommittedCopyOf(GatherState& state, std::uint32_t siteID);

// Deletes the directory with everything in it unless another activity holds its lock or it is the
// committed location (compared ignoring ASCII case). True when it was deleted; the file errors of
// the deletion pass on.
bool RemoveUncommittedSiteDirectory(const FileLocation& directory, const CommittedSiteQuery& committed);

// The window of a single-version site after `newVersion`; a directory that cannot be deleted is
// logged under "critical" and the others are still tried.
void DeleteOlderSiteVersions(const FileLocation& mirrorSitesFolder, std::uint32_t siteID, std::uint32_t newVersion,
                             std::uint32_t numVersionsToServe, const CommittedSiteQuery& committed);

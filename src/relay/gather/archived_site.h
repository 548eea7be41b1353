// Installing an archived site: a whole site version delivered as an entry archive
// (formats/entry_archive.h) holding the version's files and a "Manifest" (manifest_receiver.h) that
// names the site and the version. The relay installs it as its mirror of the site, exactly as a
// successful gather would, when it is newer than the copy the relay holds.
//
// UnpackArchivedSite, in this order:
// 1. Unpacks the archive into a new temporary directory ("temp...") in the mirror sites folder,
//    deleted at the end whatever happens.
// 2. Reads its "Manifest" (the name found ignoring ASCII case).
// 3. The site's id from the gather map, a new one for a new URL (UnableToGenerateSiteID when none).
// 4. The check. When the tree holds the site's signed directory list "__sdirlist", the list must
//    verify under the site's masthead (crypto/signed_file_list.h, as a gather reads the parent's
//    reply), name the manifest's version, and every entry's file must be in the tree with the
//    entry's SHA-1 (site_content_check.h); any mismatch refuses the archive with ArchivedSiteRefused,
//    before anything is installed. An archive without the list is installed unverified, which is
//    logged under "critical".
// 5. Locks the site directory "daruravidumirror_<id>_<version>" (mirror_directory_lock.h; a locked
//    one throws the lock's error).
// 6. Installs only when the gather state has no committed copy of the URL or its committed version is
//    below the manifest's: marks the site pending (GatherState::PrepareArchiveLoad, which may time
//    out with ArchiveLoadTimedOut), makes the directory ready (site_version_window.h), copies the tree
//    into it, and reports SuccessfulSiteGather "Successfully unpacked archived site." with the
//    manifest's version and many-version. A step of the install that fails reports FailedSiteGather
//    with its text, and the failure passes on.
// 7. With the lock released, cuts the window of versions kept after the installed one
//    (site_version_window.h).
//
// Runs on the gather service loop's thread. The options, the gather state and the map are not owned.
#pragma once

#include "base/exceptions.h"
#include "base/file_location.h"

class GatherOptionsManager;
class GatherState;
class URLToGatherIDMap;

// The archive failed its check; the text says why.
class ArchivedSiteRefused : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// True when the archive was installed, false when the relay holds its version or a newer one.
bool UnpackArchivedSite(const FileLocation& archive, GatherOptionsManager& options, GatherState& gatherState,
                        URLToGatherIDMap& gatherMap);

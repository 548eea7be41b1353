#include "relay/gather/archived_site.h"

#include <string>

#include "crypto/signed_file_list.h"
#include "formats/entry_archive.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/manifest_receiver.h"
#include "relay/gather/mirror_directory_lock.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/site_content_check.h"
#include "relay/gather/site_version_window.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/service/gather_options_manager.h"

namespace {

constexpr const char* kManifestName = "Manifest";

// The archive makers' spelling may differ from ours: the name is matched ignoring ASCII case.
FileLocation FindManifest(const FileLocation& tree) {
    DirectoryScan scan(tree, kManifestName);
    if (!scan.IsValid() || scan.Current().IsDirectory())
        throw ArchivedSiteRefused("The archive holds no " + std::string(kManifestName));
    return scan.Current().GetLocation();
}

// True when the tree carries the site's signed list and passed its check; false when it has none.
bool VerifyArchivedSite(const FileLocation& tree, const SiteManifest& manifest, const GatherOptionsManager& options) {
    const FileLocation listFile = tree.MakeChild(kSingleDirListName);
    if (!FileAttributes(listFile).Exists()) return false;
    STDFileList list;
    try {
        ReadSiteFileList(ConstData(std::string_view(manifest.siteURL)), listFile, list, 0, options);
    } catch (const std::exception& error) {
        throw ArchivedSiteRefused("The archive's " + std::string(kSingleDirListName) +
                                  " does not verify: " + error.what());
    }
    if (list.GetVersion() != manifest.version)
        throw ArchivedSiteRefused("The archive's " + std::string(kSingleDirListName) + " names version " +
                                  std::to_string(list.GetVersion()) + ", its manifest version " +
                                  std::to_string(manifest.version));
    if (!SiteDirectoryPassesCheck(tree, list))
        throw ArchivedSiteRefused("The archive's files do not match the SHA-1 values of its " +
                                  std::string(kSingleDirListName));
    return true;
}

bool IsNewerThanCommitted(GatherState& gatherState, const SiteManifest& manifest) {
    return !gatherState.HasCommittedLocation(manifest.siteURL) ||
           gatherState.GetCommittedVersion(manifest.siteURL) < manifest.version;
}

void Install(const FileLocation& tree, const FileLocation& siteDirectory, std::uint32_t siteID,
             const SiteManifest& manifest, GatherState& gatherState) {
    gatherState.PrepareArchiveLoad(siteID);
    try {
        PrepareSiteVersionDirectory(siteDirectory);
        CopyDirectoryTree(tree, siteDirectory, ExistingFiles::Replace);
        gatherState.SuccessfulSiteGather(siteID, "Successfully unpacked archived site.", manifest.version,
                                         manifest.manyVersion, manifest.expectedVersion, siteDirectory.ToString());
    } catch (...) {
        gatherState.FailedSiteGather(siteID, manifest.expectedVersion, CurrentExceptionText());
        throw;
    }
}

}  // namespace

bool UnpackArchivedSite(const FileLocation& archive, GatherOptionsManager& options, GatherState& gatherState,
                        URLToGatherIDMap& gatherMap) {
    const FileLocation mirrorSites = options.GetMirrorSitesFolder();
    CreateDirectoryTree(mirrorSites);
    const TemporaryDirectoryLocation tree(mirrorSites);
    ExtractArchiveFile(archive, tree.GetLocation(), 0);
    SiteManifest manifest;
    ReadManifestFile(FindManifest(tree.GetLocation()), manifest);
    const std::uint32_t siteID = gatherMap.GetOrCreateGatherID(manifest.siteURL);
    if (siteID == 0) throw UnableToGenerateSiteID();
    const bool verified = VerifyArchivedSite(tree.GetLocation(), manifest, options);

    const FileLocation siteDirectory = SiteVersionDirectory(mirrorSites, siteID, manifest.version, ManyVersionList{});
    {
        MirrorDirectoryLockToken token;
        token.AcquireLock(siteDirectory.ToString());
        if (!IsNewerThanCommitted(gatherState, manifest)) return false;
        Install(tree.GetLocation(), siteDirectory, siteID, manifest, gatherState);
    }
    if (!verified)
        KVR_LOG("critical") << "Installed the archived site " << manifest.siteURL << " version " << manifest.version
                            << " from " << archive.ToString() << " without verification: it holds no "
                            << kSingleDirListName;
    DeleteOlderSiteVersions(mirrorSites, siteID, manifest.version, options.GetNumVersionsToServe(),
                            CommittedCopyOf(gatherState, siteID));
    return true;
}

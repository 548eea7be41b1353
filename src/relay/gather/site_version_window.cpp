#include "relay/gather/site_version_window.h"

#include <algorithm>
#include <vector>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/mirror_directory_lock.h"
#include "relay/gather/mirror_folder_names.h"

namespace {

// The version a "daruravidumirror_<id>_<version>" name of the site carries; none for another name.
std::optional<std::uint32_t> SiteVersionOfName(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || !Ascii::EqualIgnoringCase(name.substr(0, prefix.size()), prefix))
        return std::nullopt;
    std::uint32_t version = 0;
    if (ParseDecimalUInt32(ConstData(name.substr(prefix.size())), version) != NumeralStatus::Success)
        return std::nullopt;
    return version;
}

}  // namespace

void PrepareSiteVersionDirectory(const FileLocation& directory) {
    if (!FileAttributes(directory).IsDirectory()) {
        CreateDirectoryChecked(directory);
        return;
    }
    std::vector<FileLocation> files;
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next())
        if (!scan.Current().IsDirectory()) files.push_back(scan.Current().GetLocation());
    for (const FileLocation& file : files) RemoveFile(file);
}

CommittedSiteQuery CommittedCopyOf(GatherState& state, std::uint32_t siteID) {
    return [&state, siteID] {
        try {
            const SiteStatusRecord record = state.GetSiteRecord(siteID);
            return CommittedSiteVersion{record.committedLocation, record.committedManyVersion};
        } catch (const NoSiteIDMatchesURL&) {
            return CommittedSiteVersion{};
        }
    };
}

bool RemoveUncommittedSiteDirectory(const FileLocation& directory, const CommittedSiteQuery& committed) {
    MirrorDirectoryLockToken token;
    try {
        token.AcquireLock(directory.ToString());
    } catch (const ExceptionPL&) {
        KVR_LOG("debug") << "Leaving " << directory.ToString() << ": it is being written";
        return false;
    }
    if (Ascii::EqualIgnoringCase(std::string_view(committed().location), std::string_view(directory.ToString())))
        return false;
    RemoveDirectoryTree(directory);
    return true;
}

void DeleteOlderSiteVersions(const FileLocation& mirrorSitesFolder, std::uint32_t siteID, std::uint32_t newVersion,
                             std::uint32_t numVersionsToServe, const CommittedSiteQuery& committed) {
    const std::int64_t newest = newVersion;
    const std::int64_t oldest = newest - std::min<std::int64_t>(newest + 1, numVersionsToServe) + 1;
    const std::string prefix = std::string(kSiteMirrorFolderPrefix) + std::to_string(siteID) + "_";
    std::vector<FileLocation> outside;
    for (DirectoryScan scan(mirrorSitesFolder); scan.IsValid(); scan.Next()) {
        if (!scan.Current().IsDirectory()) continue;
        const std::optional<std::uint32_t> version = SiteVersionOfName(scan.Current().GetFileName().CString(), prefix);
        if (version && (*version > newest || *version < oldest)) outside.push_back(scan.Current().GetLocation());
    }
    for (const FileLocation& directory : outside) {
        try {
            RemoveUncommittedSiteDirectory(directory, committed);
        } catch (...) {
            KVR_LOG("critical") << "Unable to delete " << directory.ToString() << ": " << CurrentExceptionText();
        }
    }
}

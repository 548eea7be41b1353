#include "relay/gather/many_version_cleanup.h"

#include <map>
#include <vector>

#include "formats/file_list_reader.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/gather/gather_cache.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/mirror_folder_names.h"

namespace {

struct ManyVersionOrder {
    bool operator()(const ManyVersionList& a, const ManyVersionList& b) const { return IsManyVersionNewer(b, a); }
};
// The site's many-versions, oldest first, with the version of each.
using SiteVersions = std::map<ManyVersionList, std::uint32_t, ManyVersionOrder>;

void RemoveEachFile(const FileLocation& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const FileLocation file = folder.MakeChild(name.c_str());
        try {
            RemoveFileOrEmptyDirectory(file);
        } catch (...) {
            KVR_LOG("debug") << "Cleanup: error deleting " << file.ToString() << ": " << CurrentExceptionText();
        }
    }
}

}  // namespace

void CleanUpManyVersionSite(const FileLocation& siteDirListFolder, const FileLocation& mirrorSitesFolder,
                            const FileLocation& cacheFolder, std::uint32_t siteID, std::uint32_t numVersionsToServe,
                            const CommittedSiteQuery& committed) {
    std::vector<std::string> names;
    SiteVersions versions;
    for (DirectoryScan scan(siteDirListFolder); scan.IsValid(); scan.Next()) {
        if (scan.Current().IsDirectory()) continue;
        std::string name = scan.Current().GetFileName().ToString();
        if (name.find(kManyDirListPrefix) != std::string::npos) {
            STDFileList list;
            ReadFileList(scan.Current().GetLocation(), 0, list);
            versions[list.GetManyVersion()] = list.GetVersion();
        }
        names.push_back(std::move(name));
    }
    FolderNameSet keep;
    const auto keepFilesOf = [&names](const ManyVersionList& manyVersion) {
        const std::string digest = ManyVersionDigestText(manyVersion);
        std::erase_if(names, [&digest](const std::string& name) { return name.find(digest) != std::string::npos; });
    };
    std::uint32_t kept = 0;
    for (auto version = versions.rbegin(); version != versions.rend() && kept < numVersionsToServe; ++version, ++kept) {
        keep.insert(SiteVersionFolderName(siteID, version->second, version->first));
        keepFilesOf(version->first);
    }
    // The served copy needs its lists whatever the window: a client told of it fetches them.
    const ManyVersionList committedManyVersion = committed().manyVersion;
    if (!IsManyVersionEmpty(committedManyVersion)) keepFilesOf(committedManyVersion);
    RemoveEachFile(siteDirListFolder, names);
    if (!names.empty()) {
        try {
            DeleteUnreferencedCacheFiles(mirrorSitesFolder, cacheFolder);
        } catch (...) {
            KVR_LOG("debug") << "DeleteUnreferencedCacheFiles error: " << CurrentExceptionText();
        }
    }
    DeleteOldManyMirrorDirectories(mirrorSitesFolder, siteID, keep, committed);
}

void DeleteOldManyMirrorDirectories(const FileLocation& mirrorSitesFolder, std::uint32_t siteID,
                                    const FolderNameSet& keep, const CommittedSiteQuery& committed) {
    const std::string prefix = std::string(kManyMirrorFolderPrefix) + std::to_string(siteID) + "_";
    std::vector<FileLocation> doomed;
    for (DirectoryScan scan(mirrorSitesFolder); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        const std::string name = entry.GetFileName().ToString();
        if (!entry.IsDirectory() || name.size() < prefix.size() ||
            !Ascii::EqualIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix) || keep.contains(name))
            continue;
        doomed.push_back(entry.GetLocation());
    }
    for (const FileLocation& directory : doomed) {
        try {
            RemoveUncommittedSiteDirectory(directory, committed);
        } catch (...) {
            KVR_LOG("debug") << "DeleteOldManyMirrorDirectories: error deleting " << directory.ToString() << ": "
                             << CurrentExceptionText();
        }
    }
}

#include "relay/gather/many_version_cleanup.h"

#include "foundation/directory_iterator.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/gather/mirror_folder_names.h"

void DeleteOldManyMirrorDirectories(const FileLocation& mirrorSitesFolder, std::uint32_t siteID,
                                    const FolderNameSet& keep) {
    const std::string prefix = std::string(kManyMirrorFolderPrefix) + std::to_string(siteID) + "_";
    for (DirectoryScan scan(mirrorSitesFolder); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        const std::string name = entry.GetFileName().ToString();
        if (!entry.IsDirectory() || name.size() < prefix.size() ||
            !Ascii::EqualIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix) || keep.contains(name))
            continue;
        try {
            RemoveDirectoryTree(entry.GetLocation());
        } catch (...) {
            KVR_LOG("debug") << "DeleteOldManyMirrorDirectories: error deleting " << entry.GetLocation().ToString()
                             << ": " << CurrentExceptionText();
        }
    }
}

#include "relay/download/download_action_folder.h"

#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/whole_file.h"
#include "relay/service/download_request_target.h"

namespace {

bool Exists(const FileLocation& folder, const char* name) {
    return FileAttributes(folder.MakeChild(name)).Exists();
}

}  // namespace

ActionFolderStatus ReadActionFolderStatus(const FileLocation& folder) {
    if (Exists(folder, "0")) return ActionFolderStatus::Succeeded;
    if (Exists(folder, "pending")) return ActionFolderStatus::Pending;
    return ActionFolderStatus::Failed;
}

std::string ReadLastFailure(const FileLocation& folder) {
    const FileLocation location = folder.MakeChild("lastFailure");
    if (!FileAttributes(location).Exists()) return std::string();
    return ReadFileText(location);
}

std::optional<DownloadedFile> FindDownloadedFile(const FileLocation& folder, std::uint32_t index) {
    const std::string pattern = "sha1_" + std::to_string(index) + "_*";
    for (DirectoryScan scan(folder, pattern.c_str()); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory()) continue;
        const std::string name = entry.GetFileName().ToString();
        return DownloadedFile{entry.GetLocation(),
                              Sha1FromHexText(std::string_view(name).substr(name.rfind('_') + 1)),
                              entry.GetSize()};
    }
    return std::nullopt;
}

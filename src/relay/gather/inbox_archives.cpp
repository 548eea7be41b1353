#include "relay/gather/inbox_archives.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "foundation/clocks.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/guarded_step.h"
#include "foundation/interruptor.h"
#include "foundation/log_manager.h"
#include "relay/gather/archived_site.h"

namespace {

constexpr const char* kArchivePattern = "archive_*";

// A file still being copied in has just been written; so has one whose time lies just ahead.
bool IsSettled(const DirectoryEntry& entry) {
    return std::llabs(GetCurrentUTCTime() - entry.GetLastWriteTime()) >= kArchiveSettleTime;
}

void KeepNewestFailedArchives(const FileLocation& failedFolder) {
    std::vector<DirectoryEntry> files;
    for (DirectoryScan scan(failedFolder); scan.IsValid(); scan.Next())
        if (!scan.Current().IsDirectory()) files.push_back(scan.Current());
    if (files.size() <= kFailedArchivesKept) return;
    std::sort(files.begin(), files.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return a.GetLastWriteTime() > b.GetLastWriteTime();
    });
    for (auto old = files.begin() + kFailedArchivesKept; old != files.end(); ++old) RemoveFile(old->GetLocation());
}

// The time of the move is the file's time in the folder, so that the oldest failure goes first.
void SetAside(const FileLocation& archive, const FileLocation& inboxFolder) {
    const FileLocation failedFolder = inboxFolder.MakeChild(kFailedArchivesFolderName);
    CreateDirectoryIfMissing(failedFolder);
    const FileLocation target(failedFolder, archive.GetName());
    ReplacePath(archive, target);
    FileItem(target).SetLastWriteTime(GetCurrentUTCTime());
    KeepNewestFailedArchives(failedFolder);
}

void ProcessArchive(const FileLocation& archive, const FileLocation& inboxFolder, GatherOptionsManager& options,
                    GatherState& gatherState, URLToGatherIDMap& gatherMap) {
    FileItem(archive).RequireExists();
    try {
        UnpackArchivedSite(archive, options, gatherState, gatherMap);
    } catch (const StopRequest&) {
        return;
    } catch (...) {
        KVR_LOG("critical") << "Failed to process archive_* file: " << CurrentExceptionText();
        RunGuardedStep("Unable to set aside a failed archive_* file: ", [&] { SetAside(archive, inboxFolder); });
        return;
    }
    try {
        RemovePath(archive);
    } catch (...) {
        // The relay holds the version now: the archive is installed and a later pass finds nothing newer.
    }
}

}  // namespace

void ProcessInboxArchives(const FileLocation& inboxFolder, GatherOptionsManager& options, GatherState& gatherState,
                          URLToGatherIDMap& gatherMap) {
    RunGuardedStep("Exception in archive_* processing loop: ", [&] {
        std::vector<FileLocation> archives;
        for (DirectoryScan scan(inboxFolder, kArchivePattern); scan.IsValid(); scan.Next())
            if (!scan.Current().IsDirectory() && IsSettled(scan.Current()))
                archives.push_back(scan.Current().GetLocation());
        for (const FileLocation& archive : archives) ProcessArchive(archive, inboxFolder, options, gatherState, gatherMap);
    });
}

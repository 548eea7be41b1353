#include "relay/download/download_plugin_inbox.h"

#include <exception>

#include "foundation/directory_iterator.h"
#include "foundation/file_operations.h"
#include "foundation/guarded_step.h"

namespace {

// A link is removed as a link; a folder only when it is empty.
void DeleteIgnoringErrors(const DirectoryEntry& entry) {
    try {
        if (entry.IsReparsePoint())
            RemoveFile(entry.GetLocation());
        else
            RemoveFileOrEmptyDirectory(entry.GetLocation());
    } catch (const std::exception&) {
    }
}

void ProcessPluginMessages(DownloadPluginManager& plugins, const FileLocation& inboxFolder) {
    for (DirectoryScan scan(inboxFolder, "plugin_*"); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        PluginFileResult result = PluginFileResult::Done;
        if (!entry.IsDirectory() || entry.IsReparsePoint())
            RunGuardedStep("Failed to process plugin_* file: ",
                           [&] { result = plugins.ProcessPluginFile(entry.GetLocation()); });
        if (result == PluginFileResult::Done) DeleteIgnoringErrors(entry);
    }
}

}  // namespace

void ServeDownloadPlugins(DownloadPluginManager& plugins, const FileLocation& inboxFolder) {
    RunGuardedStep("Exception in MarkDeadPlugins: ", [&] { plugins.MarkDeadPlugins(); });
    RunGuardedStep("Exception in plugin_* processing loop: ",
                   [&] { ProcessPluginMessages(plugins, inboxFolder); });
    RunGuardedStep("Exception in SweepDeadPlugins: ", [&] { plugins.SweepDeadPlugins(); });
}

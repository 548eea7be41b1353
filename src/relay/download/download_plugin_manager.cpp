#include "relay/download/download_plugin_manager.h"

#include <cstdlib>
#include <utility>

#include "base/const_data.h"
#include "formats/json_parser.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "net/url_info.h"
#include "platform/trusted_program.h"

namespace {

constexpr const char* kExitedUnexpectedly = "The download plugin exited unexpectedly";
constexpr const char* kPluginDeleted = "The download plugin has been deleted.";
constexpr const char* kNoErrorSpecified = "No error specified";

FileLocation PrivateFolder(const FileLocation& folder) {
    CreateDirectoryTree(folder);
    SetPathPermissions(folder, DownloadPluginManager::kInboxFolderMode);
    return folder;
}

// The scheme of the URL, or "" when it has none.
std::string ProtocolOf(const std::string& url) {
    const URLInfo info{ConstData(url)};
    return info.HasScheme() ? StringFromConstData(info.GetScheme()) : std::string();
}

std::string ProtocolOf(const DownloadRequestTarget& target) {
    return target.GetURL() ? ProtocolOf(*target.GetURL()) : std::string();
}

DownloadError GenericError(std::string text) {
    return DownloadError{DownloadErrorKind::Generic, std::move(text)};
}

// Only regular files are read. A link could lead anywhere, so it is refused here; the file reader
// refuses a FIFO or a device without opening it for good (no read that could block the loop).
void RequireRegularFile(const FileLocation& file) {
    const FileAttributes attributes(file);
    if (attributes.IsReparsePoint() || attributes.IsDirectory())
        throw NotARegularPluginFile("Not a regular file: " + file.GetPathString());
}

// Inside a handler: whether the exception in flight says that the text is no complete JSON document.
bool IsUnparsableText() {
    try {
        throw;
    } catch (const InvalidJSON&) {
        return true;
    } catch (const NoJSONValue&) {
        return true;
    } catch (const DataOverflow&) {
        return true;
    } catch (...) {
        return false;
    }
}

// Written within the unsettled age; a time ahead of the clock by more than that (a skewed copy) is
// not, so that such a file is not left waiting until the clock catches up.
bool WasWrittenRecently(const FileLocation& file) {
    const FileItem item(file);
    return std::llabs(GetCurrentUTCTime() - item.GetLastWriteTime()) <
           DownloadPluginManager::kUnsettledMessageAge;
}

}  // namespace

DownloadPluginManager DownloadPluginManager::Open(const DownloadSettingsProvider& settings,
                                                  const FileLocation& inboxFolder,
                                                  DownloadCompletionReports& reports) {
    return DownloadPluginManager(settings, inboxFolder, reports);
}

DownloadPluginManager::DownloadPluginManager(const DownloadSettingsProvider& settings,
                                             const FileLocation& inboxFolder,
                                             DownloadCompletionReports& reports)
    : m_inboxFolder(PrivateFolder(inboxFolder)),
      m_reports(reports),
      m_registry(settings.GetDownloadPluginsDatabaseFile()),
      m_nextProcessID(static_cast<std::uint64_t>(GetCurrentUTCTime() / 1'000'000)) {}

DownloadPluginManager::~DownloadPluginManager() {
    for (auto& [processID, entry] : m_processes) entry.Terminate();
    for (const auto& program : m_endingPrograms) program->Kill();
}

bool DownloadPluginManager::HasPluginForURL(const std::string& url) {
    const URLInfo info{ConstData(url)};
    return info.HasScheme() && m_registry.FindPlugin(StringFromConstData(info.GetScheme())).has_value();
}

void DownloadPluginManager::AddToBatch(const DownloadRequestTarget& target, const FileLocation& destination) {
    KVR_LOG("debug") << "DownloadPluginManager: Adding download to batch "
                     << downloadRequestTargetText(target);
    const std::uint64_t downloadID = m_nextDownloadID++;
    m_batches[ProtocolOf(target)].emplace(downloadID, PluginDownload{target, destination});
}

// The batches are taken out first: whatever happens to one protocol's batch, each download is
// reported or handed to a program once.
void DownloadPluginManager::StartBatches() {
    if (m_batches.empty()) return;
    KVR_LOG("debug") << "DownloadPluginManager: About to start plugins for batch of " << m_batches.size()
                     << " downloads";
    std::map<std::string, PluginDownloads> batches = std::exchange(m_batches, {});
    for (auto& [protocol, downloads] : batches) StartBatch(protocol, std::move(downloads));
}

// A batch that cannot start leaves an entry without downloads or program; the next mark and sweep
// remove it.
void DownloadPluginManager::StartBatch(const std::string& protocol, PluginDownloads downloads) {
    const std::uint64_t processID = m_nextProcessID++;
    std::optional<std::string> program;
    try {
        program = m_registry.FindPlugin(protocol);
    } catch (...) {
        ReportAllFailed(downloads, CurrentExceptionText());
        return;
    }
    if (!program) {
        ReportAllFailed(downloads, kPluginDeleted);
        return;
    }
    DownloadPluginProcess& entry =
        m_processes.try_emplace(processID, processID, protocol, std::move(downloads)).first->second;
    try {
        entry.Start(*program, m_inboxFolder);
    } catch (...) {
        ReportAllFailed(entry.GetOutstandingDownloads(), CurrentExceptionText());
        entry.GetOutstandingDownloads().clear();
    }
}

void DownloadPluginManager::StopAll() {
    for (auto& [protocol, downloads] : std::exchange(m_batches, {})) ReportAllSuspended(downloads);
    for (auto entry = m_processes.begin(); entry != m_processes.end();) {
        entry->second.Terminate();
        ReportAllSuspended(entry->second.GetOutstandingDownloads());
        entry = m_processes.erase(entry);
    }
    for (const auto& program : std::exchange(m_endingPrograms, {})) program->Kill();
}

PluginFileResult DownloadPluginManager::ProcessPluginFile(const FileLocation& file) {
    RequireRegularFile(file);
    SharingPtr<JSONValue> document;
    try {
        document = ParseJSONFile(file);
    } catch (...) {
        if (IsUnparsableText() && WasWrittenRecently(file)) return PluginFileResult::StillBeingWritten;
        throw;
    }
    const DownloadPluginMessage message = ReadDownloadPluginMessage(*document);
    switch (message.kind) {
        case DownloadPluginMessageKind::Add:
            AddPlugin(message.protocol, message.location);
            break;
        case DownloadPluginMessageKind::Remove:
            RemovePlugin(message.protocol);
            break;
        case DownloadPluginMessageKind::Status:
            ApplyStatus(message);
            break;
        case DownloadPluginMessageKind::Unrecognized:
            KVR_LOG("debug") << "DownloadPluginManager: Unrecognized plugin message in inbox; discarding "
                             << file.GetPathString();
            break;
    }
    return PluginFileResult::Done;
}

void DownloadPluginManager::AddPlugin(const std::string& protocol, const std::string& location) {
    try {
        PosixPlatform::RequireTrustedProgram(location);
    } catch (const PosixPlatform::UntrustedProgram& refusal) {
        throw PosixPlatform::UntrustedProgram("DownloadPluginManager: Refusing plugin for protocol: \"" +
                                              protocol + "\": " + refusal.what());
    }
    KVR_LOG("critical") << "DownloadPluginManager: Adding plugin for protocol: \"" << protocol
                        << "\" Plugin file: " << location;
    m_registry.SetPlugin(protocol, location);
}

// Protocols compare byte for byte, as the registry does.
void DownloadPluginManager::RemovePlugin(const std::string& protocol) {
    KVR_LOG("critical") << "DownloadPluginManager: Removing plugin for protocol: " << protocol;
    for (auto entry = m_processes.begin(); entry != m_processes.end();) {
        if (entry->second.GetProtocol() != protocol) {
            ++entry;
            continue;
        }
        entry->second.Terminate();
        ReportAllSuspended(entry->second.GetOutstandingDownloads());
        entry = m_processes.erase(entry);
    }
    m_registry.RemovePlugin(protocol);
}

void DownloadPluginManager::ApplyStatus(const DownloadPluginMessage& message) {
    KVR_LOG("debug") << "DownloadPluginManager: received status update from plugin " << message.processID;
    const auto entry = m_processes.find(message.processID);
    if (entry == m_processes.end()) return;
    PluginDownloads& outstanding = entry->second.GetOutstandingDownloads();
    for (const DownloadPluginStatus& status : message.statuses) {
        const auto download = outstanding.find(status.downloadID);
        if (download == outstanding.end()) continue;
        if (status.success)
            m_reports.ReportSuccess(download->second.target);
        else
            m_reports.ReportFailure(download->second.target,
                                    GenericError(status.error.value_or(kNoErrorSpecified)));
        outstanding.erase(download);
    }
    if (outstanding.empty()) RemoveEntry(entry);
}

void DownloadPluginManager::MarkDeadPlugins() {
    for (auto& [processID, entry] : m_processes)
        if (!entry.IsRunning()) entry.MarkDead();
    std::erase_if(m_endingPrograms, [](const auto& program) { return !program->IsRunning(); });
}

void DownloadPluginManager::SweepDeadPlugins() {
    for (auto entry = m_processes.begin(); entry != m_processes.end();) {
        if (!entry->second.IsDead()) {
            ++entry;
            continue;
        }
        ReportAllFailed(entry->second.GetOutstandingDownloads(), kExitedUnexpectedly);
        entry = m_processes.erase(entry);
    }
}

void DownloadPluginManager::ReportAllFailed(const PluginDownloads& downloads, const std::string& text) {
    for (const auto& [downloadID, download] : downloads)
        m_reports.ReportFailure(download.target, GenericError(text));
}

void DownloadPluginManager::ReportAllSuspended(const PluginDownloads& downloads) {
    for (const auto& [downloadID, download] : downloads) m_reports.ReportSuspended(download.target);
}

void DownloadPluginManager::RemoveEntry(Processes::iterator entry) {
    const std::shared_ptr<PosixPlatform::StartedChildProcess>& program = entry->second.GetProgram();
    if (program && program->IsRunning()) m_endingPrograms.push_back(program);
    m_processes.erase(entry);
}

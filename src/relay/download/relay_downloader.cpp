#include "relay/download/relay_downloader.h"

#include <exception>
#include <optional>
#include <string>

#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/download/download_source_sequence.h"
#include "relay/download/download_state.h"
#include "relay/download/service_download_manager.h"
#include "relay/download/source_transfer.h"
#include "relay/service/parent_relay_configuration.h"

namespace {

bool CopyFound(const std::optional<FileLocation>& found, const FileLocation& location) {
    if (!found) return false;
    try {
        CopyPath(*found, location);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

DownloadError GenericError(std::string message) { return DownloadError{DownloadErrorKind::Generic, std::move(message)}; }

}  // namespace

RelayDownloader::RelayDownloader(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager,
                                 const HashIndexOptions& hashIndexOptions, Event& stopEvent)
    : m_settings(settings), m_manager(manager), m_stopEvent(stopEvent), m_hashIndex(hashIndexOptions, stopEvent) {}

// The look-up runs on the work-pass thread, so it never waits for the indexer: that is the worker's.
bool RelayDownloader::CopyFromHashIndex(const DownloadRequestTarget& target, const FileLocation& location) {
    try {
        if (target.GetSha1() && CopyFound(m_hashIndex.FindBySha1(*target.GetSha1()), location)) return true;
        return target.GetURL() && CopyFound(m_hashIndex.FindByUrl(*target.GetURL()), location);
    } catch (const std::exception&) {
        return false;
    }
}

void RelayDownloader::Download(const DownloadRequestTarget& target, const FileLocation& location,
                               ThreadGroup& threads, ThreadInterruptor& interruptor) {
    if (CopyFromHashIndex(target, location)) {
        m_manager.ReportSuccess(target);
        return;
    }
    try {
        threads.Start([this, target, location, &interruptor] { DownloadWorker(target, location, interruptor); });
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to start a download worker: " << error.what();
        throw DownloadNotStarted();
    }
}

// Every way out reports exactly once. A stop, whenever it comes, leaves the target suspended: it is
// started again once the relay runs on, without spending one of its retries.
void RelayDownloader::DownloadWorker(const DownloadRequestTarget& target, const FileLocation& location,
                                     ThreadInterruptor& interruptor) {
    try {
        if (CopyAfterRegeneration(target, location)) {
            m_manager.ReportSuccess(target);
            return;
        }
        TrySources(target, location, interruptor);
    } catch (const StopRequest&) {
        m_manager.ReportSuspended(target);
    } catch (const std::exception& error) {
        m_manager.ReportFailure(target, GenericError(error.what()));
    } catch (...) {
        m_manager.ReportFailure(target, GenericError("No diagnostic message available"));
    }
}

bool RelayDownloader::CopyAfterRegeneration(const DownloadRequestTarget& target, const FileLocation& location) {
    if (!target.GetSha1()) return false;
    const bool found = CopyFound(m_hashIndex.RegenerateAndFindBySha1(*target.GetSha1()), location);
    if (!found && m_stopEvent.IsSetWithoutWaiting()) throw StopRequest();
    return found;
}

void RelayDownloader::TrySources(const DownloadRequestTarget& target, const FileLocation& location,
                                 Interruptor& interruptor) {
    DownloadState state(m_settings);
    const ParentRelayConfiguration parent;
    const std::string server = parent.GetAgentServer();
    DownloadSourceSequence sources(target, m_settings,
                                   server.empty() ? std::nullopt : std::optional<std::string>(server));
    std::optional<DownloadError> lastError;
    for (; !sources.IsExhausted(); sources.Next()) {
        if (m_stopEvent.IsSetWithoutWaiting()) throw StopRequest();
        interruptor.CheckForInterruption();
        try {
            TransferFromSource({
                .target = target,
                .url = sources.Current(),
                .progressFile = location,
                .settings = m_settings,
                .parent = parent,
                .state = state,
                .interruptor = interruptor,
                .stopEvent = m_stopEvent,
            });
            m_manager.ReportSuccess(target);
            return;
        } catch (const StopRequest&) {
            throw;
        } catch (const std::exception& error) {
            lastError = GenericError(error.what());
        }
        KVR_LOG("debug") << "Download from " << sources.Current() << " failed: " << lastError->message;
    }
    m_manager.ReportFailure(target, lastError.value_or(GenericError("Unknown failure")));
}

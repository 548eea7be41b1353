#include "relay/download/service_download_manager.h"

#include "foundation/clocks.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/download/cached_targets.h"
#include "relay/download/completed_download.h"

// Starting queued downloads, handling their completions and pinging the clients that wait for them;
// the work pass and the queue are in service_download_manager.cpp.

namespace {

DownloadError GenericError(const std::string& message) {
    return DownloadError{DownloadErrorKind::Generic, message};
}

}  // namespace

void ServiceDownloadManager::StartQueuedDownloads() {
    const std::uint32_t limit = m_settings.GetMaxDownloadJobs();
    if (m_numInProgress >= limit) return;
    std::vector<DownloadRequestTarget> queued;
    queued.swap(m_queue);
    for (const DownloadRequestTarget& target : queued) {
        // The targets not looked at yet leave the queue; their rows stay QUEUED until the next start.
        if (StopSeen()) return;
        if (m_numInProgress >= limit || IsTargetBusy(target) || m_interruptor.IsStopFlagSet())
            m_queue.push_back(target);
        else
            StartDownload(target, false);
    }
    Collaborators().plugins.StartBatches();
}

bool ServiceDownloadManager::IsTargetBusy(const DownloadRequestTarget& target) const {
    if (!target.IsURLRequest() && m_runningURLs.contains(*target.GetURL())) return true;
    return target.GetSha1() && m_runningSHA1s.contains(target.GetSha1()->ToHex());
}

void ServiceDownloadManager::StartDownload(const DownloadRequestTarget& target, bool noPlugin) {
    try {
        KVR_LOG("debug") << "Starting download: {" << downloadRequestTargetText(target) << "}";
        if (IsTargetCached(target, m_settings, m_state)) {
            KVR_LOG("debug") << "Download is already cached on disk.";
            ProcessSuccessfulDownload(target, false);
            return;
        }
        const FileLocation location = m_settings.GetDownloadTargetFile(target);
        DownloadPlugins& plugins = Collaborators().plugins;
        if (target.IsURLRequest() || noPlugin || !plugins.HasPluginForURL(*target.GetURL())) {
            Collaborators().downloader.Download(target, location, m_threads, m_interruptor);
        } else {
            plugins.AddToBatch(target, location);
            m_pluginDownloads.insert(target);
        }
        ++m_numInProgress;
        m_state.SetDownloading(target);
        if (!target.IsURLRequest()) m_runningURLs.insert(*target.GetURL());
        if (target.GetSha1()) m_runningSHA1s.insert(target.GetSha1()->ToHex());
    } catch (const DownloadNotStarted&) {
        // Nothing runs and nothing will report: the target waits for the next pass as it was.
        m_queue.push_back(target);
    } catch (...) {
        m_state.SetFailed(target, GenericError("Error starting download: " + CurrentExceptionText()));
    }
}

// Every record is handled on its own: one that fails is marked FAILED and the others still count,
// so the in-progress count always drops by the records taken.
void ServiceDownloadManager::ProcessCompletedDownloads() {
    std::vector<Completion> completed;
    completed.swap(LockObject(m_inboxes)->completions);
    for (const Completion& completion : completed) {
        if (!completion.target.IsURLRequest()) m_runningURLs.erase(*completion.target.GetURL());
        if (completion.target.GetSha1()) m_runningSHA1s.erase(completion.target.GetSha1()->ToHex());
        ProcessCompletion(completion);
    }
    KVR_REQUIRE(m_numInProgress >= completed.size());
    m_numInProgress -= static_cast<std::uint32_t>(completed.size());
}

void ServiceDownloadManager::ProcessCompletion(const Completion& completion) {
    const DownloadRequestTarget& target = completion.target;
    bool hasRow = true;
    try {
        hasRow = m_state.GetState(target).has_value();
        if (!hasRow) {
            // The action went while its download ran: only its file is left to delete.
            RemoveFileOrEmptyDirectory(m_settings.GetDownloadTargetFile(target));
        } else if (completion.kind == CompletionKind::Failed) {
            ProcessPluginFailure(target, completion.error);
        } else if (completion.kind == CompletionKind::Succeeded) {
            ProcessSuccessfulDownload(target, true);
        } else {
            m_state.SetSuspended(target);
        }
    } catch (...) {
        try {
            m_state.SetFailed(target, GenericError("Error processing completed download: " + CurrentExceptionText()));
        } catch (...) {
            KVR_LOG("critical") << "Error processing completed download {" << downloadRequestTargetText(target)
                                << "}: " << CurrentExceptionText();
        }
    }
    m_pluginDownloads.erase(target);
    if (!hasRow || completion.kind != CompletionKind::Failed) m_pluginFailures.erase(target);
}

void ServiceDownloadManager::ProcessPluginFailure(const DownloadRequestTarget& target, const DownloadError& error) {
    if (!m_pluginDownloads.contains(target) || StopSeen()) {
        const auto remembered = m_pluginFailures.find(target);
        m_state.SetFailed(target, remembered != m_pluginFailures.end() ? remembered->second : error);
        m_pluginFailures.erase(target);
        return;
    }
    KVR_LOG("debug") << "Plugin download failed: " << downloadRequestTargetText(target) << "\r\nReason: "
                     << error.message << "\r\nAttempting download without plugin";
    m_pluginFailures.insert_or_assign(target, error);
    StartDownload(target, true);
}

void ServiceDownloadManager::ProcessSuccessfulDownload(const DownloadRequestTarget& target, bool fresh) {
    KVR_LOG("debug") << "Processing successful download: {" << downloadRequestTargetText(target) << "}";
    if (fresh) StoreCompletedDownload(target, m_settings.GetDownloadTargetFile(target), m_settings, m_state);
    if (target.IsURLRequest()) {
        const std::uint32_t actionID = *target.GetActionID();
        const FileLocation list(m_settings.GetActionURLsFolder(), m_settings.GetDownloadRequestFileName(actionID));
        ProcessMirrorRequest(ReadDownloadRequestFileOfAction(list, actionID));
    } else {
        // The file is in the cache: that is the truth even when the row moved on meanwhile (a new list
        // of its action made it NEW, or another copy of the target completed it first).
        m_state.SetCompletedFromAnyState(target);
    }
    NotifyClientsOfDownload(target);
}

void ServiceDownloadManager::NotifyClientsOfDownload(const DownloadRequestTarget& target) {
    try {
        if (StopSeen()) return;
        ClientNotifier& notifier = Collaborators().notifier;
        if (target.IsDynamic()) {
            const DigestRecord& sha1 = *target.GetSha1();
            const auto last = m_lastSHA1Ping.find(sha1.ToHex());
            if (last != m_lastSHA1Ping.end() && !NotificationIntervalPassed(last->second)) return;
            m_lastSHA1Ping.insert_or_assign(sha1.ToHex(), GetCurrentUTCTime());
            notifier.NotifyFromData(sha1);
            return;
        }
        const std::uint32_t actionID = *target.GetActionID();
        if (!IsActionCached(actionID, m_settings, m_state)) return;
        const auto last = m_lastActionPing.find(actionID);
        if (last != m_lastActionPing.end() && !NotificationIntervalPassed(last->second)) return;
        m_lastActionPing.insert_or_assign(actionID, GetCurrentUTCTime());
        notifier.NotifyWithNumber(actionID);
    } catch (...) {
        KVR_LOG("critical") << "Error broadcasting download ping: " << CurrentExceptionText();
    }
}

bool ServiceDownloadManager::NotificationIntervalPassed(TimeValue time) const {
    const TimeValue now = GetCurrentUTCTime();
    return now < time || now - time >= kNotificationInterval;
}

#include "relay/download/service_download_manager.h"

#include <algorithm>
#include <utility>

#include "base/file_errors.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/download/directory_cache.h"

// The work pass and the queue; starting downloads and handling their completions are in
// download_completion.cpp.

void ServiceDownloadManager::AddedDownloads::Add(const DownloadRequestTarget& target, bool force) {
    const auto [position, added] = m_positions.try_emplace(target, m_entries.size());
    if (added)
        m_entries.emplace_back(target, force);
    else
        m_entries[position->second].second |= force;
}

template <class Predicate>
void ServiceDownloadManager::AddedDownloads::RemoveIf(Predicate drop) {
    std::erase_if(m_entries, [&](const auto& entry) { return drop(entry.first); });
    m_positions.clear();
    for (std::size_t position = 0; position < m_entries.size(); ++position)
        m_positions.emplace(m_entries[position].first, position);
}

std::vector<std::pair<DownloadRequestTarget, bool>> ServiceDownloadManager::AddedDownloads::Take() {
    std::vector<std::pair<DownloadRequestTarget, bool>> taken;
    taken.swap(m_entries);
    m_positions.clear();
    return taken;
}

void ServiceDownloadManager::AddedDownloads::Clear() {
    m_entries.clear();
    m_positions.clear();
}

ServiceDownloadManager::ServiceDownloadManager(const DownloadSettingsProvider& settings, Event& stopEvent,
                                               Clock monotonicClock)
    : m_settings(settings), m_stopEvent(stopEvent), m_state(settings), m_clock(std::move(monotonicClock)) {
    CreateDirectoryTree(settings.GetActiveDownloadsFolder());
}

// Workers still running (AbortAll was not reached) are told to stop and joined here, before any
// member goes: their last act is a report into the inboxes.
ServiceDownloadManager::~ServiceDownloadManager() {
    m_interruptor.SetStopFlag(true);
    m_threads.JoinAll();
}

void ServiceDownloadManager::SetCollaborators(const DownloadCollaborators& collaborators) {
    m_collaborators.emplace(collaborators);
}

const DownloadCollaborators& ServiceDownloadManager::Collaborators() const {
    KVR_REQUIRE(m_collaborators.has_value());
    return *m_collaborators;
}

void ServiceDownloadManager::AddDownloads(const std::vector<DownloadRequestTarget>& targets, bool force) {
    auto inboxes = LockObject(m_inboxes);
    for (const DownloadRequestTarget& target : targets) inboxes->addedDownloads.Add(target, force);
}

void ServiceDownloadManager::AddRequestedTargets(const std::vector<DownloadRequestTarget>& targets) {
    auto inboxes = LockObject(m_inboxes);
    inboxes->requestedTargets.insert(inboxes->requestedTargets.end(), targets.begin(), targets.end());
}

void ServiceDownloadManager::AddResetRequest(std::shared_ptr<Event> done) {
    LockObject(m_inboxes)->resetRequests.push_back(std::move(done));
}

void ServiceDownloadManager::ReportSuccess(const DownloadRequestTarget& target) {
    AddCompletion({target, CompletionKind::Succeeded, {}});
}

void ServiceDownloadManager::ReportFailure(const DownloadRequestTarget& target, const DownloadError& error) {
    AddCompletion({target, CompletionKind::Failed, error});
}

void ServiceDownloadManager::ReportSuspended(const DownloadRequestTarget& target) {
    AddCompletion({target, CompletionKind::Suspended, {}});
}

void ServiceDownloadManager::AddCompletion(Completion completion) {
    LockObject(m_inboxes)->completions.push_back(std::move(completion));
}

void ServiceDownloadManager::DoWork() {
    using Step = void (ServiceDownloadManager::*)();
    static constexpr Step kSteps[] = {
        &ServiceDownloadManager::ProcessResetRequests,      &ServiceDownloadManager::RequestUpstreamDownloads,
        &ServiceDownloadManager::QueueAddedDownloads,       &ServiceDownloadManager::QueueDueRetries,
        &ServiceDownloadManager::StartQueuedDownloads,      &ServiceDownloadManager::ProcessCompletedDownloads,
        &ServiceDownloadManager::PurgeCache,                &ServiceDownloadManager::PruneNotificationTimes,
        &ServiceDownloadManager::RunRequestFilePass,
    };
    KVR_REQUIRE(m_collaborators.has_value());
    for (const Step step : kSteps) {
        if (StopSeen()) return;
        (this->*step)();
    }
}

// A stop seen anywhere also stops the downloads: the flag keeps new ones from starting and tells the
// running workers to end.
bool ServiceDownloadManager::StopSeen() {
    if (!m_stopEvent.Wait(0)) return false;
    m_interruptor.SetStopFlag(true);
    return true;
}

// A reset that fails part way goes back to the inbox, so the next pass tries it again: its requester
// waits on the event, and an action URLs folder emptied before the store would serve nothing while
// the store still says COMPLETED.
void ServiceDownloadManager::ProcessResetRequests() {
    std::vector<std::shared_ptr<Event>> requests;
    requests.swap(LockObject(m_inboxes)->resetRequests);
    if (requests.empty()) return;
    try {
        AbortAll();
        ClearAll();
        RequeueFromStore();
    } catch (...) {
        auto inboxes = LockObject(m_inboxes);
        inboxes->resetRequests.insert(inboxes->resetRequests.begin(), requests.begin(), requests.end());
        throw;
    }
    for (const std::shared_ptr<Event>& done : requests) done->Set();
}

void ServiceDownloadManager::RequestUpstreamDownloads() {
    std::vector<DownloadRequestTarget> requested;
    requested.swap(LockObject(m_inboxes)->requestedTargets);
    TargetSet requestable;
    for (const DownloadRequestTarget& target : requested) {
        if (StopSeen()) return;
        if (!IsRequestable(m_state.GetState(target))) continue;
        m_state.SetRequestSubmitted(target);
        requestable.insert(target);
    }
    if (requestable.empty()) return;
    Collaborators().upstreamRequester.RequestDownloads(
        std::vector<DownloadRequestTarget>(requestable.begin(), requestable.end()), m_threads, m_interruptor);
}

void ServiceDownloadManager::QueueAddedDownloads() {
    const auto added = LockObject(m_inboxes)->addedDownloads.Take();
    for (const auto& [target, force] : added) {
        if (StopSeen()) return;
        m_state.ResetRetryCount(target);
        QueueDownload(target, force);
    }
}

void ServiceDownloadManager::QueueDueRetries() {
    for (const DownloadRequestTarget& target : m_state.GetDue()) {
        if (StopSeen()) return;
        m_state.IncrementRetryCount(target);
        QueueDownload(target, false);
    }
}

void ServiceDownloadManager::PurgeCache() {
    if (m_lastPurge && m_clock() - *m_lastPurge < m_settings.GetCacheCleanupInterval()) return;
    PurgeDirectoryCaches(m_settings.GetSha1Folder(), m_settings.GetActiveDownloadsFolder(),
                         m_settings.GetCacheLimit(), m_settings.GetCacheCleanupAge());
    m_lastPurge = m_clock();
}

void ServiceDownloadManager::PruneNotificationTimes() {
    const auto stale = [this](const auto& entry) { return NotificationIntervalPassed(entry.second); };
    std::erase_if(m_lastActionPing, stale);
    std::erase_if(m_lastSHA1Ping, stale);
}

void ServiceDownloadManager::RunRequestFilePass() {
    Collaborators().requestFiles.RunPass();
}

void ServiceDownloadManager::QueueDownload(const DownloadRequestTarget& target, bool force) {
    const std::optional<DownloadStateRecord> row = m_state.GetState(target);
    if (!ShouldQueue(row, force)) return;
    KVR_LOG("debug") << "Queueing download"
                     << (row && row->retryCount != 0 ? " (retry #" + std::to_string(row->retryCount) + ")" : "")
                     << ": {" << downloadRequestTargetText(target) << "}";
    m_state.SetQueued(target);
    m_queue.push_back(target);
}

bool ServiceDownloadManager::IsRequestable(const std::optional<DownloadStateRecord>& row) const {
    if (!row) return true;
    switch (row->status) {
        case DownloadStateStatus::New:
        case DownloadStateStatus::Completed:
            return true;
        case DownloadStateStatus::RequestSubmitted:
        case DownloadStateStatus::Failed:
            return IsRetryDue(row->lastUpdate);
        default:
            return false;
    }
}

bool ServiceDownloadManager::ShouldQueue(const std::optional<DownloadStateRecord>& row, bool force) const {
    if (!row) return true;
    switch (row->status) {
        case DownloadStateStatus::New:
        case DownloadStateStatus::RequestSubmitted:
        case DownloadStateStatus::Completed:
        case DownloadStateStatus::Suspended:
            return true;
        case DownloadStateStatus::Failed:
            return force || IsRetryDue(row->lastUpdate);
        case DownloadStateStatus::Downloading:
        case DownloadStateStatus::Queued:
            return false;
    }
    return false;
}

bool ServiceDownloadManager::IsRetryDue(TimeValue lastUpdate) const {
    const TimeValue now = GetCurrentUTCTime();
    return now < lastUpdate || now - lastUpdate >= m_settings.GetRetryInterval();
}

void ServiceDownloadManager::ProcessMirrorRequest(const DownloadRequestFile& request) {
    DropActionTargets(request.actionID);
    if (!request.add) {
        m_state.DeleteAction(request.actionID);
        return;
    }
    m_state.ReplaceIndexedDownloads(request.actionID, request.targets);
    m_state.SetCompletedFromAnyState(DownloadRequestTarget::URLRequest(request.actionID));
    for (const DownloadRequestTarget& target : request.targets) QueueDownload(target, false);
}

// Only the URL request and the indexed targets: those are what a new list replaces. A dynamic target
// of the action keeps its place; dropped, its QUEUED row would wait for a restart.
void ServiceDownloadManager::DropActionTargets(std::uint32_t actionID) {
    const auto ofTheList = [actionID](const DownloadRequestTarget& target) {
        return *target.GetActionID() == actionID && !target.IsDynamic();
    };
    std::erase_if(m_queue, ofTheList);
    auto inboxes = LockObject(m_inboxes);
    std::erase_if(inboxes->requestedTargets, ofTheList);
    inboxes->addedDownloads.RemoveIf(ofTheList);
}

void ServiceDownloadManager::RequeueFromStore() {
    KVR_REQUIRE(m_collaborators.has_value());
    for (const DownloadRequestTarget& target : m_state.GetSuspended()) QueueDownload(target, true);
    m_interruptor.SetStopFlag(false);
}

// Every target that cannot be marked is logged and the rest still are: a stop leaves no target QUEUED
// that nothing will start.
void ServiceDownloadManager::AbortAll() {
    m_interruptor.SetStopFlag(true);
    m_threads.JoinAll();
    Collaborators().plugins.StopAll();
    ProcessCompletedDownloads();
    for (const DownloadRequestTarget& target : m_queue) {
        try {
            m_state.SetSuspended(target);
        } catch (...) {
            KVR_LOG("critical") << "Unable to suspend download {" << downloadRequestTargetText(target)
                                << "}: " << CurrentExceptionText();
        }
    }
}

// The active-downloads folder is made again when something removed it: a reset must not fail for
// want of a folder to empty.
void ServiceDownloadManager::ClearAll() {
    auto inboxes = LockObject(m_inboxes);
    m_numInProgress = 0;
    m_state.DeleteAll();
    m_queue.clear();
    m_runningURLs.clear();
    m_runningSHA1s.clear();
    inboxes->requestedTargets.clear();
    inboxes->addedDownloads.Clear();
    inboxes->completions.clear();
    const FileLocation activeDownloads = m_settings.GetActiveDownloadsFolder();
    if (activeDownloads.IsEmpty()) throw EmptyFileLocationError();
    CreateDirectoryTree(activeDownloads);
    RemoveDirectoryContents(activeDownloads);
}

// ServiceDownloadManager: the one place that decides which downloads the relay performs and when.
//
// Everyone else only drops records into its inboxes, from any thread, and returns at once:
//   AddDownloads          targets to fetch (cache misses, download pings, the parent's answers), each
//                         with a force flag; a target already waiting is kept once, its flags OR'ed
//   AddRequestedTargets   targets to ask the parent for (child relays' download requests)
//   AddResetRequest       a new action-site epoch: drop every download (RequestActionSiteReset too)
//   Report...             the outcome of a started download (downloaders and download plug-ins)
// All decisions are taken by DoWork, one work pass, run over and over by the relay's background loop:
//   1 reset requests: AbortAll, ClearAll, RequeueFromStore, then each request's event is set
//   2 requested targets not asked for lately go to the parent (the upstream requester), marked
//     REQUEST_SUBMITTED
//   3 added downloads are queued (their retry count reset first)
//   4 the store's due targets (NEW, and FAILED ones whose retry time has come) are queued
//   5 queued targets start, at most "_KVRGather_Download_MaxDownloadJobs" at a time, never two with
//     the same URL or SHA-1 at once: through a download plug-in when one serves the URL, else the
//     downloader; a target already in the cache completes at once
//   6 completions: a success is verified and stored in the cache (an action's download list is read
//     and its downloads queued), then marked COMPLETED and clients are pinged once the action is
//     complete (at most every ten minutes per action or SHA-1); a plug-in's failure is tried once more
//     by the downloader, and the plug-in's error kept if that fails too
//   7 the cache purge, on the first pass and then at most once an hour
//   8 ping times older than ten minutes are forgotten
//   9 one pass of the download request file processor
// The stop event is looked at before every step; once it is set, no further step runs, the interrupt
// flag is set, and no download starts until RequeueFromStore clears it again.
//
// Queueing (QueueDownload). A target is queued, and set QUEUED in the store, when it has no row or is
// NEW, REQUEST_SUBMITTED, COMPLETED or SUSPENDED; a FAILED one only when forced or once
// "_KVRGather_Download_RetryMinutes" have passed since its last change (or that change lies in the
// future); a QUEUED or DOWNLOADING one never. Every change of state is written to the download state
// store at once; the manager keeps only the queue and its bookkeeping in memory.
//
// Start-up builds the manager, sets its collaborators (SetCollaborators), calls RequeueFromStore once
// (SUSPENDED targets are queued again) and only then starts the loop; at shutdown, after the loop
// ended, AbortAll stops every download (workers joined, plug-in programs ended, their completions
// processed) and marks the targets still queued SUSPENDED.
//
// Threads. DoWork, RequeueFromStore, AbortAll, ProcessMirrorRequest, QueueDownload and
// GetInProgressCount belong to one thread at a time (the loop's; start-up's before and after it). The
// inboxes sit behind one lock of their own, held only to append or to take a whole inbox. Downloads
// run on the manager's thread group with its ThreadInterruptor, which AbortAll and a seen stop set.
// The manager's DownloadState connection is used on the work-pass thread only. The settings, the stop
// event and the collaborators must outlive the manager; destroying it stops and joins its workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/time_value.h"
#include "foundation/clocks.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/locked_object.h"
#include "foundation/thread_group.h"
#include "relay/download/download_completion_reports.h"
#include "relay/download/download_plugins.h"
#include "relay/download/download_request_file.h"
#include "relay/download/download_request_file_processor.h"
#include "relay/download/download_state.h"
#include "relay/download/downloader.h"
#include "relay/download/upstream_download_requester.h"
#include "relay/register/client_notifier.h"
#include "relay/service/action_site_reset_receiver.h"
#include "relay/service/download_settings_provider.h"

// The manager's collaborators, built by start-up around it; none owned.
struct DownloadCollaborators {
    UpstreamDownloadRequester& upstreamRequester;
    Downloader& downloader;
    ClientNotifier& notifier;
    DownloadPlugins& plugins;
    DownloadRequestFileProcessor& requestFiles;
};

class ServiceDownloadManager : public ActionSiteResetReceiver, public DownloadCompletionReports {
  public:
    // Monotonic microseconds, timing the cache purge.
    using Clock = std::function<std::int64_t()>;

    // Two downloads pinged about within this time give one ping (microseconds).
    static constexpr std::int64_t kNotificationInterval = 600'000'000;

    // Opens the manager's connection to the download state (SQLite::Error) and creates the
    // active-downloads folder when missing (file errors).
    ServiceDownloadManager(const DownloadSettingsProvider& settings, Event& stopEvent,
                           Clock monotonicClock = GetMonotonicTime);
    ~ServiceDownloadManager() override;
    ServiceDownloadManager(const ServiceDownloadManager&) = delete;
    ServiceDownloadManager& operator=(const ServiceDownloadManager&) = delete;

    // Before the first DoWork, RequeueFromStore or AbortAll.
    void SetCollaborators(const DownloadCollaborators& collaborators);

    // The inboxes; any thread.
    void AddDownloads(const std::vector<DownloadRequestTarget>& targets, bool force);
    void AddRequestedTargets(const std::vector<DownloadRequestTarget>& targets);
    // `done` is set once every download was stopped, the store emptied and the active downloads
    // deleted.
    void AddResetRequest(std::shared_ptr<Event> done);
    void RequestActionSiteReset(std::shared_ptr<Event> done) override { AddResetRequest(std::move(done)); }
    void ReportSuccess(const DownloadRequestTarget& target) override;
    void ReportFailure(const DownloadRequestTarget& target, const DownloadError& error) override;
    void ReportSuspended(const DownloadRequestTarget& target) override;

    // One work pass. A step's exception leaves it: the later steps wait for the next pass.
    void DoWork();
    // Queues every SUSPENDED target (forced), then clears the interrupt flag.
    void RequeueFromStore();
    void AbortAll();
    // Applies an action's download list: the action's queued and waiting URL request and indexed
    // targets are dropped; "-" deletes the action's rows; "+" replaces its indexed rows by the list's
    // (NEW), marks its URL request COMPLETED and queues each listed target.
    void ProcessMirrorRequest(const DownloadRequestFile& request);
    void QueueDownload(const DownloadRequestTarget& target, bool force);
    // True when the time (UTC microseconds) lies in the future or at least the retry interval back.
    bool IsRetryDue(TimeValue lastUpdate) const;
    // Downloads started and not yet completed (plug-in downloads included).
    std::uint32_t GetInProgressCount() const { return m_numInProgress; }

  private:
    enum class CompletionKind { Failed = 0, Succeeded = 1, Suspended = 2 };
    struct Completion {
        DownloadRequestTarget target;
        CompletionKind kind;
        DownloadError error;
    };
    // Added downloads in arrival order, each target once.
    class AddedDownloads {
      public:
        void Add(const DownloadRequestTarget& target, bool force);
        template <class Predicate>
        void RemoveIf(Predicate drop);
        std::vector<std::pair<DownloadRequestTarget, bool>> Take();
        void Clear();

      private:
        std::vector<std::pair<DownloadRequestTarget, bool>> m_entries;
        std::map<DownloadRequestTarget, std::size_t, DownloadRequestTargetLess> m_positions;
    };
    struct Inboxes {
        std::vector<std::shared_ptr<Event>> resetRequests;
        std::vector<DownloadRequestTarget> requestedTargets;
        AddedDownloads addedDownloads;
        std::vector<Completion> completions;
    };
    using TargetSet = std::set<DownloadRequestTarget, DownloadRequestTargetLess>;

    // The work pass (service_download_manager.cpp).
    bool StopSeen();
    void ProcessResetRequests();
    void RequestUpstreamDownloads();
    void QueueAddedDownloads();
    void QueueDueRetries();
    void PurgeCache();
    void PruneNotificationTimes();
    void RunRequestFilePass();
    bool IsRequestable(const std::optional<DownloadStateRecord>& row) const;
    bool ShouldQueue(const std::optional<DownloadStateRecord>& row, bool force) const;
    void DropActionTargets(std::uint32_t actionID);
    void ClearAll();
    void AddCompletion(Completion completion);
    const DownloadCollaborators& Collaborators() const;

    // Starts and completions (download_completion.cpp).
    void StartQueuedDownloads();
    bool IsTargetBusy(const DownloadRequestTarget& target) const;
    void StartDownload(const DownloadRequestTarget& target, bool noPlugin);
    void ProcessCompletedDownloads();
    void ProcessCompletion(const Completion& completion);
    void ProcessPluginFailure(const DownloadRequestTarget& target, const DownloadError& error);
    void ProcessSuccessfulDownload(const DownloadRequestTarget& target, bool fresh);
    void NotifyClientsOfDownload(const DownloadRequestTarget& target);
    bool NotificationIntervalPassed(TimeValue time) const;

    const DownloadSettingsProvider& m_settings;
    Event& m_stopEvent;
    std::optional<DownloadCollaborators> m_collaborators;
    std::uint32_t m_numInProgress = 0;
    ThreadInterruptor m_interruptor;
    ThreadGroup m_threads;
    DownloadState m_state;
    Clock m_clock;
    std::optional<std::int64_t> m_lastPurge;  // monotonic time of the last purge
    std::vector<DownloadRequestTarget> m_queue;
    std::set<std::string> m_runningURLs;
    std::set<std::string> m_runningSHA1s;  // lower-case hexadecimal
    TargetSet m_pluginDownloads;
    std::map<DownloadRequestTarget, DownloadError, DownloadRequestTargetLess> m_pluginFailures;
    std::map<std::uint32_t, TimeValue> m_lastActionPing;
    std::map<std::string, TimeValue> m_lastSHA1Ping;  // by lower-case hexadecimal SHA-1
    Guarded<Inboxes> m_inboxes;
};

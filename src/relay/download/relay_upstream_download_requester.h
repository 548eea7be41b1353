// RelayUpstreamDownloadRequester: the relay's own UpstreamDownloadRequester
// (upstream_download_requester.h), which asks the parent relay to make files available that clients
// or child relays asked this relay for.
//
// RequestDownloads starts one exchange on the manager's thread group and returns; each exchange is
// independent, with no queue of its own. The exchange posts the targets to the parent's
// "DownloadRequest" (download_request_posting.h: the agent's "Server1" with "DownloadRequest"
// appended, through the parent's proxy settings, 60 seconds per batch), and hands every target the
// parent answers Available back to the manager (AddDownloads, not forced), in the order of the
// parent's answer, each target once. Targets answered InProcess or not at all stay REQUEST_SUBMITTED
// and are asked for again when a child asks once more after the retry interval.
//
// A parent URL that is empty or does not read fails the exchange: that is logged at "critical" (at
// most once a minute), since the children meanwhile hear InProcess for files that never come.
// The manager's interruptor and the stop event end an exchange in progress.
//
// Built once at start-up; the manager and the stop event must outlive it, and the manager joins the
// exchanges (AbortAll) before it goes.
#pragma once

#include <vector>

#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/locked_object.h"
#include "foundation/thread_group.h"
#include "foundation/worker_failure_log.h"
#include "relay/download/upstream_download_requester.h"
#include "relay/service/download_request_target.h"

class ServiceDownloadManager;

class RelayUpstreamDownloadRequester : public UpstreamDownloadRequester {
  public:
    RelayUpstreamDownloadRequester(ServiceDownloadManager& manager, Event& stopEvent);

    void RequestDownloads(const std::vector<DownloadRequestTarget>& targets, ThreadGroup& threads,
                          ThreadInterruptor& interruptor) override;

  private:
    void RequestWorker(const std::vector<DownloadRequestTarget>& targets, ThreadInterruptor& interruptor);

    ServiceDownloadManager& m_manager;
    Event& m_stopEvent;
    // Shared by the exchanges running at once.
    Guarded<WorkerFailureLog> m_failures{WorkerFailureLog("Download requests to the parent failed: "), {}};
};

// UpstreamDownloadRequester: how the download manager asks the relay's parent to make targets
// available that clients or child relays asked this relay for.
//
// RequestDownloads returns at once: the exchange runs on a worker the requester starts on the
// manager's thread group, polls the interruptor, and hands the targets the parent reports available
// back to the manager (AddDownloads). Targets it does not hand back stay REQUEST_SUBMITTED.
//
// Called on the manager's work-pass thread only. The relay's upstream requester
// (relay_upstream_download_requester.h) implements it.
#pragma once

#include <vector>

#include "foundation/interruptor.h"
#include "foundation/thread_group.h"
#include "relay/service/download_request_target.h"

class UpstreamDownloadRequester {
  public:
    virtual ~UpstreamDownloadRequester() = default;
    virtual void RequestDownloads(const std::vector<DownloadRequestTarget>& targets, ThreadGroup& threads,
                                  ThreadInterruptor& interruptor) = 0;
};

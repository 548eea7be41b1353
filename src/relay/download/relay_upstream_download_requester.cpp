#include "relay/download/relay_upstream_download_requester.h"

#include <exception>
#include <map>

#include "http/get_stop_functor.h"
#include "relay/download/download_request_posting.h"
#include "relay/download/download_response.h"
#include "relay/download/service_download_manager.h"
#include "relay/service/parent_relay_configuration.h"

namespace {

// Stops a post once the manager's interruptor or the stop event is set; asked from any thread.
class RequestStop : public GetStopFunctor {
  public:
    RequestStop(ThreadInterruptor& interruptor, Event& stopEvent) : m_interruptor(interruptor), m_stopEvent(stopEvent) {}

    bool ShouldStop() override { return m_stopEvent.IsSetWithoutWaiting() || m_interruptor.IsStopFlagSet(); }

  private:
    ThreadInterruptor& m_interruptor;
    Event& m_stopEvent;
};

// The response the parent gives a target whose file it has.
DownloadResponse AvailableResponse(const DownloadRequestTarget& target) {
    return DownloadResponse{.hash = target.GetSha1(),
                            .actionID = target.GetActionID(),
                            .index = target.GetIndex(),
                            .status = DownloadResponseStatus::Available};
}

}  // namespace

RelayUpstreamDownloadRequester::RelayUpstreamDownloadRequester(ServiceDownloadManager& manager, Event& stopEvent)
    : m_manager(manager), m_stopEvent(stopEvent) {}

void RelayUpstreamDownloadRequester::RequestDownloads(const std::vector<DownloadRequestTarget>& targets,
                                                      ThreadGroup& threads, ThreadInterruptor& interruptor) {
    threads.Start([this, targets, &interruptor] { RequestWorker(targets, interruptor); });
}

// The thread group drops what leaves a worker: a failure is logged here or not at all.
void RelayUpstreamDownloadRequester::RequestWorker(const std::vector<DownloadRequestTarget>& targets,
                                                   ThreadInterruptor& interruptor) {
    std::map<DownloadResponse, DownloadRequestTarget, DownloadResponseLess> awaited;
    for (const DownloadRequestTarget& target : targets) awaited.emplace(AvailableResponse(target), target);
    std::vector<DownloadResponse> responses;
    try {
        const ParentRelayConfiguration parent;
        const std::string url = UpstreamDownloadRequestURL(parent.GetAgentServer());
        RequestStop stop(interruptor, m_stopEvent);
        responses = PostDownloadRequests(targets, url, parent, kDownloadRequestTimeLimit, stop);
    } catch (...) {
        LockObject(m_failures)->LogCurrentException();
        return;
    }
    std::vector<DownloadRequestTarget> available;
    for (const DownloadResponse& response : responses) {
        if (response.status != DownloadResponseStatus::Available) continue;
        const auto found = awaited.find(response);
        if (found == awaited.end()) continue;
        available.push_back(found->second);
        awaited.erase(found);
    }
    m_manager.AddDownloads(available, false);
}

#include "relay/download/source_transfer.h"

#include <optional>

#include "formats/http_reason_phrases.h"
#include "foundation/file_operations.h"
#include "http/handler_requests.h"
#include "http/http_client_session.h"
#include "http/socket_http_client.h"
#include "relay/download/relay_download_http_handler.h"

namespace {

constexpr int kRangeNotSatisfiable = 416;

// The worker's interruptor, and the stop event for the libcurl transport, which asks only the former.
class TransferInterruptor : public Interruptor {
  public:
    TransferInterruptor(Interruptor& worker, Event& stopEvent) : m_worker(worker), m_stopEvent(stopEvent) {}

    void CheckForInterruption() override {
        if (m_stopEvent.IsSetWithoutWaiting()) throw StopRequest();
        m_worker.CheckForInterruption();
    }

  private:
    Interruptor& m_worker;
    Event& m_stopEvent;
};

void RunGet(RelayDownloadHttpHandler& handler, const SourceTransfer& transfer) {
    HTTPClientSession session = transfer.parent.MakeHTTPClientSession();
    if (transfer.settings.UseUrlMoniker()) {
        RunHandlerRequest(handler, session);
    } else {
        PerformHTTPRequest(handler, session, static_cast<std::uint64_t>(transfer.settings.GetInactivityTimeout()),
                           transfer.stopEvent);
    }
}

// One GET from the progress file's current size: none when the file is whole; the offset when the
// server refused a range that starts after byte 0.
std::optional<std::uint64_t> GetRest(const SourceTransfer& transfer, Interruptor& interruptor) {
    RelayDownloadHttpHandler handler(transfer.target, transfer.url, transfer.progressFile,
                                     transfer.settings.GetThrottleSettings(), transfer.state, interruptor);
    const std::uint64_t offset = handler.GetResumeOffset();
    try {
        RunGet(handler, transfer);
    } catch (const UnexpectedHTTPResponse& refused) {
        if (refused.Code() != kRangeNotSatisfiable || offset == 0) throw;
        return offset;
    }
    return std::nullopt;
}

}  // namespace

void TransferFromSource(const SourceTransfer& transfer) {
    TransferInterruptor interruptor(transfer.interruptor, transfer.stopEvent);
    const std::optional<std::uint64_t> refused = GetRest(transfer, interruptor);
    if (!refused || transfer.state.GetExpectedSize(transfer.target) == *refused) return;
    RemoveFile(transfer.progressFile);
    GetRest(transfer, interruptor);
}

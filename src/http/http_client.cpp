#include "http/http_client.h"

#include <memory>
#include <optional>
#include <utility>

#include "http/authentication_rounds.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_protocol.h"
#include "http/http_client_session.h"
#include "http/http_client_worker.h"
#include "http/request_url.h"

using namespace TransferResult;

namespace {

constexpr unsigned kOK = 200;

// One GetHTTP, PostHTTP or TransferHTTP call; each attempt runs on a worker (http_client_worker.h).
class HTTPTransfer : public ClientRequest {
  public:
    HTTPTransfer(ClientRequestMode mode, RequestURL url, HTTPClientSession& session,
                 const FileLocation& postFile, const FileLocation& bodyFile, HeaderHandler& handler,
                 std::uint64_t timeOut, const TransferProgress& progress, GetStopFunctor& stop)
        : ClientRequest(std::move(url), session, std::make_shared<ClientConnection>(timeOut)),
          m_mode(mode),
          m_postFile(postFile),
          m_bodyFile(bodyFile),
          m_handler(handler),
          m_progress(progress),
          m_stop(stop),
          m_timeOut(timeOut) {}
    ~HTTPTransfer() override { m_connection->Close(); }

    int Run(int& status) {
        unsigned finalStatus = 0;
        int result = RunTransferRounds(m_mode, finalStatus);
        status = static_cast<int>(finalStatus);
        return result;
    }

  private:
    int RunTransferRounds(ClientRequestMode mode, unsigned& status);
    RoundResponse Attempt(ClientRequestMode mode, const HTTPRequestHead& head) override;
    // Opens the tunnel of an https request through the proxy: the CONNECT rounds; false with
    // m_result set when it fails.
    bool OpenTunnel(unsigned& status);
    TransferRequest MakeRequest(ClientRequestMode mode, const HTTPRequestHead& head) const;

    const ClientRequestMode m_mode;
    const FileLocation& m_postFile;
    const FileLocation& m_bodyFile;
    HeaderHandler& m_handler;
    const TransferProgress& m_progress;
    GetStopFunctor& m_stop;
    const std::uint64_t m_timeOut;
    // The result code of the last attempt.
    int m_result = kSuccess;
};

// The session's stored proxy authorization follows the rounds that talk to the proxy, never those
// inside a tunnel.
int HTTPTransfer::RunTransferRounds(ClientRequestMode mode, unsigned& status) {
    bool toProxy = m_route.SendsToProxy(mode);
    AuthenticationRounds rounds(m_session, toProxy, m_route.URL().host);
    RoundsEnd end = RunRounds(mode, rounds, status);
    int result = end == RoundsEnd::Final ? kSuccess : end == RoundsEnd::Unanswered ? kStopped : m_result;
    if (toProxy) rounds.Finish(result == kSuccess && status == kOK);
    return result;
}

// The tunnel is made again whenever a round has closed the connection.
RoundResponse HTTPTransfer::Attempt(ClientRequestMode mode, const HTTPRequestHead& head) {
    RoundResponse response;
    response.failed = true;
    if (m_route.NeedsTunnel(mode) && !m_connection->IsOpen() && !OpenTunnel(response.status)) return response;
    if (m_progress && !m_progress("Looking up server")) {
        m_result = kStopped;
        response.status = 0;
        return response;
    }
    AttemptOutcome outcome = RunAttemptOnWorker(MakeRequest(mode, head), m_connection, m_stop);
    m_result = outcome.result;
    response.failed = outcome.result != kSuccess;
    response.status = outcome.status;
    response.serverChallenges = std::move(outcome.serverChallenges);
    response.proxyChallenges = std::move(outcome.proxyChallenges);
    return response;
}

bool HTTPTransfer::OpenTunnel(unsigned& status) {
    int tunnel = RunTransferRounds(ClientRequestMode::Connect, status);
    if (tunnel != kSuccess && m_stop.ShouldStop())
        m_result = kStopped;
    else if (tunnel != kSuccess || status != kOK)
        m_result = kProxyTunnelFailed;
    else
        return true;
    return false;
}

TransferRequest HTTPTransfer::MakeRequest(ClientRequestMode mode, const HTTPRequestHead& head) const {
    TransferRequest request(mode, head, m_route);
    request.familyChoice = m_session.AddressFamilyChoice();
    request.timeOut = m_timeOut;
    if (mode == ClientRequestMode::Post) request.postFile = m_postFile;
    if (mode != ClientRequestMode::Connect) request.bodyFile = m_bodyFile;
    request.handler = &m_handler;
    request.progress = &m_progress;
    return request;
}

int RunTransfer(ClientRequestMode mode, std::string_view url, HTTPClientSession& session,
                const FileLocation& postFile, const FileLocation& bodyFile, HeaderHandler& handler,
                int& status, std::uint64_t timeOut, const TransferProgress& progress, GetStopFunctor& stop) {
    status = 0;
    if (url.empty()) return kEmptyURL;
    std::optional<RequestURL> parsed = ParseRequestURL(ByteString(ConstData(url)));
    if (!parsed || !parsed->hasAuthority) return kBadURL;
    return HTTPTransfer(mode, std::move(*parsed), session, postFile, bodyFile, handler, timeOut, progress,
                        stop)
        .Run(status);
}

}  // namespace

int GetHTTP(std::string_view url, HTTPClientSession& session, const FileLocation& bodyFile,
            HeaderHandler& handler, int& status, std::uint64_t timeOutMicroseconds,
            const TransferProgress& progress, GetStopFunctor& stop) {
    return RunTransfer(ClientRequestMode::Get, url, session, FileLocation(), bodyFile, handler, status,
                       timeOutMicroseconds, progress, stop);
}

int PostHTTP(std::string_view url, HTTPClientSession& session, const FileLocation& postFile,
             const FileLocation& bodyFile, HeaderHandler& handler, int& status,
             std::uint64_t timeOutMicroseconds, const TransferProgress& progress, GetStopFunctor& stop) {
    return RunTransfer(ClientRequestMode::Post, url, session, postFile, bodyFile, handler, status,
                       timeOutMicroseconds, progress, stop);
}

int TransferHTTP(std::string_view url, const FileLocation& postFile, const FileLocation& bodyFile,
                 const std::string& wantedHeader, std::string* wantedValue, int& status,
                 std::uint64_t timeOutMicroseconds, GetStopFunctor& stop, HTTPClientSession& session) {
    try {
        ReplaceRequestHeaderHandler handler("", wantedHeader);
        int result = RunTransfer(ClientRequestMode::Post, url, session, postFile, bodyFile, handler, status,
                                 timeOutMicroseconds, TransferProgress(), stop);
        if (wantedValue) *wantedValue = handler.GetWantedHeaderValue();
        return result;
    } catch (...) {
        return kException;
    }
}

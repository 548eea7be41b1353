#include "http/socket_http_client.h"

#include <memory>
#include <optional>
#include <string>

#include "formats/message_writer.h"
#include "foundation/data_stages.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/thread.h"
#include "foundation/line_maker.h"
#include "http/authentication_rounds.h"
#include "http/http_client_errors.h"
#include "http/http_client_protocol.h"
#include "http/http_client_session.h"
#include "http/http_handlers.h"
#include "http/raw_http_exchange.h"
#include "http/request_url.h"
#include "http/response_head_parser.h"

namespace {

constexpr unsigned kUnauthorized = AuthenticationRounds::kUnauthorized;
constexpr unsigned kProxyAuthenticationRequired = AuthenticationRounds::kProxyAuthenticationRequired;

RequestURL ParseHandlerURL(const ByteString& url) {
    std::optional<RequestURL> parsed = ParseRequestURL(url);
    if (!parsed) throw Http_err_PROTOCOL();
    return *parsed;
}

// One PerformHTTPRequest call. It is also the sink of its responses: the handler takes the head and
// the body of each, except those of a 401 or 407, which are read and dropped.
class SocketHTTPRequest : public ClientRequest, private ResponseSink {
  public:
    SocketHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session, std::uint64_t timeOut)
        : ClientRequest(ParseHandlerURL(handler.GetURL()), session,
                        std::make_shared<ClientConnection>(timeOut)),
          m_handler(handler) {}

    // Wakes a wait of the request's connection and keeps it from connecting again; any thread.
    void Interrupt() { m_connection->Interrupt(); }

    void Run() {
        try {
            RunClientRounds(ClientRequestMode::Get);
        } catch (...) {
            m_connection->Close();
            throw;
        }
        m_connection->Close();
    }

  private:
    unsigned RunClientRounds(ClientRequestMode mode);
    RoundResponse Attempt(ClientRequestMode mode, const HTTPRequestHead& head) override;
    // https through a proxy: the CONNECT rounds that open the tunnel.
    void OpenTunnel();
    void Connect();
    void SendRequest(const HTTPRequestHead& head);
    RoundResponse ReceiveResponse(ClientRequestMode mode);

    bool TakeHead(const ResponseHeadParser& head) override;
    bool ReportsArrivals() override { return m_delivering && m_handler.IsBackChannel(); }
    void MoreArrived() override;
    void TakeBody(ConstData bytes) override;

    HttpHandlerBase& m_handler;
    // The mode of the response being received.
    ClientRequestMode m_mode = ClientRequestMode::Get;
    // The handler takes the response being received.
    bool m_delivering = false;
    bool m_bodyBegun = false;
};

// The session's stored proxy authorization follows the rounds that talk to the proxy: never those to
// a host that bypasses it, nor those inside a tunnel.
unsigned SocketHTTPRequest::RunClientRounds(ClientRequestMode mode) {
    bool toProxy = m_route.SendsToProxy(mode);
    AuthenticationRounds rounds(m_session, toProxy, m_route.URL().host);
    unsigned status = 0;
    if (RunRounds(mode, rounds, status) == RoundsEnd::Unanswered) throw Http_err_AuthenticationFailed();
    if (toProxy) rounds.Finish(status >= 200 && status <= 299);
    return status;
}

RoundResponse SocketHTTPRequest::Attempt(ClientRequestMode mode, const HTTPRequestHead& head) {
    m_handler.Progress("Looking up server");
    const RequestURL& url = m_route.URL();
    if (url.tls) m_connection->MakeTLSContext();
    if (!m_connection->IsOpen()) {
        if (m_route.NeedsTunnel(mode))
            OpenTunnel();
        else
            Connect();
    }
    if (url.tls && mode != ClientRequestMode::Connect && !m_connection->TLS())
        m_connection->StartTLS(url.host);
    SendRequest(head);
    return ReceiveResponse(mode);
}

void SocketHTTPRequest::OpenTunnel() {
    try {
        if (RunClientRounds(ClientRequestMode::Connect) != 200) throw Http_err_PROXY_CONNECT();
    } catch (...) {
        m_connection->Close();
        throw Http_err_PROXY_CONNECT();
    }
}

void SocketHTTPRequest::Connect() {
    if (m_route.ConnectHost().empty()) throw Http_err_BAD_SERVERNAME();
    std::vector<SocketAddressEntry> addresses =
        LookUpAddresses(m_route.ConnectHost(), m_route.ConnectPort(), m_session.AddressFamilyChoice());
    if (addresses.empty()) throw Http_err_BAD_SERVERNAME();
    bool connected = m_connection->ConnectToFirst(addresses, [this] {
        m_handler.Progress("Connecting to server");
        m_handler.CheckForStop();
    });
    if (connected) return;
    m_handler.CheckForStop();
    throw Http_err_SOCKET_CONNECT();
}

// The fields, the handler's own among them, go through a message writer; the request line goes in
// front of them.
void SocketHTTPRequest::SendRequest(const HTTPRequestHead& head) {
    std::string fields;
    StringReceiver fieldText(fields);
    LineFlattener lines(fieldText, ConstData(std::string_view("\r\n")));
    MessageWriter writer;
    writer.SetTarget(lines);
    writer.Begin(0);
    std::string text = WriteHTTPRequestFields(head, writer);
    RequestFieldGuard guard(writer);
    m_handler.WriteRequestHeaders(guard);
    writer.Body(0);
    writer.End(0);
    text += fields;

    m_handler.Progress("Sending request");
    m_handler.CheckForStop();
    if (!m_connection->SendAll(ConstData(text))) throw Http_err_SOCKET_SEND();
}

RoundResponse SocketHTTPRequest::ReceiveResponse(ClientRequestMode mode) {
    ResponseHeadParser head;
    m_mode = mode;
    m_delivering = false;
    m_bodyBegun = false;
    bool keep = false;
    try {
        keep = ::ReceiveResponse(*m_connection, head, *this);
    } catch (const ResponseReceiveFailed&) {
        throw Http_err_SOCKET_RECEIVE();
    } catch (const ResponseCutShort&) {
        throw Http_err_SHORT_RESPONSE();
    }
    if (m_delivering) {
        if (!m_bodyBegun) m_handler.BeginBody();
        m_handler.EndBody();
        m_handler.CheckForStop();
    }
    if (!keep) m_connection->Close();
    return {false, head.StatusCode(), head.ServerChallenges(), head.ProxyChallenges()};
}

// A 401 or 407 goes to the rounds, its body (even a chunked one) read and dropped; in CONNECT mode
// any other response ends at its head.
bool SocketHTTPRequest::TakeHead(const ResponseHeadParser& head) {
    bool answering = head.StatusCode() == kUnauthorized || head.StatusCode() == kProxyAuthenticationRequired;
    if (answering) return true;
    if (m_mode == ClientRequestMode::Connect) return false;
    if (head.IsChunked()) throw Http_err_CHUNKED_TRANSFER();
    m_delivering = true;
    m_handler.ReceiveStatusCode(static_cast<int>(head.StatusCode()));
    if (head.HasContentLength()) m_handler.ReceiveContentLength(head.ContentLength());
    m_handler.ReceiveResponseHeadAsSent(head.Head().c_str());
    m_handler.ReceiveResponseHeaders(head.LowerCasedHead().c_str());
    m_handler.EndResponseHeaders();
    m_handler.CheckForStop();
    return true;
}

void SocketHTTPRequest::MoreArrived() {
    if (m_delivering) m_handler.CheckForStop();
}

void SocketHTTPRequest::TakeBody(ConstData bytes) {
    if (!m_delivering) return;
    if (!m_bodyBegun) m_handler.BeginBody();
    m_bodyBegun = true;
    m_handler.ReceiveBody(bytes);
}

}  // namespace

void PerformHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session,
                        std::uint64_t timeOutMicroseconds) {
    SocketHTTPRequest(handler, session, timeOutMicroseconds).Run();
}

namespace {

constexpr std::int64_t kInterruptRepeatInterval = 10'000;  // microseconds

// Interrupts the request once the stop event is set, again and again until the request has
// finished: an interrupt that comes before the connect has begun is not seen by it.
void InterruptOnStop(SocketHTTPRequest& request, Event& stop, Event& finished) {
    if (!stop.WaitWithHandle(finished.Descriptor(), kWaitWithoutLimit)) return;
    while (!finished.Wait(0)) {
        request.Interrupt();
        finished.Wait(kInterruptRepeatInterval);
    }
}

}  // namespace

void PerformHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session,
                        std::uint64_t timeOutMicroseconds, Event& stop) {
    SocketHTTPRequest request(handler, session, timeOutMicroseconds);
    Event finished;
    CallableFunction watch([&] { InterruptOnStop(request, stop, finished); });
    ThreadHandle watcher = StartCallableThread(watch);
    try {
        request.Run();
    } catch (...) {
        finished.Set();
        WaitAndCloseThreadHandle(watcher);
        if (stop.Wait(0)) throw StopRequest();
        throw;
    }
    finished.Set();
    WaitAndCloseThreadHandle(watcher);
    if (stop.Wait(0)) throw StopRequest();
}

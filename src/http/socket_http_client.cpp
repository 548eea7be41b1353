#include "http/socket_http_client.h"

#include <memory>
#include <optional>
#include <string>

#include "base/character_classes.h"
#include "formats/message_writer.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "http/authentication_rounds.h"
#include "http/http_client_errors.h"
#include "http/http_handlers.h"
#include "http/proxy_authentication.h"
#include "http/raw_http_exchange.h"
#include "http/request_url.h"
#include "http/response_head_parser.h"
#include "http/tls_client.h"
#include "net/address_resolver.h"
#include "net/client_socket.h"
#include "net/socket_system.h"

namespace {

constexpr std::size_t kReceiveBufferSize = 4096;
constexpr unsigned kUnauthorized = AuthenticationRounds::kUnauthorized;
constexpr unsigned kProxyAuthenticationRequired = AuthenticationRounds::kProxyAuthenticationRequired;

bool EqualsIgnoringCase(ConstData a, std::string_view b) {
    return Ascii::EqualIgnoringCase(a, ConstData(b));
}

RequestURL ParseHandlerURL(const ByteString& url) {
    std::optional<RequestURL> parsed = ParseRequestURL(url);
    if (!parsed) throw Http_err_PROTOCOL();
    return *parsed;
}

// The socket of one call, kept across its rounds (and under the TLS session of a tunnel).
class ClientConnection {
  public:
    explicit ClientConnection(std::uint64_t timeOut) : m_socket(MakeHTTPClientSocket(timeOut)) {}
    ~ClientConnection() { Close(); }

    Socket& GetSocket() { return *m_socket; }
    bool IsOpen() const { return m_socket->IsConnected(); }
    TLSClientSession* TLS() const { return m_tls.get(); }
    void StartTLS(const TLSClientContext& context, const std::string& host) {
        m_tls = std::make_unique<TLSClientSession>(context, m_socket->Handle(), host);
    }
    void Close() {
        m_tls.reset();
        if (m_socket->IsConnected()) m_socket->Close();
    }

  private:
    std::unique_ptr<Socket> m_socket;
    std::unique_ptr<TLSClientSession> m_tls;
};

enum class Mode { Get, Connect };

struct AttemptResult {
    unsigned status = 0;
    std::string serverChallenges;
    std::string proxyChallenges;
};

// One PerformHTTPRequest call.
class SocketHTTPRequest {
  public:
    SocketHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session, std::uint64_t timeOut)
        : m_handler(handler),
          m_session(session),
          m_url(ParseHandlerURL(handler.GetURL())),
          m_connection(timeOut) {
        m_viaProxy = !m_session.ProxyHost().empty() && !IsLocalTargetHost(m_url.host);
    }

    void Run() {
        try {
            RunRounds(Mode::Get);
        } catch (...) {
            m_connection.Close();
            throw;
        }
        m_connection.Close();
    }

  private:
    unsigned RunRounds(Mode mode);
    AttemptResult Attempt(Mode mode, const std::string& authorization, const std::string& proxyAuthorization);
    HTTPRequestHead Head(Mode mode, const std::string& authorization,
                         const std::string& proxyAuthorization) const;
    // https through a proxy: the CONNECT rounds that open the tunnel.
    void OpenTunnel();
    void Connect();
    void SendRequest(const HTTPRequestHead& head);
    AttemptResult ReceiveResponse(Mode mode);
    void DeliverHead(const ResponseHeadParser& head);

    HttpHandlerBase& m_handler;
    HTTPClientSession& m_session;
    RequestURL m_url;
    bool m_viaProxy = false;
    ClientConnection m_connection;
    std::unique_ptr<TLSClientContext> m_tlsContext;
};

unsigned SocketHTTPRequest::RunRounds(Mode mode) {
    // The session's stored proxy authorization follows the rounds that talk to the proxy: never those
    // to a host that bypasses it, nor those inside a tunnel.
    bool toProxy = m_viaProxy && (mode == Mode::Connect || !m_url.tls);
    AuthenticationRounds rounds(m_session, toProxy, m_url.host);
    for (;;) {
        AttemptResult result = Attempt(mode, rounds.Authorization(), rounds.ProxyAuthorization());
        if (result.status != kUnauthorized && result.status != kProxyAuthenticationRequired) {
            if (toProxy) rounds.Finish(result.status >= 200 && result.status <= 299);
            return result.status;
        }
        const char* method = mode == Mode::Connect ? "CONNECT" : "GET";
        std::string uri =
            RequestTargetAsSent(Head(mode, rounds.Authorization(), rounds.ProxyAuthorization()));
        const std::string& challenges =
            result.status == kUnauthorized ? result.serverChallenges : result.proxyChallenges;
        if (!rounds.Answer(result.status, method, challenges, uri)) throw Http_err_AuthenticationFailed();
    }
}

AttemptResult SocketHTTPRequest::Attempt(Mode mode, const std::string& authorization,
                                         const std::string& proxyAuthorization) {
    m_handler.Progress("Looking up server");
    if (m_url.tls && !m_tlsContext) m_tlsContext = std::make_unique<TLSClientContext>();
    if (!m_connection.IsOpen()) {
        if (mode == Mode::Get && m_url.tls && m_viaProxy)
            OpenTunnel();
        else
            Connect();
    }
    if (m_url.tls && mode == Mode::Get && !m_connection.TLS())
        m_connection.StartTLS(*m_tlsContext, m_url.host);
    SendRequest(Head(mode, authorization, proxyAuthorization));
    return ReceiveResponse(mode);
}

HTTPRequestHead SocketHTTPRequest::Head(Mode mode, const std::string& authorization,
                                        const std::string& proxyAuthorization) const {
    HTTPRequestHead head;
    head.host = m_url.host;
    head.port = m_url.port;
    head.target = m_url.target;
    head.tls = m_url.tls && mode == Mode::Get;
    head.viaProxy = m_viaProxy;
    head.connect = mode == Mode::Connect;
    head.authorization = authorization;
    // Inside a tunnel the request reaches the server, never the proxy: the proxy's credentials stay out.
    if (!(m_url.tls && mode == Mode::Get)) head.proxyAuthorization = proxyAuthorization;
    return head;
}

void SocketHTTPRequest::OpenTunnel() {
    try {
        if (RunRounds(Mode::Connect) != 200) throw Http_err_PROXY_CONNECT();
    } catch (...) {
        m_connection.Close();
        throw Http_err_PROXY_CONNECT();
    }
}

void SocketHTTPRequest::Connect() {
    const std::string& host = m_viaProxy ? m_session.ProxyHost() : m_url.host;
    std::uint16_t port = m_viaProxy ? m_session.ProxyPort() : m_url.port;
    if (host.empty()) throw Http_err_BAD_SERVERNAME();
    AddressResolver resolver(host, port, m_session.AddressFamilyChoice(),
                             SocketSystem::Instance().IsIPv6Available(), 0, IPPROTO_TCP, SOCK_STREAM);
    bool connectFailed = false;
    while (resolver.NextFamily() != 0) {
        SocketAddressList::Iterator first = resolver.Results().Begin();
        if (first.AtEnd() || (first->Family() != AF_INET && first->Family() != AF_INET6)) continue;
        m_handler.Progress("Connecting to server");
        m_handler.CheckForStop();
        if (m_connection.GetSocket().Connect(*first)) return;
        connectFailed = true;
    }
    if (!connectFailed) throw Http_err_BAD_SERVERNAME();
    m_handler.CheckForStop();
    throw Http_err_SOCKET_CONNECT();
}

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
    long sent = SendBytes(m_connection.TLS(), m_connection.GetSocket().Handle(), ConstData(text));
    if (sent != static_cast<long>(text.size())) throw Http_err_SOCKET_SEND();
}

void SocketHTTPRequest::DeliverHead(const ResponseHeadParser& head) {
    m_handler.ReceiveStatusCode(static_cast<int>(head.StatusCode()));
    if (head.HasContentLength()) m_handler.ReceiveContentLength(head.ContentLength());
    m_handler.ReceiveResponseHeaders(head.LowerCasedHead().c_str());
    m_handler.EndResponseHeaders();
    m_handler.CheckForStop();
}

AttemptResult SocketHTTPRequest::ReceiveResponse(Mode mode) {
    ResponseHeadParser head;
    ExchangeReceiver receiver(m_connection.TLS(), m_connection.GetSocket().Handle());
    Byte buffer[kReceiveBufferSize];
    bool answering = false;   // a 401 or 407, whose body is read and dropped
    bool delivering = false;  // the response the handler takes
    std::optional<ResponseBodyFraming> framing;
    bool bodyBegun = false;
    bool peerClosed = false;
    bool reportArrivals = false;
    for (;;) {
        long count = receiver.ReceiveBytes(buffer, sizeof buffer, reportArrivals);
        if (count < 0) throw Http_err_SOCKET_RECEIVE();
        if (count == 0) {
            peerClosed = true;
            // A response cut short: before its head ended, its length arrived, or its last chunk came.
            if (!head.IsComplete() || (framing && framing->IsCutShort())) throw Http_err_SHORT_RESPONSE();
            break;
        }
        ConstData input(buffer, static_cast<std::size_t>(count));
        bool headWasComplete = head.IsComplete();
        if (!head.Consume(input)) continue;
        if (!headWasComplete) {
            answering =
                head.StatusCode() == kUnauthorized || head.StatusCode() == kProxyAuthenticationRequired;
            if (mode == Mode::Connect && !answering) break;
            if (head.IsChunked() && !answering) throw Http_err_CHUNKED_TRANSFER();
            framing.emplace(head);
            if (!answering) {
                delivering = true;
                DeliverHead(head);
                reportArrivals = m_handler.IsBackChannel();
            }
        } else if (delivering) {
            m_handler.CheckForStop();
        }
        bool ended = framing->Take(input);
        if (delivering && !input.IsEmpty()) {
            if (!bodyBegun) m_handler.BeginBody();
            bodyBegun = true;
            m_handler.ReceiveBody(input);
        }
        if (ended) break;
    }
    if (delivering) {
        if (!bodyBegun) m_handler.BeginBody();
        m_handler.EndBody();
        m_handler.CheckForStop();
    }
    // The connection carries the next round after a 200, or when the peer keeps it for us: NTLM
    // authenticates the connection, so its legs must share one.
    bool keep = !peerClosed &&
                (head.StatusCode() == 200 || head.KeepsProxyConnectionAlive() || head.KeepsConnectionAlive());
    if (!keep) m_connection.Close();
    return {head.StatusCode(), head.ServerChallenges(), head.ProxyChallenges()};
}

}  // namespace

bool IsLocalTargetHost(std::string_view host) {
    for (std::string_view local : {"..localmachine", "127.0.0.1", "::1"})
        if (EqualsIgnoringCase(ConstData(host), local)) return true;
    return false;
}

void PerformHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session,
                        std::uint64_t timeOutMicroseconds) {
    SocketHTTPRequest(handler, session, timeOutMicroseconds).Run();
}

#include "http/http_client_protocol.h"

#include <sys/socket.h>

#include <optional>
#include <utility>

#include "http/authentication_rounds.h"
#include "http/http_client_session.h"
#include "http/response_head_parser.h"
#include "http/tls_client.h"
#include "net/address_resolver.h"
#include "net/client_socket.h"
#include "net/socket_calls.h"
#include "net/socket_system.h"

namespace {

constexpr std::size_t kReceiveBufferSize = 4096;
constexpr unsigned kOK = 200;
constexpr unsigned kUnauthorized = AuthenticationRounds::kUnauthorized;
constexpr unsigned kProxyAuthenticationRequired = AuthenticationRounds::kProxyAuthenticationRequired;

}  // namespace

const char* MethodWord(ClientRequestMode mode) {
    switch (mode) {
        case ClientRequestMode::Get:
            return "GET";
        case ClientRequestMode::Post:
            return "POST";
        case ClientRequestMode::Connect:
            break;
    }
    return "CONNECT";
}

ClientRoute::ClientRoute(RequestURL url, const HTTPClientSession& session)
    : m_url(std::move(url)),
      m_viaProxy(!session.ProxyHost().empty() && !IsLocalTargetHost(m_url.host)),
      m_connectHost(m_viaProxy ? session.ProxyHost() : m_url.host),
      m_connectPort(m_viaProxy ? session.ProxyPort() : m_url.port) {}

bool ClientRoute::SendsToProxy(ClientRequestMode mode) const {
    return m_viaProxy && (mode == ClientRequestMode::Connect || !m_url.tls);
}

bool ClientRoute::NeedsTunnel(ClientRequestMode mode) const {
    return mode != ClientRequestMode::Connect && m_url.tls && m_viaProxy;
}

HTTPRequestHead ClientRoute::Head(ClientRequestMode mode, const std::string& authorization,
                                  const std::string& proxyAuthorization, std::uint64_t contentLength) const {
    HTTPRequestHead head;
    head.post = mode == ClientRequestMode::Post;
    head.host = m_url.host;
    head.port = m_url.port;
    head.target = m_url.target;
    head.tls = m_url.tls && mode != ClientRequestMode::Connect;
    head.viaProxy = m_viaProxy;
    head.connect = mode == ClientRequestMode::Connect;
    head.authorization = authorization;
    // A proxy's credentials never reach the server: not inside a tunnel, nor when the server itself
    // asks for them with a 407.
    if (SendsToProxy(mode)) head.proxyAuthorization = proxyAuthorization;
    head.contentLength = contentLength;
    return head;
}

std::vector<SocketAddressEntry> LookUpAddresses(const std::string& host, std::uint16_t port,
                                                int familyChoice) {
    std::vector<SocketAddressEntry> addresses;
    AddressResolver resolver(host, port, familyChoice, SocketSystem::Instance().IsIPv6Available(), 0,
                             IPPROTO_TCP, SOCK_STREAM);
    while (resolver.NextFamily() != 0) {
        SocketAddressList::Iterator first = resolver.Results().Begin();
        if (!first.AtEnd() && (first->Family() == AF_INET || first->Family() == AF_INET6))
            addresses.push_back(*first);
    }
    return addresses;
}

ClientConnection::ClientConnection(std::uint64_t timeOut) : m_socket(MakeHTTPClientSocket(timeOut)) {}

ClientConnection::~ClientConnection() {
    Close();
}

bool ClientConnection::IsOpen() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_open;
}

bool ClientConnection::Connect(const SocketAddressEntry& entry) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_interrupted) return false;
        m_socket->Close();
        if (!m_socket->EnsureFamily(entry.Family())) return false;
    }
    // Outside the lock, so that an interrupt can wake it.
    bool connected = m_socket->Connect(entry);
    std::lock_guard<std::mutex> guard(m_lock);
    m_open = connected && !m_interrupted;
    return m_open;
}

bool ClientConnection::ConnectToFirst(const std::vector<SocketAddressEntry>& addresses,
                                      const std::function<void()>& beforeEach) {
    for (const SocketAddressEntry& address : addresses) {
        beforeEach();
        if (Connect(address)) return true;
    }
    return false;
}

void ClientConnection::MakeTLSContext() {
    if (!m_context) m_context = std::make_unique<TLSClientContext>();
}

void ClientConnection::StartTLS(const std::string& host) {
    MakeTLSContext();
    // The handshake runs outside the lock, so that an interrupt can wake it.
    auto session = std::make_unique<TLSClientSession>(*m_context, m_socket->Handle(), host);
    std::lock_guard<std::mutex> guard(m_lock);
    m_tls = std::move(session);
}

int ClientConnection::Handle() const {
    return m_socket->Handle();
}

bool ClientConnection::SendAll(ConstData bytes) {
    return SendBytes(m_tls.get(), m_socket->Handle(), bytes) == static_cast<long>(bytes.Length());
}

void ClientConnection::Interrupt() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_interrupted = true;
    if (m_socket->Handle() < 0) return;
    try {
        ShutdownSocket(m_socket->Handle(), SHUT_RDWR);
    } catch (const DebuggableException&) {
        // Not connected yet: the interrupting thread interrupts again on its next look, by when a
        // connect has begun and can be woken.
    }
}

void ClientConnection::Close() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_tls.reset();
    m_socket->Close();
    m_open = false;
}

bool ReceiveResponse(ClientConnection& connection, ResponseHeadParser& head, ResponseSink& sink) {
    ExchangeReceiver receiver(connection.TLS(), connection.Handle());
    Byte buffer[kReceiveBufferSize] = {};
    std::optional<ResponseBodyFraming> framing;
    bool reportArrivals = false;
    for (;;) {
        long count = receiver.ReceiveBytes(buffer, sizeof buffer, reportArrivals);
        if (count < 0) throw ResponseReceiveFailed();
        if (count == 0) {
            if (!head.IsComplete() || (framing && framing->IsCutShort())) throw ResponseCutShort();
            return false;
        }
        ConstData input(buffer, static_cast<std::size_t>(count));
        bool headWasComplete = head.IsComplete();
        if (!head.Consume(input)) continue;
        if (!headWasComplete) {
            if (!sink.TakeHead(head)) break;
            framing.emplace(head);
            reportArrivals = sink.ReportsArrivals();
        } else {
            sink.MoreArrived();
        }
        bool ended = framing->Take(input);
        if (!input.IsEmpty()) sink.TakeBody(input);
        if (ended) break;
    }
    return head.StatusCode() == kOK || head.KeepsProxyConnectionAlive() || head.KeepsConnectionAlive();
}

ClientRequest::ClientRequest(RequestURL url, HTTPClientSession& session,
                             std::shared_ptr<ClientConnection> connection)
    : m_route(std::move(url), session), m_session(session), m_connection(std::move(connection)) {}

RoundsEnd ClientRequest::RunRounds(ClientRequestMode mode, AuthenticationRounds& rounds, unsigned& status) {
    for (;;) {
        RoundResponse response =
            Attempt(mode, m_route.Head(mode, rounds.Authorization(), rounds.ProxyAuthorization()));
        status = response.status;
        if (response.failed) return RoundsEnd::Failed;
        if (status != kUnauthorized && status != kProxyAuthenticationRequired) return RoundsEnd::Final;
        // The uri a Digest answer names is the target of the request that was challenged.
        std::string uri =
            RequestTargetAsSent(m_route.Head(mode, rounds.Authorization(), rounds.ProxyAuthorization()));
        const std::string& challenges =
            status == kUnauthorized ? response.serverChallenges : response.proxyChallenges;
        if (!rounds.Answer(status, MethodWord(mode), challenges, uri)) return RoundsEnd::Unanswered;
    }
}

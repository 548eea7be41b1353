// The protocol both outgoing socket clients speak (the main client of http_client.h, which runs each
// attempt on a worker thread and reports result codes, and the socket client of
// socket_http_client.h, which runs on the caller's thread and throws): where a request goes and the
// head it sends, the look-up and the connect, the connection kept across the rounds of one request,
// the rounds that answer 401 and 407 challenges (with the CONNECT tunnel of https through a proxy),
// and the reading of one response into a sink.
//
// What differs between the two clients (how a failure is reported, who hears of the head and the
// body, when the session keeps a proxy's credentials) is theirs: they implement the attempt and the
// sink, and end the rounds themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "http/raw_http_exchange.h"
#include "http/request_url.h"
#include "net/socket_address_entry.h"

class AuthenticationRounds;
class HTTPClientSession;
class ResponseHeadParser;
class Socket;
class TLSClientContext;
class TLSClientSession;

enum class ClientRequestMode { Get, Post, Connect };

// "GET", "POST" or "CONNECT": the method word a Digest answer is computed over.
const char* MethodWord(ClientRequestMode mode);

// Where one request goes: its URL, and whether the session's proxy carries it (never for a local
// host, see IsLocalTargetHost).
class ClientRoute {
  public:
    ClientRoute(RequestURL url, const HTTPClientSession& session);

    const RequestURL& URL() const { return m_url; }
    // The host and port the connection goes to: the proxy's or the target's.
    const std::string& ConnectHost() const { return m_connectHost; }
    std::uint16_t ConnectPort() const { return m_connectPort; }

    // Whether the request in `mode` talks to the proxy: a CONNECT or a plain http request through
    // it. Inside a tunnel the request reaches the server, never the proxy.
    bool SendsToProxy(ClientRequestMode mode) const;
    // https through the proxy: a request in `mode` needs a tunnel under it.
    bool NeedsTunnel(ClientRequestMode mode) const;
    // The head of a request in `mode`; the Proxy-Authorization goes only to the proxy. The texts
    // point into the route and the two values, which must outlive the head.
    HTTPRequestHead Head(ClientRequestMode mode, const std::string& authorization,
                         const std::string& proxyAuthorization, std::uint64_t contentLength = 0) const;

  private:
    RequestURL m_url;
    bool m_viaProxy;
    std::string m_connectHost;
    std::uint16_t m_connectPort;
};

// The first IPv4 or IPv6 address of each address family the resolver gives for host:port, in the
// order of the family choice (ParseAddressFamilyChoice); empty when there is none.
std::vector<SocketAddressEntry> LookUpAddresses(const std::string& host, std::uint16_t port,
                                                int familyChoice);

// The connection of one request, kept across its rounds (and under the TLS session of a tunnel).
//
// One thread connects, talks and closes. Another may Interrupt at any time: the socket is shut
// down, which wakes a connect, TLS handshake, send or receive blocked on it, and no later connect
// starts. The descriptor is opened and closed only under the lock, so an interrupt never reaches a
// descriptor number that was closed and handed out again.
class ClientConnection {
  public:
    // `timeOut` (microseconds, 0 for none) bounds each connect, send and receive.
    explicit ClientConnection(std::uint64_t timeOut);
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    bool IsOpen();
    // The socket reopened for the entry's family and connected; false when that fails or the
    // connection was interrupted.
    bool Connect(const SocketAddressEntry& entry);
    // Tries the addresses in order, `beforeEach` called before each connect (it may throw to stop);
    // false when none connected.
    bool ConnectToFirst(const std::vector<SocketAddressEntry>& addresses,
                        const std::function<void()>& beforeEach);

    // The TLS context of the connection, made once (Http_err_SSL1 when it can't be).
    void MakeTLSContext();
    // TLS over the connected socket (Http_err_SSL1, Http_err_SSL2, Http_err_SSL3).
    void StartTLS(const std::string& host);
    // Null before StartTLS.
    TLSClientSession* TLS() const { return m_tls.get(); }
    int Handle() const;
    // The whole text sent (TLS or plain); false when the send failed or was short.
    bool SendAll(ConstData bytes);

    void Interrupt();
    void Close();

  private:
    std::mutex m_lock;
    std::unique_ptr<Socket> m_socket;
    bool m_open = false;
    bool m_interrupted = false;
    std::unique_ptr<TLSClientContext> m_context;
    std::unique_ptr<TLSClientSession> m_tls;
};

// Where ReceiveResponse puts a response.
class ResponseSink {
  public:
    virtual ~ResponseSink() = default;
    // The head is complete. False ends the response here, unread (a tunnel's 200). It may throw to
    // refuse the response (a chunked body it can't take).
    virtual bool TakeHead(const ResponseHeadParser& head) = 0;
    // Asked once after TakeHead: whether the arrival of the body is reported back to the server.
    virtual bool ReportsArrivals() = 0;
    // More bytes of the response arrived after its head, before they are framed.
    virtual void MoreArrived() {}
    // A piece of the body, never past its end.
    virtual void TakeBody(ConstData bytes) = 0;
};

// A receive on the connection failed.
class ResponseReceiveFailed : public DebuggableException {};
// The peer closed the connection before the head ended, the announced length arrived or the last
// chunk came.
class ResponseCutShort : public DebuggableException {};

// Reads one response from the connection into `head` and the sink: the head, then the body up to its
// Content-Length, its last chunk or the end of the connection. Throws ResponseReceiveFailed,
// ResponseCutShort, the head parser's own errors (response_head_parser.h) and whatever the sink
// throws. Answers whether the connection can carry the next round: it is still open and the
// response was a 200 or asked to keep it (NTLM authenticates the connection, so its legs must share
// one).
bool ReceiveResponse(ClientConnection& connection, ResponseHeadParser& head, ResponseSink& sink);

// How a round went: whether it failed (the client keeps why), and what its response says.
struct RoundResponse {
    bool failed = false;
    // 0 when no head came.
    unsigned status = 0;
    std::string serverChallenges;
    std::string proxyChallenges;
};

// How a request's rounds ended.
enum class RoundsEnd {
    Final,       // a response that is neither 401 nor 407
    Failed,      // an attempt failed
    Unanswered,  // a 401 or 407 whose challenges can't be answered
};

// One request of a client: its route, session and connection, and its rounds. The client derives
// from it with its own attempt.
class ClientRequest {
  public:
    virtual ~ClientRequest() = default;

  protected:
    ClientRequest(RequestURL url, HTTPClientSession& session, std::shared_ptr<ClientConnection> connection);

    // Runs one attempt after another in `mode`, each sending the values of `rounds`, until the
    // response is neither 401 nor 407, an attempt fails, or a challenge can't be answered; `status`
    // is the last response's. The caller makes the rounds and ends them (AuthenticationRounds::Finish).
    RoundsEnd RunRounds(ClientRequestMode mode, AuthenticationRounds& rounds, unsigned& status);

    // One round: sends `head` and takes its response.
    virtual RoundResponse Attempt(ClientRequestMode mode, const HTTPRequestHead& head) = 0;

    const ClientRoute m_route;
    HTTPClientSession& m_session;
    const std::shared_ptr<ClientConnection> m_connection;
};

// A loopback HTTP server for tests of the outgoing clients: it answers each request with the reply
// the test's responder makes from the request, and keeps what it received.
//
// It listens on 127.0.0.1 on a port of the system's choosing. Each connection is served on a thread
// of its own: the request head (and a body of its Content-Length) is read, the reply is sent, and
// then, unless the reply keeps the connection for another request, the server shuts its sending side
// and records what the client still sends until it closes (a back channel, for example). Destroying
// the server stops and joins every thread within about 100 ms.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedHTTPServer {
  public:
    struct Reply {
        std::string bytes;
        // Read another request on the same connection after this reply.
        bool keepOpen = false;
        // Close at once after the reply without reading what the client sends.
        bool closeAtOnce = false;
    };
    struct Exchange {
        std::string request;     // the head and body as received
        std::string afterReply;  // what the client sent after the reply
    };
    using Responder = std::function<Reply(const std::string& request)>;

    explicit ScriptedHTTPServer(Responder responder);
    ~ScriptedHTTPServer();
    ScriptedHTTPServer(const ScriptedHTTPServer&) = delete;
    ScriptedHTTPServer& operator=(const ScriptedHTTPServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // The exchanges so far, in the order their replies were sent; an exchange's afterReply is
    // complete once the client has closed its connection.
    std::vector<Exchange> Exchanges() const;
    // Waits (at most 10 s) until `count` connections have ended.
    bool WaitForClosedConnections(std::size_t count) const;
    // The connections accepted so far.
    std::size_t AcceptedConnections() const;

  private:
    void Accept();
    void Serve(int socket);
    // Reads until the request head and its body are in `buffer`; false when the peer closed first.
    bool ReadRequest(int socket, std::string& buffer, std::string& request);

    Responder m_responder;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<Exchange> m_exchanges;
    std::size_t m_closedConnections = 0;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

// "HTTP/1.0 200 OK", the extra header lines (each ending in "\r\n"), Content-Length and the body.
std::string MakeHTTPReply(const std::string& body, const std::string& extraHeaders = "",
                          const std::string& statusLine = "HTTP/1.0 200 OK");

// A loopback port whose server has just gone: a connect to it is refused (a server that cannot be
// reached).
std::uint16_t ClosedLoopbackPort();

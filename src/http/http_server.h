// HTTPServer: the relay's HTTP/1.0 server, one thread driving every socket through an epoll loop.
//
// Run loops until the stop event is set. The sockets are watched through a persistent interest list
// (net/socket_watcher.h) that changes only when a socket's interest does: the listener (only while
// connections and running plug-in requests number fewer than MaxConnections, and not for a second
// after an accept ran out of descriptors or socket memory), every connection still reading its
// request head (or a plug-in request's body, below), and every reply connection that has bytes to
// write. Each pass waits at most 10 ms,
// then accepts one new client, writes reply steps and reads heads, in that order. A connection just
// accepted is read in the same pass while heads come with their connections, and watched otherwise;
// a reply made in a pass takes its first write step in that pass, and when other clients wait, the
// head of a file of at most 256 KiB sent from the page cache goes out in one packet with the file's
// first bytes. A pass costs time for the sockets that are ready, not for those that are open: the
// read time-outs are swept only when the earliest of them can have fallen due. A complete head with a
// path is written to the daily access log (access_log.h; the directory setting is read again at most
// a second after it was last read) and dispatched: to the plug-in its path names (see
// plugin_path_table.h and http_plugin.h), on a thread of the server's thread group or inline on the
// loop thread, once the loop has read the request's body, or the first 64 KiB of a longer one (a
// client slow to send it costs a socket, never a thread; "ReadTimeOut" and
// "MinRequestBodyBytesPerSecond" end a silent or trickling one, see body_pace.h), or else to ServeFile, which opens files beneath the server root held open (a folder
// put in the root's place is served from 10 ms later on). A refused request (HTTPRequestError) is
// answered with a status-only reply. One request per connection: the reply ends with the close.
//
// Hooks for a derived server: BeforeRequest at every dispatch, OnPump at every pass, OnFileRequest
// with the raw path of a request that no plug-in claims (it may rewrite the path).
//
// Failures of one connection end that connection ("critical" lines "PumpSockets: ", "PumpSockets
// write error: ", "PumpSockets read error: "). A wait interrupted by a signal (SocketBusyError) is
// retried every 100 ms, up to 301 times in a row; any other wait failure ends Run with its exception.
//
// The settings, the plug-in table, the plug-ins and the stop event must outlive the server. Only the
// loop thread (the caller of Run, which also destroys the server) touches the connections, the
// watcher and the listener; plug-in threads share the running count (locked), the stop event and
// their request. The destructor sets the stop event, joins the plug-in threads and waits for the
// requests that inline plug-ins handed on to threads of their own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "foundation/counted_ptr.h"
#include "foundation/event.h"
#include "foundation/thread_group.h"
#include "http/file_response_connection.h"
#include "http/http_plugin.h"
#include "http/http_request.h"
#include "http/http_server_settings.h"
#include "http/plugin_path_table.h"
#include "http/reading_http_connection.h"
#include "net/listening_socket.h"
#include "net/socket_watcher.h"
#include "net/tls_hooks.h"

class HTTPServer {
  public:
    static constexpr int kPollMilliseconds = 10;

    // Opens the listener on the settings' port, on every interface or on 127.0.0.1 only. With
    // "UseSSLFlag" set, every connection is served over TLS with the certificate and key of
    // "SSLCertificateFilePath"; a file that can't be used throws its OpenSSLError (crypto/tls_server.h)
    // and nothing listens. Throws the socket error kind (SocketAddrInUse when the port is taken).
    HTTPServer(HTTPServerSettings& settings, PlugInPathTable& plugIns, Event& stopEvent, bool allInterfaces);
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;
    virtual ~HTTPServer();

    void Run();
    // The port listened on.
    std::uint16_t Port() const { return m_listener.LocalPort(); }

    // Running plug-in requests, connections reading or answered by the loop, and closed connections
    // still lingering (each holds a descriptor).
    std::uint32_t CountConnections();
    std::int32_t RunningPlugInRequests() { return *LockObject(m_runningPlugInRequests); }

  protected:
    virtual void BeforeRequest() {}
    virtual void OnPump() {}
    virtual void OnFileRequest(std::vector<Byte>& path) {}

    // One pass: what to watch, and the work after the wait.
    void BuildSocketSets();
    void PumpSockets();
    // Hands a complete head on. Answers the plug-in the request is for when the loop must first
    // read more of its body (up to HTTPRequest::kMostHeldBodyBytes), null when it was handed on.
    HTTPPlugIn* DispatchRequest(std::shared_ptr<HTTPRequest> request);
    void DispatchToPlugIn(HTTPPlugIn& plugIn, std::shared_ptr<HTTPRequest> request);
    void ServeFile(std::shared_ptr<HTTPRequest> request);
    // Ends every reply the loop is writing, without a further byte.
    void DropWritingConnections();

  private:
    using ReadingConnections = std::map<std::uint64_t, std::unique_ptr<ReadingHTTPConnection>>;

    bool StopRequested() const;
    void AwaitHandedOnRequests();
    void AcceptConnections();
    void PumpWritingConnections();
    void PumpReadingConnections();
    void StartNewReplies(std::size_t first);
    void SweepReadTimeOuts();
    bool ReadAndDispatch(ReadingHTTPConnection& connection, bool justAccepted);
    void ReadHead(ReadingHTTPConnection& connection, bool justAccepted);
    void ReadHeldBody(ReadingHTTPConnection& connection);
    ReadingConnections::iterator RemoveReadingConnection(ReadingConnections::iterator connection,
                                                         bool socketHandedOn);
    std::uint64_t ReadingConnectionOf(int socket) const;
    void ForgetFinishedReply(FileResponseConnection& connection);
    bool ReadsAtAccept();
    ServerThrottleShares ShareThrottle() const;
    ThrottleGroupCounts CountThrottleGroups() const;
    const FileLocation& AccessLogDirectory();
    std::unique_ptr<HTTPPlugInInterface> MakePlugInInterface(std::shared_ptr<HTTPRequest> request);

    HTTPServerSettings& m_settings;
    PlugInPathTable& m_plugIns;
    Event& m_stopEvent;
    SocketWatcher m_watcher;
    ReadingConnections m_readingConnections;                 // by accept number, so in accept order
    std::vector<std::uint64_t> m_readingConnectionOfSocket;  // by descriptor: accept number, 0 for none
    std::uint64_t m_acceptCount = 0;
    std::vector<std::uint64_t> m_acceptedThisPass;  // read in this pass without waiting for them
    bool m_headsCameWithConnections = true;         // the last client read at its accept had sent its head
    int m_acceptsWithoutRead = 0;
    std::vector<std::uint64_t> m_dueReads;  // the reads of this pass, kept for its memory
    std::int64_t m_nextReadTimeOutSweep;    // no read time-out can fall due before this monotonic time
    std::vector<std::unique_ptr<FileResponseConnection>> m_writingConnections;  // in creation order
    GuardedCount m_runningPlugInRequests;
    ListeningSocket m_listener;
    ThreadGroup m_threads;
    std::int64_t m_passTime = 0;            // monotonic time at the start of the current pass
    std::int64_t m_acceptsPausedUntil = 0;  // the listener is not watched before this monotonic time
    FileLocation m_accessLogDirectory;
    PosixPlatform::HeldFolder m_servedRoot;  // the settings' server root, kept open between requests
    std::int64_t m_accessLogDirectoryReadAt = 0;
    bool m_accessLogDirectoryRead = false;
};

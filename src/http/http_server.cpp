#include "http/http_server.h"

#include <cerrno>

#include "crypto/tls_server.h"
#include "foundation/clocks.h"
#include "foundation/log_manager.h"
#include "http/access_log.h"
#include "net/socket_errors.h"
#include "net/url_info.h"

namespace {

constexpr std::int64_t kIdleWaitMicroseconds = 10'000;
constexpr std::int64_t kBusyRetryWaitMicroseconds = 100'000;
// Consecutive interrupted polls tolerated: 301 are retried, the 302nd ends Run (about 30 seconds).
constexpr int kMostBusyRetries = 300;
// A burst of clients is taken in few passes, without one pass starving the connections it has.
constexpr int kMostAcceptsPerPass = 64;

// One threaded plug-in request: holds one of the plug-in's threads from dispatch until the handler
// is done, or until the job is dropped without running (its thread could not start).
class PlugInJob {
  public:
    PlugInJob(HTTPPlugIn& plugIn, std::unique_ptr<HTTPPlugInInterface> interface)
        : m_plugIn(plugIn), m_interface(std::move(interface)) {}
    PlugInJob(const PlugInJob&) = delete;
    PlugInJob& operator=(const PlugInJob&) = delete;
    ~PlugInJob() {
        m_interface.reset();
        if (m_holdsThread) m_plugIn.ReleaseThread();
    }

    // The interface is gone (the reply flushed, the running count lowered) before the thread is
    // given back.
    void Run() {
        try {
            m_plugIn.HandleRequest(std::move(m_interface));
        } catch (...) {
            KVR_LOG("critical") << "Uncaught exception in plugin " << m_plugIn.Name() << ": "
                                << CurrentExceptionText();
        }
        m_interface.reset();
        m_holdsThread = false;
        m_plugIn.ReleaseThread();
    }

  private:
    HTTPPlugIn& m_plugIn;
    std::unique_ptr<HTTPPlugInInterface> m_interface;
    bool m_holdsThread = true;
};

// Runs the step on each connection in order and drops those that are finished or failed; a failure
// is logged with the prefix and ends that connection only.
template <class Connection, class Step>
void PumpEach(std::vector<std::unique_ptr<Connection>>& connections, const char* errorPrefix, Step step) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < connections.size(); ++i) {
        bool finished = true;
        try {
            step(*connections[i]);
            finished = connections[i]->IsFinished();
        } catch (...) {
            KVR_LOG("critical") << errorPrefix << CurrentExceptionText();
        }
        if (finished) continue;
        if (kept != i) connections[kept] = std::move(connections[i]);
        ++kept;
    }
    connections.resize(kept);
}

bool IsNothingPending(const SocketError& error) {
    return error.Code() == EAGAIN || error.Code() == EWOULDBLOCK;
}

// Out of memory for the socket: the pending connection stays in the listener's queue, which keeps the
// listener readable (as it does when descriptors run out: SocketFileLimit).
bool IsOutOfMemory(const SocketError& error) {
    return error.Code() == ENOBUFS || error.Code() == ENOMEM;
}

// How long the listener is left unwatched after an accept ran out of descriptors or memory: watched
// at once, it would make every poll return at once and the loop spin (logging each time) until
// something closes.
constexpr std::int64_t kAcceptPauseMicroseconds = 1'000'000;

}  // namespace

HTTPServer::HTTPServer(HTTPServerSettings& settings, PlugInPathTable& plugIns, Event& stopEvent,
                       bool allInterfaces)
    : m_settings(settings), m_plugIns(plugIns), m_stopEvent(stopEvent) {
    std::shared_ptr<TLSServerContext> tls;
    if (settings.useTLS) tls = BuildTLSServerContext(settings.certificateFilePath);
    m_listener.Open(static_cast<std::uint16_t>(settings.port), !allInterfaces, std::move(tls));
}

// Plug-in threads see the stop event within one step and end; the connections go last, so their
// sockets close after everything that could still write to them.
HTTPServer::~HTTPServer() {
    m_stopEvent.Set();
    m_threads.JoinAll();
    m_listener.Close();
    m_writingConnections.clear();
    m_readingConnections.clear();
}

void HTTPServer::Run() {
    SocketSet set;
    int busyErrors = 0;
    while (!m_stopEvent.Wait(0)) {
        set.Clear();
        BuildSocketSets(set);
        if (set.IsEmpty()) {
            m_stopEvent.Wait(kIdleWaitMicroseconds);
            continue;
        }
        try {
            set.Poll(kPollMilliseconds);
            PumpSockets(set);
            busyErrors = 0;
        } catch (const SocketBusyError&) {
            if (busyErrors == 0)
                KVR_LOG("debug") << "SocketBusyError encountered, retrying for up to 30 seconds.";
            if (busyErrors++ > kMostBusyRetries) {
                KVR_LOG("critical") << "SocketBusyError persisted for 30 seconds, exiting.";
                throw;
            }
            m_stopEvent.Wait(kBusyRetryWaitMicroseconds);
        }
    }
}

std::uint32_t HTTPServer::CountConnections() {
    return static_cast<std::uint32_t>(RunningPlugInRequests()) +
           static_cast<std::uint32_t>(m_readingConnections.size() + m_writingConnections.size() +
                                      m_listener.ClosingConnections().Count());
}

// A reply connection is watched only for work it will do now: a socket added with nothing to write
// (or, for reading, without a back channel to read) would make every poll return at once and the
// loop spin. The server's throttle limits are shared evenly among the reply connections, and each
// throttle group's requested rate among the connections of that group.
void HTTPServer::BuildSocketSets(SocketSet& set) {
    const std::int64_t now = GetMonotonicTime();
    if (CountConnections() < m_settings.maxConnections && now >= m_acceptsPausedUntil)
        set.AddRead(m_listener.Handle());
    for (const auto& connection : m_readingConnections) set.AddRead(connection->Handle());
    const ServerThrottleShares shares = ShareServerThrottle(
        m_settings.throttleKBPS, m_settings.dynamicThrottleMaxKBPS, m_settings.dynamicThrottleMinKBPS,
        m_settings.dynamicThrottleFraction, m_writingConnections.size());
    ThrottleGroupCounts groups;
    for (const auto& connection : m_writingConnections)
        if (!connection->GetThrottleGroup().empty()) ++groups[connection->GetThrottleGroup()];
    for (const auto& connection : m_writingConnections) {
        if (connection->WantsBackChannel()) set.AddRead(connection->Handle());
        if (connection->PrepareToSend(now, shares, groups)) set.AddWrite(connection->Handle());
    }
}

void HTTPServer::PumpSockets(SocketSet& set) {
    OnPump();
    m_listener.ClosingConnections().Pump();
    m_passTime = GetMonotonicTime();
    if (set.IsReadable(m_listener.Handle())) AcceptConnections();
    PumpWritingConnections(set);
    PumpReadingConnections(set);
}

void HTTPServer::AcceptConnections() {
    for (int accepted = 0; accepted < kMostAcceptsPerPass && CountConnections() < m_settings.maxConnections;
         ++accepted) {
        try {
            m_readingConnections.push_back(
                std::make_unique<ReadingHTTPConnection>(m_listener.Accept(), m_settings, m_passTime));
        } catch (const SocketError& error) {
            if (IsNothingPending(error)) return;
            KVR_LOG("critical") << "PumpSockets: " << error.what();
            if (IsOutOfMemory(error)) m_acceptsPausedUntil = m_passTime + kAcceptPauseMicroseconds;
            return;
        } catch (const SocketFileLimit& error) {
            KVR_LOG("critical") << "PumpSockets: " << error.what();
            m_acceptsPausedUntil = m_passTime + kAcceptPauseMicroseconds;
            return;
        } catch (const SocketClosedError& error) {
            KVR_LOG("debug") << "PumpSockets: " << error.what();
            return;
        } catch (...) {
            KVR_LOG("critical") << "PumpSockets: " << CurrentExceptionText();
            return;
        }
    }
}

void HTTPServer::PumpWritingConnections(SocketSet& set) {
    PumpEach(m_writingConnections, "PumpSockets write error: ", [&](FileResponseConnection& connection) {
        if (set.IsReadable(connection.Handle())) connection.ReadBackChannel(m_passTime);
        if (set.IsWritable(connection.Handle())) connection.WriteStep(m_passTime);
        connection.CheckWriteTimeOut(m_passTime);
    });
}

void HTTPServer::PumpReadingConnections(SocketSet& set) {
    PumpEach(m_readingConnections, "PumpSockets read error: ", [&](ReadingHTTPConnection& connection) {
        if (set.IsReadable(connection.Handle())) ReadAndDispatch(connection);
        if (!connection.IsFinished()) connection.CheckReadTimeOut(m_passTime);
    });
}

void HTTPServer::ReadAndDispatch(ReadingHTTPConnection& connection) {
    try {
        connection.Read(m_passTime);
        if (!connection.IsHeadComplete()) return;
        DispatchRequest(connection.GetRequest());
    } catch (const HTTPRequestError& error) {
        m_writingConnections.push_back(std::make_unique<FileResponseConnection>(
            error.Status(), connection.GetRequest(), m_settings, m_passTime));
    }
}

void HTTPServer::DispatchRequest(std::shared_ptr<HTTPRequest> request) {
    BeforeRequest();
    const URLInfo url{ConstData(std::string_view(request->URL()))};
    if (!url.HasPathStart()) throw HTTPRequestError(404);
    WriteAccessLogLine(
        m_settings.AccessLogDirectory(), [this] { return m_settings.AccessLogExpirationDays(); },
        {request->Method(), ConstData(std::string_view(request->URL())), request->ClientAddress()});
    if (HTTPPlugIn* plugIn = FindPlugIn(m_plugIns, url.PathRange()))
        DispatchToPlugIn(*plugIn, std::move(request));
    else
        ServeFile(std::move(request));
}

std::unique_ptr<HTTPPlugInInterface> HTTPServer::MakePlugInInterface(std::shared_ptr<HTTPRequest> request) {
    ++*LockObject(m_runningPlugInRequests);
    try {
        return std::make_unique<HTTPPlugInInterface>(std::move(request), m_stopEvent,
                                                     [this] { --*LockObject(m_runningPlugInRequests); });
    } catch (...) {
        --*LockObject(m_runningPlugInRequests);
        throw;
    }
}

// Whatever fails here has released what it took: the interface lowers the running count when it
// goes, a job that never ran gives its thread back. A client that already has part of a reply gets
// no status line after it; the connection just closes.
void HTTPServer::DispatchToPlugIn(HTTPPlugIn& plugIn, std::shared_ptr<HTTPRequest> request) {
    try {
        std::unique_ptr<HTTPPlugInInterface> interface = MakePlugInInterface(request);
        if (!plugIn.IsThreaded()) {
            plugIn.HandleRequest(std::move(interface));
        } else if (!plugIn.TryAcquireThread()) {
            plugIn.RejectBusy(std::move(interface));
        } else {
            auto job = std::make_shared<PlugInJob>(plugIn, std::move(interface));
            m_threads.Start([job] { job->Run(); });
        }
    } catch (...) {
        KVR_LOG("critical") << "Plugin error: " << CurrentExceptionText();
        if (!request->ReplyStarted()) throw HTTPRequestError(500);
    }
}

void HTTPServer::ServeFile(std::shared_ptr<HTTPRequest> request) {
    const URLInfo url{ConstData(std::string_view(request->URL()))};
    const ConstData path = url.PathRange();
    std::vector<Byte> rawPath(path.begin, path.end);
    OnFileRequest(rawPath);
    m_writingConnections.push_back(std::make_unique<FileResponseConnection>(
        std::move(request), ConstData(rawPath.data(), rawPath.size()), m_settings, m_passTime));
}

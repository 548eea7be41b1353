#include "http/http_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

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
// One new client per pass: a pass that took in a whole burst of clients before serving any of them
// would send their replies together at its end, and the clients, answered in step, would come back
// in step while the loop waits for them. Taken one at a time, each is served as soon as it has sent
// its head, and the listener, still readable, ends the next wait at once.
constexpr int kMostAcceptsPerPass = 1;
constexpr int kAcceptsBetweenReadTries = 16;

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

// Runs the step on each connection from `first` on, in order, and drops those that are finished or
// failed, after telling `drop`; a failure is logged with the prefix and ends that connection only.
template <class Connection, class Step, class Drop>
void PumpEach(std::vector<std::unique_ptr<Connection>>& connections, std::size_t first, const char* errorPrefix,
              Step step, Drop drop) {
    std::size_t kept = first;
    for (std::size_t i = first; i < connections.size(); ++i) {
        bool finished = true;
        try {
            step(*connections[i]);
            finished = connections[i]->IsFinished();
        } catch (...) {
            KVR_LOG("critical") << errorPrefix << CurrentExceptionText();
        }
        if (finished) {
            drop(*connections[i]);
            continue;
        }
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

// The access log follows a change of its directory setting within this time, without a look at the
// registry for every request.
constexpr std::int64_t kAccessLogDirectoryReadPeriod = 1'000'000;

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// The server root's path is looked up again at most this long after the last look-up: a folder put
// in its place is served within this time, without a look-up for every request.
constexpr std::chrono::microseconds kServedRootRecheckPeriod{10'000};

// The stop event's descriptor, always watched.
constexpr std::size_t kWatchedBesideSockets = 1;

}  // namespace

// The stop event's descriptor sits in the watched set beside the sockets: a Set ends the wait at
// once, and the loop learns of it without a system call of its own per pass.
HTTPServer::HTTPServer(HTTPServerSettings& settings, PlugInPathTable& plugIns, Event& stopEvent,
                       bool allInterfaces)
    : m_settings(settings),
      m_plugIns(plugIns),
      m_stopEvent(stopEvent),
      m_nextReadTimeOutSweep(kNever),
      m_servedRoot(settings.serverRootPath, kServedRootRecheckPeriod) {
    std::shared_ptr<TLSServerContext> tls;
    if (settings.useTLS) tls = BuildTLSServerContext(settings.certificateFilePath);
    m_listener.Open(static_cast<std::uint16_t>(settings.port), !allInterfaces, std::move(tls));
    m_watcher.Watch(m_stopEvent.Descriptor(), true, false);
}

// Plug-in threads see the stop event within one step and end; the connections go last, so their
// sockets close after everything that could still write to them.
HTTPServer::~HTTPServer() {
    m_stopEvent.Set();
    m_threads.JoinAll();
    AwaitHandedOnRequests();
    m_listener.Close();
    m_writingConnections.clear();
    m_readingConnections.clear();
}

// An inline plug-in may hand a request on to a thread of its own; the request's interface lowers the
// running count from there when it goes, so the server must outlive it. With the stop event set, each
// read and write step of such a request ends within HTTPPlugInInterface::kStepMilliseconds.
void HTTPServer::AwaitHandedOnRequests() {
    while (RunningPlugInRequests() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool HTTPServer::StopRequested() const {
    return m_stopEvent.IsSetWithoutWaiting() || m_watcher.IsReadable(m_stopEvent.Descriptor());
}

// Nothing to watch but the stop event (the listener left out at the connection limit, and no
// connection the loop serves): the loop sleeps on the stop event instead of passing.
void HTTPServer::Run() {
    int busyErrors = 0;
    while (!StopRequested()) {
        BuildSocketSets();
        if (m_watcher.Count() <= kWatchedBesideSockets) {
            m_stopEvent.Wait(kIdleWaitMicroseconds);
            continue;
        }
        try {
            m_watcher.Wait(kPollMilliseconds);
            PumpSockets();
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

ServerThrottleShares HTTPServer::ShareThrottle() const {
    return ShareServerThrottle(m_settings.throttleKBPS, m_settings.dynamicThrottleMaxKBPS,
                               m_settings.dynamicThrottleMinKBPS, m_settings.dynamicThrottleFraction,
                               m_writingConnections.size());
}

ThrottleGroupCounts HTTPServer::CountThrottleGroups() const {
    ThrottleGroupCounts groups;
    for (const auto& connection : m_writingConnections)
        if (!connection->GetThrottleGroup().empty()) ++groups[connection->GetThrottleGroup()];
    return groups;
}

// Reading connections stay watched for reading from their first pass to their last, so only the
// listener and the reply connections are looked at here. A reply connection is watched only for work
// it will do now: watched with nothing to write (or, for reading, without a back channel to read), it
// would make every wait return at once and the loop spin. The server's throttle limits are shared
// evenly among the reply connections, and each throttle group's requested rate among the connections
// of that group.
void HTTPServer::BuildSocketSets() {
    const std::int64_t now = GetMonotonicTime();
    m_watcher.Watch(m_listener.Handle(),
                    CountConnections() < m_settings.maxConnections && now >= m_acceptsPausedUntil, false);
    if (m_writingConnections.empty()) return;
    const ServerThrottleShares shares = ShareThrottle();
    const ThrottleGroupCounts groups = CountThrottleGroups();
    for (const auto& connection : m_writingConnections)
        m_watcher.Watch(connection->Handle(), connection->WantsBackChannel(),
                        connection->PrepareToSend(now, shares, groups));
}

void HTTPServer::PumpSockets() {
    OnPump();
    m_listener.ClosingConnections().Pump();
    m_passTime = GetMonotonicTime();
    if (m_watcher.IsReadable(m_listener.Handle())) AcceptConnections();
    PumpWritingConnections();
    const std::size_t firstNewReply = m_writingConnections.size();
    PumpReadingConnections();
    StartNewReplies(firstNewReply);
}

void HTTPServer::AcceptConnections() {
    for (int accepted = 0; accepted < kMostAcceptsPerPass && CountConnections() < m_settings.maxConnections;
         ++accepted) {
        try {
            auto connection = std::make_unique<ReadingHTTPConnection>(m_listener.Accept(), m_settings, m_passTime);
            const std::size_t socket = static_cast<std::size_t>(connection->Handle());
            const bool readNow = !connection->HasTLS() && ReadsAtAccept();
            if (!readNow) m_watcher.Watch(connection->Handle(), true, false);
            if (socket >= m_readingConnectionOfSocket.size()) m_readingConnectionOfSocket.resize(socket + 1, 0);
            m_readingConnectionOfSocket[socket] = ++m_acceptCount;
            m_readingConnections.emplace_hint(m_readingConnections.end(), m_acceptCount, std::move(connection));
            if (readNow) m_acceptedThisPass.push_back(m_acceptCount);
            m_nextReadTimeOutSweep = std::min(m_nextReadTimeOutSweep, m_passTime + m_settings.readTimeOut + 1);
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

// A client just accepted is read at once while heads come with their connections (many clients at
// a time, whose heads arrive while the loop is busy); a client taken as soon as it connects (one at a
// time) has sent nothing yet, and trying would only cost a call, so it is watched instead, and every
// so often one is tried again.
bool HTTPServer::ReadsAtAccept() {
    if (m_headsCameWithConnections) return true;
    if (++m_acceptsWithoutRead < kAcceptsBetweenReadTries) return false;
    m_acceptsWithoutRead = 0;
    return true;
}

void HTTPServer::PumpWritingConnections() {
    PumpEach(
        m_writingConnections, 0, "PumpSockets write error: ",
        [&](FileResponseConnection& connection) {
            if (m_watcher.IsReadable(connection.Handle())) connection.ReadBackChannel(m_passTime);
            if (m_watcher.IsWritable(connection.Handle())) connection.WriteStep(m_passTime);
            connection.CheckWriteTimeOut(m_passTime);
        },
        [&](FileResponseConnection& connection) { ForgetFinishedReply(connection); });
}

// A reply made in this pass starts at once when its throttle allows: a fresh socket has room, and
// most replies go out whole in this one step. The head of a lone client's file goes ahead of it:
// alone means no other client waits to be accepted, is ready or is being served.
void HTTPServer::StartNewReplies(std::size_t first) {
    if (first >= m_writingConnections.size()) return;
    const ServerThrottleShares shares = ShareThrottle();
    const ThrottleGroupCounts groups = CountThrottleGroups();
    const bool otherClients = m_watcher.IsReadable(m_listener.Handle()) || m_watcher.ReadySockets().size() > 1 ||
                              m_writingConnections.size() + m_readingConnections.size() > 1;
    PumpEach(
        m_writingConnections, first, "PumpSockets write error: ",
        [&](FileResponseConnection& connection) {
            connection.SetHeadMayWaitForFile(otherClients);
            if (connection.PrepareToSend(m_passTime, shares, groups)) connection.WriteStep(m_passTime);
        },
        [&](FileResponseConnection& connection) { ForgetFinishedReply(connection); });
}

// Most replies end with the socket closed at once (a GET read whole), which takes it out of the
// epoll set by itself; any other socket leaves the set before it goes to the lingering closer.
void HTTPServer::ForgetFinishedReply(FileResponseConnection& connection) {
    const int socket = connection.Handle();
    if (connection.CloseSocketIfDone())
        m_watcher.Closed(socket);
    else
        m_watcher.Forget(socket);
}

std::uint64_t HTTPServer::ReadingConnectionOf(int socket) const {
    const std::size_t descriptor = static_cast<std::size_t>(socket);
    return descriptor < m_readingConnectionOfSocket.size() ? m_readingConnectionOfSocket[descriptor] : 0;
}

// The connections to read in this pass are those found readable and those just accepted, in accept
// order; the others have nothing to read, and only their time-outs can end them.
void HTTPServer::PumpReadingConnections() {
    m_dueReads.swap(m_acceptedThisPass);
    m_acceptedThisPass.clear();
    for (int socket : m_watcher.ReadySockets())
        if (std::uint64_t number = ReadingConnectionOf(socket); number != 0 && m_watcher.IsReadable(socket))
            m_dueReads.push_back(number);
    std::sort(m_dueReads.begin(), m_dueReads.end());
    m_dueReads.erase(std::unique(m_dueReads.begin(), m_dueReads.end()), m_dueReads.end());
    for (std::uint64_t number : m_dueReads) {
        auto found = m_readingConnections.find(number);
        if (found == m_readingConnections.end()) continue;
        ReadingHTTPConnection& connection = *found->second;
        bool handedOn = false;
        try {
            handedOn = ReadAndDispatch(connection, !m_watcher.IsReadable(connection.Handle()));
        } catch (...) {
            KVR_LOG("critical") << "PumpSockets read error: " << CurrentExceptionText();
            RemoveReadingConnection(found, false);
            continue;
        }
        if (connection.IsFinished())
            RemoveReadingConnection(found, handedOn);
        else
            m_watcher.Watch(connection.Handle(), true, false);
    }
    m_dueReads.clear();
    if (m_passTime >= m_nextReadTimeOutSweep) SweepReadTimeOuts();
}

// A connection times out in the first pass after its read time-out has passed, as if every pass
// looked at every connection.
void HTTPServer::SweepReadTimeOuts() {
    std::int64_t earliest = kNever;
    for (auto connection = m_readingConnections.begin(); connection != m_readingConnections.end();) {
        connection->second->CheckReadTimeOut(m_passTime);
        if (connection->second->IsFinished()) {
            connection = RemoveReadingConnection(connection, false);
            continue;
        }
        earliest = std::min(earliest, connection->second->NextTimeOutCheck());
        ++connection;
    }
    m_nextReadTimeOutSweep = earliest;
}

// The socket leaves the watched set before the connection lets it go (to a plug-in thread, or to
// the lingering closer), unless a reply of the loop took it over.
HTTPServer::ReadingConnections::iterator HTTPServer::RemoveReadingConnection(
    ReadingConnections::iterator connection, bool socketHandedOn) {
    const int socket = connection->second->Handle();
    if (!socketHandedOn) m_watcher.Forget(socket);
    m_readingConnectionOfSocket[static_cast<std::size_t>(socket)] = 0;
    return m_readingConnections.erase(connection);
}

// Answers whether a reply of the loop took the connection's socket over.
bool HTTPServer::ReadAndDispatch(ReadingHTTPConnection& connection, bool justAccepted) {
    const std::size_t replies = m_writingConnections.size();
    try {
        if (connection.BodyPlugIn() != nullptr)
            ReadHeldBody(connection);
        else
            ReadHead(connection, justAccepted);
    } catch (const HTTPRequestError& error) {
        m_writingConnections.push_back(std::make_unique<FileResponseConnection>(
            error.Status(), connection.GetRequest(), m_settings, m_passTime));
    }
    return m_writingConnections.size() > replies;
}

void HTTPServer::ReadHead(ReadingHTTPConnection& connection, bool justAccepted) {
    if (justAccepted) {
        m_headsCameWithConnections = connection.ReadIfArrived(m_passTime);
        if (!m_headsCameWithConnections) return;
    } else {
        connection.Read(m_passTime);
    }
    if (!connection.IsHeadComplete()) return;
    if (HTTPPlugIn* waiting = DispatchRequest(connection.GetRequest())) connection.HoldBodyFor(*waiting);
}

void HTTPServer::ReadHeldBody(ReadingHTTPConnection& connection) {
    connection.Read(m_passTime);
    if (connection.IsFinished()) DispatchToPlugIn(*connection.BodyPlugIn(), connection.GetRequest());
}

void HTTPServer::DropWritingConnections() {
    for (const auto& connection : m_writingConnections) m_watcher.Forget(connection->Handle());
    m_writingConnections.clear();
}

const FileLocation& HTTPServer::AccessLogDirectory() {
    if (!m_accessLogDirectoryRead || m_passTime - m_accessLogDirectoryReadAt >= kAccessLogDirectoryReadPeriod) {
        m_accessLogDirectory = m_settings.AccessLogDirectory();
        m_accessLogDirectoryReadAt = m_passTime;
        m_accessLogDirectoryRead = true;
    }
    return m_accessLogDirectory;
}

// A plug-in's request whose body is still coming stays with the loop until the body is held (see
// ReadingHTTPConnection): a client that is slow to send it costs a socket, not one of the plug-in's
// threads.
HTTPPlugIn* HTTPServer::DispatchRequest(std::shared_ptr<HTTPRequest> request) {
    BeforeRequest();
    const URLInfo url{ConstData(std::string_view(request->URL()))};
    if (!url.HasPathStart()) throw HTTPRequestError(404);
    if (const FileLocation& directory = AccessLogDirectory(); !directory.IsEmpty())
        WriteAccessLogLine(
            directory, [this] { return m_settings.AccessLogExpirationDays(); },
            {request->Method(), ConstData(std::string_view(request->URL())), request->ClientAddress()});
    HTTPPlugIn* plugIn = FindPlugIn(m_plugIns, url.PathRange());
    if (plugIn == nullptr) {
        ServeFile(std::move(request));
        return nullptr;
    }
    if (!request->IsBodyHeld()) return plugIn;
    DispatchToPlugIn(*plugIn, std::move(request));
    return nullptr;
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
        std::move(request), ConstData(rawPath.data(), rawPath.size()), m_servedRoot, m_settings, m_passTime));
}

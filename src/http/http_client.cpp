#include "http/http_client.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/abandonable_call.h"
#include "foundation/file_reader.h"
#include "foundation/file_replacing_data_sink.h"
#include "http/authentication_rounds.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_errors.h"
#include "http/proxy_authentication.h"
#include "http/raw_http_exchange.h"
#include "http/request_url.h"
#include "http/response_head_parser.h"
#include "http/socket_http_client.h"
#include "http/tls_client.h"
#include "net/address_resolver.h"
#include "net/client_socket.h"
#include "net/socket_calls.h"
#include "net/socket_errors.h"
#include "net/socket_system.h"

using namespace TransferResult;

namespace {

constexpr std::size_t kReceiveBufferSize = 4096;
constexpr std::size_t kPostBlockSize = 64 * 1024;
// How often a waiting caller asks its stop functor.
constexpr auto kStopPollInterval = std::chrono::milliseconds(10);
constexpr unsigned kOK = 200;
constexpr unsigned kUnauthorized = AuthenticationRounds::kUnauthorized;
constexpr unsigned kProxyAuthenticationRequired = AuthenticationRounds::kProxyAuthenticationRequired;

enum class Mode { Get, Post, Connect };

// A step of an attempt failed with this result code.
struct AttemptFailed {
    int result;
};

enum class BodySending { Sent, Answered, Failed };

// Sends a block of the request body unless the server answers first: a server that refuses the
// request (a 401, a proxy's 407) may answer before it has read the body and then stop reading, and
// a client that went on writing would wait for the time-out. Over TLS a readable socket says nothing
// of an answer (a TLS 1.3 server sends its session tickets right after the handshake), so there only
// a hang-up or an error counts. `timeOut` (microseconds, 0 for none) bounds each wait for progress.
BodySending SendBodyUnlessAnswered(TLSClientSession* tls, int socket, ConstData bytes,
                                   std::uint64_t timeOut) {
    // A TLS write is one blocking call: it goes in records of at most this much.
    static constexpr std::size_t kTLSWriteSize = 16 * 1024;
    const int waitMilliseconds =
        timeOut == 0 ? -1 : static_cast<int>(std::min<std::uint64_t>(timeOut / 1000, INT_MAX));
    while (!bytes.IsEmpty()) {
        pollfd entry{socket, static_cast<short>(tls ? POLLOUT : POLLIN | POLLOUT), 0};
        try {
            if (PollSockets(&entry, 1, waitMilliseconds) == 0) return BodySending::Failed;
        } catch (const SocketBusyError&) {
            continue;  // a signal
        } catch (const DebuggableException&) {
            return BodySending::Failed;
        }
        if (entry.revents & (POLLIN | POLLHUP | POLLERR)) return BodySending::Answered;
        ConstData piece = bytes;
        long sent;
        if (tls) {
            if (piece.Length() > kTLSWriteSize) piece.end = piece.begin + kTLSWriteSize;
            sent = tls->Write(piece);
        } else {
            sent = ::send(socket, piece.begin, piece.Length(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        if (sent <= 0) return BodySending::Failed;
        bytes.begin += sent;
    }
    return BodySending::Sent;
}

// The connection of one call: kept across its attempts (and under the TLS session of a tunnel) and
// shared by the caller with the worker of each attempt, which may outlive the call.
//
// The worker connects, talks and closes. The caller may Interrupt at any time from its own thread:
// the socket is shut down, which wakes a connect, TLS handshake, send or receive blocked on it, and
// no later connect starts. The descriptor is opened and closed only under the lock, so an interrupt
// never reaches a descriptor number that was closed and handed out again.
class SharedConnection {
  public:
    explicit SharedConnection(std::uint64_t timeOut) : m_socket(MakeHTTPClientSocket(timeOut)) {}
    ~SharedConnection() { Close(); }
    SharedConnection(const SharedConnection&) = delete;
    SharedConnection& operator=(const SharedConnection&) = delete;

    bool IsOpen() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_open;
    }

    // A new socket for the entry's family, connected; false when that fails or the connection was
    // interrupted.
    bool Connect(const SocketAddressEntry& entry) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_interrupted) return false;
            m_socket->Close();
            if (!m_socket->EnsureFamily(entry.Family())) return false;
        }
        bool connected = m_socket->Connect(entry);
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = connected && !m_interrupted;
        return m_open;
    }

    // Worker side: TLS over the connected socket, with a context made for this connection.
    void StartTLS(const std::string& host) {
        if (!m_context) m_context = std::make_unique<TLSClientContext>();
        auto session = std::make_unique<TLSClientSession>(*m_context, m_socket->Handle(), host);
        std::lock_guard<std::mutex> guard(m_lock);
        m_tls = std::move(session);
    }
    // Worker side; null before StartTLS.
    TLSClientSession* TLS() const { return m_tls.get(); }
    int Handle() const { return m_socket->Handle(); }

    void Interrupt() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_interrupted = true;
        if (m_socket->Handle() < 0) return;
        try {
            ShutdownSocket(m_socket->Handle(), SHUT_RDWR);
        } catch (const DebuggableException&) {
            // Not connected yet: the caller interrupts again on its next look, by when a connect
            // has begun and can be woken.
        }
    }

    void Close() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tls.reset();
        m_socket->Close();
        m_open = false;
    }

  private:
    std::mutex m_lock;
    std::unique_ptr<Socket> m_socket;
    bool m_open = false;
    bool m_interrupted = false;
    std::unique_ptr<TLSClientContext> m_context;
    std::unique_ptr<TLSClientSession> m_tls;
};

// What the caller and the worker of one attempt share, every field under the lock.
struct TransferStatus {
    std::mutex lock;
    std::condition_variable changed;
    bool stopRequested = false;
    bool lookedUp = false;
    bool proceed = false;
    bool done = false;
    int result = kSuccess;
    unsigned statusCode = 0;
    // The response asked to keep the proxy connection alive, and the connection still stands.
    bool keepAlive = false;
    std::string serverChallenges;
    std::string proxyChallenges;
};

// What one attempt sends, and where its answer goes. The handler and the progress callback belong
// to the caller: the worker uses them only after the caller has let it proceed, while the caller
// waits for it.
struct TransferRequest {
    Mode mode = Mode::Get;
    std::string host;
    std::uint16_t port = 0;
    std::string target;
    bool tls = false;
    bool viaProxy = false;
    std::string authorization;
    std::string proxyAuthorization;
    std::uint64_t contentLength = 0;
    // Where the connection goes: the proxy or the target.
    std::string connectHost;
    std::uint16_t connectPort = 0;
    int familyChoice = 0;
    // Microseconds, 0 for none.
    std::uint64_t timeOut = 0;
    FileLocation postFile;
    FileLocation bodyFile;
    HeaderHandler* handler = nullptr;
    const TransferProgress* progress = nullptr;

    // The head's texts point into this request.
    HTTPRequestHead Head() const {
        HTTPRequestHead head;
        head.post = mode == Mode::Post;
        head.host = host;
        head.port = port;
        head.target = target;
        head.tls = tls;
        head.viaProxy = viaProxy;
        head.connect = mode == Mode::Connect;
        head.authorization = authorization;
        head.proxyAuthorization = proxyAuthorization;
        head.contentLength = contentLength;
        return head;
    }
};

// The worker of one attempt: it runs on an AbandonableCall, owns itself, and records its outcome in
// the shared TransferStatus.
class AttemptWorker {
  public:
    AttemptWorker(TransferRequest request, std::shared_ptr<TransferStatus> status,
                  std::shared_ptr<SharedConnection> connection)
        : m_request(std::move(request)), m_status(std::move(status)), m_connection(std::move(connection)) {}

    // The AbandonableCall's function; `argument` is the AttemptWorker, which it deletes.
    static void Run(void* argument);

  private:
    int Work();
    void OpenPostFile();
    void LookUp();
    bool WaitForProceed();
    void Connect();
    void StartTLS();
    void SendRequest();
    void SendPostFile();
    void ReceiveResponse();
    void TakeHead(const ResponseHeadParser& head);
    bool OpenBodyFile();
    void WriteBody(ConstData bytes);
    void CommitBody();
    void Progress(const char* text);
    void Finish(int result);

    TransferRequest m_request;
    std::shared_ptr<TransferStatus> m_status;
    std::shared_ptr<SharedConnection> m_connection;
    std::optional<PosixPlatform::FileReadingPath> m_postFile;
    // The first address of each family, in the order to try.
    std::vector<SocketAddressEntry> m_addresses;
    std::optional<FileReplacingDataSink> m_body;
    // The request body was not sent in full.
    bool m_bodyCut = false;
    unsigned m_statusCode = 0;
    bool m_keepAlive = false;
    std::string m_serverChallenges;
    std::string m_proxyChallenges;
};

void AttemptWorker::Run(void* argument) {
    std::unique_ptr<AttemptWorker> worker(static_cast<AttemptWorker*>(argument));
    int result = kException;
    try {
        result = worker->Work();
    } catch (const AttemptFailed& failure) {
        result = failure.result;
    } catch (...) {
        // kException: nothing set a result code.
    }
    worker->Finish(result);
}

int AttemptWorker::Work() {
    if (m_request.mode == Mode::Post) OpenPostFile();
    if (!m_connection->IsOpen()) LookUp();
    if (!WaitForProceed()) return kStopped;
    if (!m_connection->IsOpen()) Connect();
    if (m_request.tls && !m_connection->TLS()) StartTLS();
    SendRequest();
    if (m_request.mode == Mode::Post) {
        SendPostFile();
        Progress("Waiting for response");
    }
    try {
        ReceiveResponse();
    } catch (const AttemptFailed& failure) {
        if (m_bodyCut && m_statusCode == 0) throw AttemptFailed{kSendFailed};
        throw;
    }
    // What is left of a body that was cut short would be taken for the next request.
    if (m_bodyCut) m_keepAlive = false;
    if (m_body) CommitBody();
    return kSuccess;
}

void AttemptWorker::OpenPostFile() {
    try {
        m_postFile.emplace(m_request.postFile);
    } catch (const FileIOError&) {
        throw AttemptFailed{kPostFileNotOpened};
    } catch (...) {
        throw AttemptFailed{kFileFailed};
    }
    m_request.contentLength = m_postFile->GetSize();
}

// Every family's look-up happens here, before the caller lets the worker proceed, so that a caller
// that stops while a look-up hangs can leave the worker behind.
void AttemptWorker::LookUp() {
    if (m_request.connectHost.empty()) throw AttemptFailed{kNoAddress};
    AddressResolver resolver(m_request.connectHost, m_request.connectPort, m_request.familyChoice,
                             SocketSystem::Instance().IsIPv6Available(), 0, IPPROTO_TCP, SOCK_STREAM);
    while (resolver.NextFamily() != 0) {
        SocketAddressList::Iterator first = resolver.Results().Begin();
        if (!first.AtEnd() && (first->Family() == AF_INET || first->Family() == AF_INET6))
            m_addresses.push_back(*first);
    }
    if (m_addresses.empty()) throw AttemptFailed{kNoAddress};
}

bool AttemptWorker::WaitForProceed() {
    std::unique_lock<std::mutex> lock(m_status->lock);
    m_status->lookedUp = true;
    m_status->changed.notify_all();
    m_status->changed.wait(lock, [this] { return m_status->proceed || m_status->stopRequested; });
    return !m_status->stopRequested;
}

void AttemptWorker::Connect() {
    for (const SocketAddressEntry& address : m_addresses) {
        Progress("Connecting to server");
        if (m_connection->Connect(address)) return;
    }
    throw AttemptFailed{kConnectFailed};
}

void AttemptWorker::StartTLS() {
    try {
        m_connection->StartTLS(m_request.host);
    } catch (const Http_err_SSL1&) {
        throw AttemptFailed{kTLSContextFailed};
    } catch (const Http_err_SSL2&) {
        throw AttemptFailed{kTLSSessionFailed};
    } catch (const Http_err_SSL3&) {
        throw AttemptFailed{kTLSHandshakeFailed};
    }
}

void AttemptWorker::SendRequest() {
    std::string text = WriteHTTPRequestHead(m_request.Head());
    m_request.handler->GetRequestHeaders(text);
    text += "\r\n";
    Progress("Sending request");
    if (SendBytes(m_connection->TLS(), m_connection->Handle(), ConstData(text)) !=
        static_cast<long>(text.size()))
        throw AttemptFailed{kSendFailed};
}

// A body that the server answered before it was sent in full, or whose sending failed, still
// lets its response be read: only when none comes is the send the failure.
void AttemptWorker::SendPostFile() {
    std::vector<Byte> buffer(kPostBlockSize);
    BodySending sending = BodySending::Sent;
    try {
        for (FileReadingLoop loop(OutputRange(buffer.data(), buffer.size()), *m_postFile, 0,
                                  m_request.contentLength);
             loop.HasChunk() && sending == BodySending::Sent; loop.Advance()) {
            Progress("Sending data");
            sending = SendBodyUnlessAnswered(m_connection->TLS(), m_connection->Handle(), loop.Chunk(),
                                             m_request.timeOut);
        }
    } catch (const FileIOError&) {
        // The file shrank or could not be read while it was sent.
        throw AttemptFailed{kFileFailed};
    }
    m_bodyCut = sending != BodySending::Sent;
}

void AttemptWorker::ReceiveResponse() {
    ResponseHeadParser head;
    ExchangeReceiver receiver(m_connection->TLS(), m_connection->Handle());
    Byte buffer[kReceiveBufferSize] = {};
    std::optional<ResponseBodyFraming> framing;
    bool reportArrivals = false;
    bool keepBody = false;
    try {
        for (;;) {
            long count = receiver.ReceiveBytes(buffer, sizeof buffer, reportArrivals);
            if (count < 0) throw AttemptFailed{kReceiveFailed};
            if (count == 0) {
                m_keepAlive = false;
                // Cut short: before the head ended, the announced length arrived or the last chunk came.
                if (!head.IsComplete() || (framing && framing->IsCutShort()))
                    throw AttemptFailed{kReceiveFailed};
                return;
            }
            ConstData input(buffer, static_cast<std::size_t>(count));
            bool headWasComplete = head.IsComplete();
            if (!head.Consume(input)) continue;
            if (!headWasComplete) {
                TakeHead(head);
                if (m_request.mode == Mode::Connect && m_statusCode == kOK) return;
                bool answering =
                    m_statusCode == kUnauthorized || m_statusCode == kProxyAuthenticationRequired;
                // A 407's chunked body is read and dropped, so that the connection can carry the next round.
                if (head.IsChunked() && m_statusCode != kProxyAuthenticationRequired)
                    throw AttemptFailed{kChunkedBody};
                framing.emplace(head);
                if (m_request.mode == Mode::Get) reportArrivals = m_request.handler->HasSendBackChannel();
                keepBody = !answering && m_request.mode != Mode::Connect && OpenBodyFile();
            }
            bool ended = framing->Take(input);
            if (keepBody && !input.IsEmpty()) {
                WriteBody(input);
                keepBody = m_body.has_value();
            }
            if (ended) return;
        }
    } catch (const ResponseHeadTooLarge&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const MalformedContentLength&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const MalformedChunkedBody&) {
        throw AttemptFailed{kReceiveFailed};
    }
}

void AttemptWorker::TakeHead(const ResponseHeadParser& head) {
    m_statusCode = head.StatusCode();
    // NTLM authenticates the connection, so its legs must share one: a peer that keeps it, by either
    // field, keeps it for the next round.
    m_keepAlive = head.KeepsProxyConnectionAlive() || head.KeepsConnectionAlive();
    m_serverChallenges = head.ServerChallenges();
    m_proxyChallenges = head.ProxyChallenges();
    m_request.handler->ReceiveResponseHeaders(head.LowerCasedHead().c_str());
}

// A body file that can't be made fails a GET; a POST still takes its response, writing nothing.
bool AttemptWorker::OpenBodyFile() {
    if (m_request.bodyFile.IsEmpty()) return false;
    try {
        m_body.emplace(m_request.bodyFile);
        m_body->Begin();
        return true;
    } catch (...) {
        m_body.reset();
        if (m_request.mode == Mode::Get) throw AttemptFailed{kFileFailed};
        return false;
    }
}

void AttemptWorker::WriteBody(ConstData bytes) {
    try {
        m_body->Receive(bytes);
    } catch (const FileIOError&) {
        m_body.reset();
        if (m_request.mode == Mode::Get) throw AttemptFailed{kFileFailed};
        return;
    }
    if (m_request.mode == Mode::Get) Progress("Receiving data");
}

// The body replaces the body file only when it is complete and the caller did not break the
// transfer off meanwhile: a stop ends a body without length in the same way the server would.
void AttemptWorker::CommitBody() {
    {
        std::lock_guard<std::mutex> guard(m_status->lock);
        if (m_status->stopRequested) throw AttemptFailed{kStopped};
    }
    try {
        m_body->End();
    } catch (const FileIOError&) {
        m_body.reset();
        if (m_request.mode == Mode::Get) throw AttemptFailed{kFileFailed};
    }
    m_body.reset();
}

void AttemptWorker::Progress(const char* text) {
    const TransferProgress& progress = *m_request.progress;
    if (progress && !progress(text)) throw AttemptFailed{kStopped};
}

// An unfinished body file goes before the caller hears of the outcome.
void AttemptWorker::Finish(int result) {
    m_body.reset();
    m_postFile.reset();
    std::lock_guard<std::mutex> guard(m_status->lock);
    m_status->result = result;
    m_status->statusCode = m_statusCode;
    m_status->keepAlive = m_keepAlive;
    m_status->serverChallenges = std::move(m_serverChallenges);
    m_status->proxyChallenges = std::move(m_proxyChallenges);
    m_status->done = true;
    m_status->changed.notify_all();
}

struct AttemptOutcome {
    int result = kSuccess;
    unsigned status = 0;
    std::string serverChallenges;
    std::string proxyChallenges;
};

AttemptOutcome Failed(int result) {
    AttemptOutcome outcome;
    outcome.result = result;
    return outcome;
}

// One GetHTTP, PostHTTP or TransferHTTP call.
class HTTPTransfer {
  public:
    HTTPTransfer(Mode mode, RequestURL url, HTTPClientSession& session, const FileLocation& postFile,
                 const FileLocation& bodyFile, HeaderHandler& handler, std::uint64_t timeOut,
                 const TransferProgress& progress, GetStopFunctor& stop)
        : m_mode(mode),
          m_url(std::move(url)),
          m_session(session),
          m_viaProxy(!session.ProxyHost().empty() && !IsLocalTargetHost(m_url.host)),
          m_postFile(postFile),
          m_bodyFile(bodyFile),
          m_handler(handler),
          m_progress(progress),
          m_stop(stop),
          m_timeOut(timeOut),
          m_connection(std::make_shared<SharedConnection>(timeOut)) {}
    ~HTTPTransfer() { m_connection->Close(); }

    int Run(int& status) {
        unsigned finalStatus = 0;
        int result = RunRounds(m_mode, finalStatus);
        status = static_cast<int>(finalStatus);
        return result;
    }

  private:
    int RunRounds(Mode mode, unsigned& status);
    bool TunnelNeeded(Mode mode) {
        return mode != Mode::Connect && m_url.tls && m_viaProxy && !m_connection->IsOpen();
    }
    // Inside a tunnel the request reaches the server, never the proxy.
    bool SendsToProxy(Mode mode) const { return m_viaProxy && (mode == Mode::Connect || !m_url.tls); }
    TransferRequest MakeRequest(Mode mode, const std::string& authorization,
                                const std::string& proxyAuthorization) const;
    AttemptOutcome RunAttempt(Mode mode, const std::string& authorization,
                              const std::string& proxyAuthorization);

    const Mode m_mode;
    const RequestURL m_url;
    HTTPClientSession& m_session;
    const bool m_viaProxy;
    const FileLocation& m_postFile;
    const FileLocation& m_bodyFile;
    HeaderHandler& m_handler;
    const TransferProgress& m_progress;
    GetStopFunctor& m_stop;
    const std::uint64_t m_timeOut;
    std::shared_ptr<SharedConnection> m_connection;
};

// The tunnel is made again whenever a round has closed the connection. The session's stored proxy
// authorization follows the rounds that talk to the proxy, never those inside a tunnel.
int HTTPTransfer::RunRounds(Mode mode, unsigned& status) {
    bool toProxy = SendsToProxy(mode);
    AuthenticationRounds rounds(m_session, toProxy, m_url.host);
    AttemptOutcome outcome;
    for (;;) {
        if (TunnelNeeded(mode)) {
            int tunnel = RunRounds(Mode::Connect, status);
            if (tunnel != kSuccess && m_stop.ShouldStop()) return kStopped;
            if (tunnel != kSuccess || status != kOK) return kProxyTunnelFailed;
        }
        outcome = RunAttempt(mode, rounds.Authorization(), rounds.ProxyAuthorization());
        status = outcome.status;
        if (outcome.result != kSuccess || (status != kUnauthorized && status != kProxyAuthenticationRequired))
            break;
        const char* method = mode == Mode::Connect ? "CONNECT" : mode == Mode::Get ? "GET" : "POST";
        std::string uri = RequestTargetAsSent(
            MakeRequest(mode, rounds.Authorization(), rounds.ProxyAuthorization()).Head());
        const std::string& challenges =
            status == kUnauthorized ? outcome.serverChallenges : outcome.proxyChallenges;
        if (!rounds.Answer(status, method, challenges, uri)) {
            outcome.result = kStopped;
            break;
        }
    }
    if (toProxy) rounds.Finish(outcome.result == kSuccess && status == kOK);
    return outcome.result;
}

TransferRequest HTTPTransfer::MakeRequest(Mode mode, const std::string& authorization,
                                          const std::string& proxyAuthorization) const {
    TransferRequest request;
    request.mode = mode;
    request.host = m_url.host;
    request.target = m_url.target;
    request.authorization = authorization;
    if (SendsToProxy(mode)) request.proxyAuthorization = proxyAuthorization;
    request.port = m_url.port;
    request.tls = m_url.tls && mode != Mode::Connect;
    request.viaProxy = m_viaProxy;
    request.connectHost = m_viaProxy ? m_session.ProxyHost() : m_url.host;
    request.connectPort = m_viaProxy ? m_session.ProxyPort() : m_url.port;
    request.familyChoice = m_session.AddressFamilyChoice();
    request.timeOut = m_timeOut;
    if (mode == Mode::Post) request.postFile = m_postFile;
    if (mode != Mode::Connect) request.bodyFile = m_bodyFile;
    request.handler = &m_handler;
    request.progress = &m_progress;
    return request;
}

AttemptOutcome HTTPTransfer::RunAttempt(Mode mode, const std::string& authorization,
                                        const std::string& proxyAuthorization) {
    if (m_progress && !m_progress("Looking up server")) return Failed(kStopped);
    auto status = std::make_shared<TransferStatus>();
    auto worker = std::make_unique<AttemptWorker>(MakeRequest(mode, authorization, proxyAuthorization),
                                                  status, m_connection);
    AbandonableCall::Pointer thread = AbandonableCall::Create(&AttemptWorker::Run, worker.get());
    if (!thread) return Failed(kWorkerNotStarted);
    worker.release();  // the worker owns itself now

    std::unique_lock<std::mutex> lock(status->lock);
    // The look-up: a stop leaves the worker behind; it ends by itself when it sees the stop.
    while (!status->lookedUp && !status->done) {
        if (thread->IsFinished()) break;
        lock.unlock();
        bool stop = m_stop.ShouldStopWaiting();
        lock.lock();
        if (stop) {
            status->stopRequested = true;
            status->changed.notify_all();
            lock.unlock();
            m_connection->Close();
            return Failed(kStopped);
        }
        status->changed.wait_for(lock, kStopPollInterval);
    }
    // The exchange: a stop shuts the connection down, which makes the worker end at once.
    status->proceed = true;
    status->changed.notify_all();
    bool brokenOff = false;
    while (!status->done && !thread->IsFinished()) {
        if (!brokenOff) {
            lock.unlock();
            bool stop = m_stop.ShouldStopWaiting();
            lock.lock();
            // Marked before the connection goes down, so that the worker never takes the end of the
            // connection for the end of a body.
            if (stop) brokenOff = status->stopRequested = true;
        }
        if (brokenOff) {
            // Again on every look: the first shutdown may come before the worker's connect has begun.
            lock.unlock();
            m_connection->Interrupt();
            lock.lock();
            if (status->done) break;
        }
        status->changed.wait_for(lock, kStopPollInterval);
    }
    if (!status->done) {
        lock.unlock();
        m_connection->Close();
        return Failed(kWorkerEndedEarly);
    }
    AttemptOutcome outcome{status->result, status->statusCode, std::move(status->serverChallenges),
                           std::move(status->proxyChallenges)};
    bool keepAlive = status->keepAlive;
    lock.unlock();
    thread.reset();

    if (brokenOff) {
        m_connection->Close();
        return Failed(m_stop.ShouldStopWaiting() ? kStopped : kBrokenOff);
    }
    if (outcome.result != kSuccess && outcome.result != kStopped && m_stop.ShouldStop())
        outcome.result = kStopped;
    if (outcome.result != kSuccess || (outcome.status != kOK && !keepAlive)) m_connection->Close();
    return outcome;
}

int RunTransfer(Mode mode, std::string_view url, HTTPClientSession& session, const FileLocation& postFile,
                const FileLocation& bodyFile, HeaderHandler& handler, int& status, std::uint64_t timeOut,
                const TransferProgress& progress, GetStopFunctor& stop) {
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
    return RunTransfer(Mode::Get, url, session, FileLocation(), bodyFile, handler, status,
                       timeOutMicroseconds, progress, stop);
}

int PostHTTP(std::string_view url, HTTPClientSession& session, const FileLocation& postFile,
             const FileLocation& bodyFile, HeaderHandler& handler, int& status,
             std::uint64_t timeOutMicroseconds, const TransferProgress& progress, GetStopFunctor& stop) {
    return RunTransfer(Mode::Post, url, session, postFile, bodyFile, handler, status, timeOutMicroseconds,
                       progress, stop);
}

int TransferHTTP(std::string_view url, const FileLocation& postFile, const FileLocation& bodyFile,
                 const std::string& wantedHeader, std::string* wantedValue, int& status,
                 std::uint64_t timeOutMicroseconds, GetStopFunctor& stop, HTTPClientSession& session) {
    try {
        ReplaceRequestHeaderHandler handler("", wantedHeader);
        int result = RunTransfer(Mode::Post, url, session, postFile, bodyFile, handler, status,
                                 timeOutMicroseconds, TransferProgress(), stop);
        if (wantedValue) *wantedValue = handler.GetWantedHeaderValue();
        return result;
    } catch (...) {
        return kException;
    }
}

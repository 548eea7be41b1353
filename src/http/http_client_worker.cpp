#include "http/http_client_worker.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
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
#include "http/response_head_parser.h"
#include "http/tls_client.h"
#include "net/socket_calls.h"
#include "net/socket_errors.h"

using namespace TransferResult;

namespace {

constexpr std::size_t kPostBlockSize = 64 * 1024;
// How often a waiting caller asks its stop functor.
constexpr auto kStopPollInterval = std::chrono::milliseconds(10);
constexpr unsigned kOK = 200;
constexpr unsigned kUnauthorized = AuthenticationRounds::kUnauthorized;
constexpr unsigned kProxyAuthenticationRequired = AuthenticationRounds::kProxyAuthenticationRequired;

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

// What the caller and the worker of one attempt share, every field under the lock.
struct TransferStatus {
    std::mutex lock;
    std::condition_variable changed;
    bool stopRequested = false;
    bool lookedUp = false;
    bool proceed = false;
    bool done = false;
    AttemptOutcome outcome;
    // The connection can carry the next round.
    bool keepAlive = false;
};

// The worker of one attempt; it records its outcome in the shared TransferStatus. It is the sink of
// its response: the handler hears of every head, and the body of the final response goes to the
// body file.
class AttemptWorker : private ResponseSink {
  public:
    AttemptWorker(TransferRequest request, std::shared_ptr<TransferStatus> status,
                  std::shared_ptr<ClientConnection> connection)
        : m_request(std::move(request)), m_status(std::move(status)), m_connection(std::move(connection)) {}

    // The worker thread's work.
    void Run();

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
    bool TakeHead(const ResponseHeadParser& head) override;
    bool ReportsArrivals() override;
    void TakeBody(ConstData bytes) override;
    bool OpenBodyFile();
    void WriteBody(ConstData bytes);
    void CommitBody();
    void Progress(const char* text);
    void Finish(int result);

    TransferRequest m_request;
    std::shared_ptr<TransferStatus> m_status;
    std::shared_ptr<ClientConnection> m_connection;
    std::optional<PosixPlatform::FileReadingPath> m_postFile;
    std::uint64_t m_contentLength = 0;
    // The first address of each family, in the order to try.
    std::vector<SocketAddressEntry> m_addresses;
    std::optional<FileReplacingDataSink> m_body;
    // The body of the response being received goes to m_body.
    bool m_keepBody = false;
    // The request body was not sent in full.
    bool m_bodyCut = false;
    // Its result is set by Finish.
    AttemptOutcome m_outcome;
    bool m_keepAlive = false;
};

void AttemptWorker::Run() {
    int result = kException;
    try {
        result = Work();
    } catch (const AttemptFailed& failure) {
        result = failure.result;
    } catch (...) {
        // kException: nothing set a result code.
    }
    Finish(result);
}

int AttemptWorker::Work() {
    if (m_request.mode == ClientRequestMode::Post) OpenPostFile();
    if (!m_connection->IsOpen()) LookUp();
    if (!WaitForProceed()) return kStopped;
    if (!m_connection->IsOpen()) Connect();
    if (m_request.tls && !m_connection->TLS()) StartTLS();
    SendRequest();
    if (m_request.mode == ClientRequestMode::Post) {
        SendPostFile();
        Progress("Waiting for response");
    }
    try {
        ReceiveResponse();
    } catch (const AttemptFailed& failure) {
        if (m_bodyCut && m_outcome.status == 0) throw AttemptFailed{kSendFailed};
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
    m_contentLength = m_postFile->GetSize();
}

// Every family's look-up happens here, before the caller lets the worker proceed, so that a caller
// that stops while a look-up hangs can leave the worker behind.
void AttemptWorker::LookUp() {
    if (m_request.connectHost.empty()) throw AttemptFailed{kNoAddress};
    m_addresses = LookUpAddresses(m_request.connectHost, m_request.connectPort, m_request.familyChoice);
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
    if (!m_connection->ConnectToFirst(m_addresses, [this] { Progress("Connecting to server"); }))
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
    std::string text = WriteHTTPRequestHead(m_request.Head(m_contentLength));
    m_request.handler->GetRequestHeaders(text);
    text += "\r\n";
    Progress("Sending request");
    if (!m_connection->SendAll(ConstData(text))) throw AttemptFailed{kSendFailed};
}

// A body that the server answered before it was sent in full, or whose sending failed, still
// lets its response be read: only when none comes is the send the failure.
void AttemptWorker::SendPostFile() {
    std::vector<Byte> buffer(kPostBlockSize);
    BodySending sending = BodySending::Sent;
    try {
        for (FileReadingLoop loop(OutputRange(buffer.data(), buffer.size()), *m_postFile, 0, m_contentLength);
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
    try {
        m_keepAlive = ::ReceiveResponse(*m_connection, head, *this);
    } catch (const ResponseReceiveFailed&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const ResponseCutShort&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const ResponseHeadTooLarge&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const MalformedContentLength&) {
        throw AttemptFailed{kReceiveFailed};
    } catch (const MalformedChunkedBody&) {
        throw AttemptFailed{kReceiveFailed};
    }
}

// The handler hears of every head, a 401's and a 407's too; a tunnel's 200 ends the response.
bool AttemptWorker::TakeHead(const ResponseHeadParser& head) {
    unsigned status = m_outcome.status = head.StatusCode();
    m_outcome.serverChallenges = head.ServerChallenges();
    m_outcome.proxyChallenges = head.ProxyChallenges();
    m_request.handler->ReceiveResponseHeaders(head.LowerCasedHead().c_str());
    if (m_request.mode == ClientRequestMode::Connect && status == kOK) return false;
    bool answering = status == kUnauthorized || status == kProxyAuthenticationRequired;
    // A 407's chunked body is read and dropped, so that the connection can carry the next round.
    if (head.IsChunked() && status != kProxyAuthenticationRequired) throw AttemptFailed{kChunkedBody};
    m_keepBody = !answering && m_request.mode != ClientRequestMode::Connect && OpenBodyFile();
    return true;
}

bool AttemptWorker::ReportsArrivals() {
    return m_request.mode == ClientRequestMode::Get && m_request.handler->HasSendBackChannel();
}

void AttemptWorker::TakeBody(ConstData bytes) {
    if (!m_keepBody) return;
    WriteBody(bytes);
    m_keepBody = m_body.has_value();
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
        if (m_request.mode == ClientRequestMode::Get) throw AttemptFailed{kFileFailed};
        return false;
    }
}

void AttemptWorker::WriteBody(ConstData bytes) {
    try {
        m_body->Receive(bytes);
    } catch (const FileIOError&) {
        m_body.reset();
        if (m_request.mode == ClientRequestMode::Get) throw AttemptFailed{kFileFailed};
        return;
    }
    if (m_request.mode == ClientRequestMode::Get) Progress("Receiving data");
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
        if (m_request.mode == ClientRequestMode::Get) throw AttemptFailed{kFileFailed};
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
    m_outcome.result = result;
    std::lock_guard<std::mutex> guard(m_status->lock);
    m_status->outcome = std::move(m_outcome);
    m_status->keepAlive = m_keepAlive;
    m_status->done = true;
    m_status->changed.notify_all();
}

AttemptOutcome Failed(int result) {
    AttemptOutcome outcome;
    outcome.result = result;
    return outcome;
}

// The caller's side of one attempt: it waits for the worker while it asks its stop functor, every
// 10 ms, never while it holds the status lock (the functor may take its own time and locks).
class WorkerHandOff {
  public:
    WorkerHandOff(std::shared_ptr<TransferStatus> status, AbandonableCall::Pointer thread,
                  std::shared_ptr<ClientConnection> connection, GetStopFunctor& stop)
        : m_status(std::move(status)),
          m_thread(std::move(thread)),
          m_connection(std::move(connection)),
          m_stop(stop) {}

    AttemptOutcome Run();

  private:
    // Whether the worker has looked up, or has ended (by its outcome or by its thread ending).
    bool LookedUp() const { return m_status->lookedUp || Ended(); }
    bool Ended() const { return m_status->done || m_thread->IsFinished(); }
    // Waits until `ready` (asked under the lock) holds; true when the stop functor asked to stop
    // first.
    bool StoppedBefore(bool (WorkerHandOff::*ready)() const);
    // Sets `flag` of the status under its lock and wakes the worker.
    void Tell(bool TransferStatus::*flag);

    std::shared_ptr<TransferStatus> m_status;
    AbandonableCall::Pointer m_thread;
    std::shared_ptr<ClientConnection> m_connection;
    GetStopFunctor& m_stop;
};

AttemptOutcome WorkerHandOff::Run() {
    // The look-up: a stop leaves the worker behind; it ends by itself when it sees the stop.
    if (StoppedBefore(&WorkerHandOff::LookedUp)) {
        Tell(&TransferStatus::stopRequested);
        m_connection->Close();
        return Failed(kStopped);
    }
    // The exchange: a stop shuts the connection down, which makes the worker end at once.
    Tell(&TransferStatus::proceed);
    bool brokenOff = StoppedBefore(&WorkerHandOff::Ended);
    if (brokenOff) {
        // Marked before the connection goes down, so that the worker never takes the end of the
        // connection for the end of a body.
        Tell(&TransferStatus::stopRequested);
        // Again on every look: the first shutdown may come before the worker's connect has begun.
        // (The connection's lock is only ever taken after the status lock, never before it.)
        std::unique_lock<std::mutex> lock(m_status->lock);
        while (!Ended()) {
            m_connection->Interrupt();
            m_status->changed.wait_for(lock, kStopPollInterval, [this] { return m_status->done; });
        }
    }
    std::unique_lock<std::mutex> lock(m_status->lock);
    if (!m_status->done) {
        lock.unlock();
        m_connection->Close();
        return Failed(kWorkerEndedEarly);
    }
    AttemptOutcome outcome = std::move(m_status->outcome);
    bool keepAlive = m_status->keepAlive;
    lock.unlock();
    m_thread.reset();

    if (brokenOff) {
        m_connection->Close();
        return Failed(m_stop.ShouldStopWaiting() ? kStopped : kBrokenOff);
    }
    if (outcome.result != kSuccess && outcome.result != kStopped && m_stop.ShouldStop())
        outcome.result = kStopped;
    if (outcome.result != kSuccess || (outcome.status != kOK && !keepAlive)) m_connection->Close();
    return outcome;
}

bool WorkerHandOff::StoppedBefore(bool (WorkerHandOff::*ready)() const) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_status->lock);
            if ((this->*ready)()) return false;
        }
        if (m_stop.ShouldStopWaiting()) return true;
        std::unique_lock<std::mutex> lock(m_status->lock);
        m_status->changed.wait_for(lock, kStopPollInterval, [this, ready] { return (this->*ready)(); });
    }
}

void WorkerHandOff::Tell(bool TransferStatus::*flag) {
    std::lock_guard<std::mutex> guard(m_status->lock);
    (*m_status).*flag = true;
    m_status->changed.notify_all();
}

}  // namespace

TransferRequest::TransferRequest(ClientRequestMode requestMode, const HTTPRequestHead& head,
                                 const ClientRoute& route)
    : mode(requestMode),
      host(head.host),
      port(head.port),
      target(head.target),
      tls(head.tls),
      viaProxy(head.viaProxy),
      authorization(head.authorization),
      proxyAuthorization(head.proxyAuthorization),
      connectHost(route.ConnectHost()),
      connectPort(route.ConnectPort()) {}

HTTPRequestHead TransferRequest::Head(std::uint64_t contentLength) const {
    HTTPRequestHead head;
    head.post = mode == ClientRequestMode::Post;
    head.host = host;
    head.port = port;
    head.target = target;
    head.tls = tls;
    head.viaProxy = viaProxy;
    head.connect = mode == ClientRequestMode::Connect;
    head.authorization = authorization;
    head.proxyAuthorization = proxyAuthorization;
    head.contentLength = contentLength;
    return head;
}

AttemptOutcome RunAttemptOnWorker(TransferRequest request,
                                  const std::shared_ptr<ClientConnection>& connection, GetStopFunctor& stop) {
    auto status = std::make_shared<TransferStatus>();
    auto worker = std::make_shared<AttemptWorker>(std::move(request), status, connection);
    AbandonableCall::Pointer thread = AbandonableCall::Create([worker] { worker->Run(); });
    if (!thread) return Failed(kWorkerNotStarted);
    worker.reset();  // the call owns the worker now
    return WorkerHandOff(std::move(status), std::move(thread), connection, stop).Run();
}

#include "http/http_plugin.h"

#include <algorithm>

#include "base/numerals.h"
#include "foundation/clocks.h"
#include "foundation/log_manager.h"
#include "http/cgi_response.h"
#include "net/ip_address.h"
#include "net/socket_calls.h"
#include "settings/configuration_settings.h"

namespace {

constexpr int kShutBothSides = 2;

}  // namespace

HTTPPlugInInterface::HTTPPlugInInterface(std::shared_ptr<HTTPRequest> request, Event& stopEvent,
                                         std::function<void()> completion)
    : m_request(std::move(request)), m_stopEvent(stopEvent), m_completion(std::move(completion)) {
    m_responseWriter.SetOutput(*this);
}

HTTPPlugInInterface::~HTTPPlugInInterface() {
    try {
        Flush();
    } catch (...) {
    }
    try {
        if (m_completion) m_completion();
    } catch (...) {
    }
}

std::uint64_t HTTPPlugInInterface::GetContentLength() {
    CheckForAbort();
    const std::string_view length = m_request->FirstHeaderValue("Content-Length");
    return length.empty() ? 0 : DecimalToUInt64(ConstData(length));
}

const IPAddress& HTTPPlugInInterface::GetClientAddress() {
    CheckForAbort();
    return m_request->ClientAddress();
}

void HTTPPlugInInterface::SetTimeout(std::int64_t microseconds) {
    m_deadlineStart = GetMonotonicTime();
    m_allowedTime = microseconds;
}

bool HTTPPlugInInterface::HasTimedOut() const {
    return m_allowedTime != 0 && GetMonotonicTime() - m_deadlineStart > m_allowedTime;
}

void HTTPPlugInInterface::RestartDeadline() {
    if (m_allowedTime != 0) m_deadlineStart = GetMonotonicTime();
}

void HTTPPlugInInterface::CheckForAbort() {
    if (m_stopEvent.Wait(0)) throw HTTPPlugInAbortException();
}

void HTTPPlugInInterface::LogDebug(std::string_view name, std::string_view message) {
    KVR_LOG("debug") << "(" << FormatIPAddress(m_request->ClientAddress()).View() << ") " << name << "("
                     << m_request->URL() << ") " << message;
}

bool HTTPPlugInInterface::AtEnd() {
    return GetContentLength() <= m_bodyConsumed;
}

// The body never runs past Content-Length: bytes a client sends beyond it are not the plug-in's.
void HTTPPlugInInterface::ReadSome(OutputRange& range) {
    CheckForAbort();
    const std::uint64_t length = GetContentLength();
    const std::uint64_t remaining = length > m_bodyConsumed ? length - m_bodyConsumed : 0;
    OutputRange body(range.begin, range.begin + std::min<std::uint64_t>(range.Room(), remaining));
    const std::size_t held = m_request->TakeBodyBytes(body);
    m_bodyConsumed += held;
    if (!body.IsFull()) ReadBodyFromSocket(body, held != 0);
    range.begin = body.begin;
}

// The wait for the socket is skipped when the held bytes already gave something. The client's pace
// is judged only when it has nothing more for the plug-in: a read that fills the range means that
// the client is ahead, and a plug-in that took its time between reads must not count against it.
void HTTPPlugInInterface::ReadBodyFromSocket(OutputRange& body, bool gotSome) {
    SocketConnection& connection = m_request->Connection();
    if (connection.HasPendingTLSData() || WaitReadable(connection.Handle(), gotSome ? 0 : kStepMilliseconds)) {
        const std::size_t count = connection.Read(body);
        m_bodyConsumed += count;
        RestartDeadline();
        m_request->Pace().Received(count, GetMonotonicTime());
        if (body.IsFull()) return;
    } else if (HasTimedOut()) {
        throw HTTPPlugInTimeoutException();
    }
    const BodyPace::Verdict verdict = m_request->Pace().Judge(GetMonotonicTime());
    if (verdict != BodyPace::Verdict::kKeep) DropSlowClient(verdict);
}

// The client is dropped as the loop drops a silent one: no reply; what the plug-in writes after
// this fails at once, and the socket closes when the plug-in lets the request go.
void HTTPPlugInInterface::DropSlowClient(BodyPace::Verdict verdict) {
    m_request->Pace().LogDrop(verdict, m_request->ClientAddress());
    try {
        ShutdownSocket(m_request->Connection().Handle(), kShutBothSides);
    } catch (...) {
    }
    throw HTTPPlugInTimeoutException();
}

void HTTPPlugInInterface::Receive(const Byte* begin, const Byte* end) {
    if (begin != end) m_request->MarkReplyStarted();
    while (begin != end) {
        CheckForAbort();
        const std::size_t count = std::min<std::size_t>(end - begin, kOutputBufferSize - m_outputEnd);
        std::copy(begin, begin + count, m_output + m_outputEnd);
        m_outputEnd += count;
        begin += count;
        if (m_outputEnd == kOutputBufferSize) Flush();
    }
}

// What was written stays written: a flush that fails part-way leaves only the unsent rest buffered.
void HTTPPlugInInterface::Flush() {
    SocketConnection& connection = m_request->Connection();
    while (m_outputSent != m_outputEnd) {
        CheckForAbort();
        if (WaitWritable(connection.Handle(), kStepMilliseconds)) {
            ConstData unsent(m_output + m_outputSent, m_output + m_outputEnd);
            m_outputSent += connection.Write(unsent);
        } else if (HasTimedOut()) {
            throw HTTPPlugInTimeoutException();
        }
    }
    RestartDeadline();
    m_outputSent = 0;
    m_outputEnd = 0;
}

HTTPPlugIn::HTTPPlugIn(const char* firstName, bool threaded)
    : m_names{firstName},
      m_threaded(threaded),
      m_threadLimit(
          ConfigurationNumber(2, "HTTPServer", "ThreadLimit", firstName, kDefaultThreadLimit).GetValue()) {}

void HTTPPlugIn::AddName(const char* name) {
    m_names.emplace_back(name);
}

bool HTTPPlugIn::TryAcquireThread() {
    auto running = LockObject(m_runningThreads);
    if (*running >= 0 && static_cast<std::uint32_t>(*running) >= m_threadLimit) return false;
    ++*running;
    return true;
}

void HTTPPlugIn::ReleaseThread() {
    --*LockObject(m_runningThreads);
}

std::int32_t HTTPPlugIn::RunningThreads() {
    return *LockObject(m_runningThreads);
}

void HTTPPlugIn::RejectBusy(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    SendPlainTextResponse(writer, "", 503, false, false);
}

#include "http/reading_http_connection.h"

#include <algorithm>

#include "foundation/log_manager.h"
#include "foundation/text_ranges.h"
#include "net/ip_address.h"

namespace {

// Each line of a head is bounded by the line limit, but a client could send header lines for ever
// within the read time-out: the head as a whole is bounded too.
constexpr std::uint64_t kMostHeadBytes = 64 * 1024;

}  // namespace

ReadingHTTPConnection::ReadingHTTPConnection(SocketConnection connection, const HTTPServerSettings& settings,
                                             std::int64_t time)
    : m_settings(settings),
      m_request(std::make_shared<HTTPRequest>(std::move(connection))),
      m_lines(*this),
      m_lastActivity(time) {
    m_lines.Begin();
}

void ReadingHTTPConnection::Read(std::int64_t time) {
    try {
        if (m_bodyPlugIn != nullptr)
            ReadBody(time);
        else
            ReadHead(time);
    } catch (...) {
        m_finished = true;
        throw;
    }
}

// Over TLS a read may only advance the handshake or take part of a record: the read time-out runs on
// until request bytes arrive.
void ReadingHTTPConnection::ReadHead(std::int64_t time) {
    ReadOnce();
    if (m_bytesOfLastRead != 0) m_lastActivity = time;
    while (!m_headComplete && m_request->Connection().HasPendingTLSData()) ReadOnce();
    StartBodyPace(time);
}

bool ReadingHTTPConnection::ReadIfArrived(std::int64_t time) {
    if (m_request->Connection().HasTLS()) return false;
    try {
        if (!ReadOnceIfArrived()) return false;
        m_lastActivity = time;
        StartBodyPace(time);
    } catch (...) {
        m_finished = true;
        throw;
    }
    return true;
}

void ReadingHTTPConnection::ReadOnce() {
    OutputRange buffer = m_request->ReadBuffer();
    m_bytesOfLastRead = m_request->Connection().Read(buffer);
    TakeRead();
}

bool ReadingHTTPConnection::ReadOnceIfArrived() {
    OutputRange buffer = m_request->ReadBuffer();
    if (!m_request->Connection().ReadIfArrived(buffer, m_bytesOfLastRead)) return false;
    TakeRead();
    return true;
}

// The body window is worked out from stream offsets: the end of the head lies somewhere in the last
// read, which started at m_bytesBeforeLastRead.
void ReadingHTTPConnection::TakeRead() {
    const Byte* const start = m_request->ReadBuffer().begin;
    m_lines.Receive(start, start + m_bytesOfLastRead);
    if (m_headComplete) {
        m_finished = true;
        const std::size_t bodyStart = static_cast<std::size_t>(m_endOfHead - m_bytesBeforeLastRead);
        m_request->SetBodyWindow(bodyStart, m_bytesOfLastRead);
        // A GET read whole, with no body announced and no byte after its head: the client has
        // nothing more to send, so its connection may close at once after the reply.
        if (bodyStart == m_bytesOfLastRead && m_request->Method().View() == "GET" &&
            !m_request->FindHeaderValues("Content-Length") && !m_request->FindHeaderValues("Transfer-Encoding"))
            m_request->Connection().ExpectNothingMore();
    } else {
        m_bytesBeforeLastRead += m_bytesOfLastRead;
    }
}

// The body's pace starts with the end of the head, for every request: a plug-in that reads beyond
// the held bytes goes on with it.
void ReadingHTTPConnection::StartBodyPace(std::int64_t time) {
    if (m_headComplete) m_request->Pace().Start(time, m_settings.readTimeOut, m_settings.minimumBodyBytesPerSecond);
}

void ReadingHTTPConnection::HoldBodyFor(HTTPPlugIn& plugIn) {
    m_bodyPlugIn = &plugIn;
    m_finished = m_request->IsBodyHeld();
}

// Over TLS, decrypted bytes waiting in the session would never wake the loop: they are read now.
void ReadingHTTPConnection::ReadBody(std::int64_t time) {
    do {
        const std::size_t count = m_request->ReadBodyToHold();
        m_request->Pace().Received(count, time);
        if (count != 0) m_lastActivity = time;
    } while (!m_request->IsBodyHeld() && m_request->Connection().HasPendingTLSData());
    m_finished = m_request->IsBodyHeld();
}

void ReadingHTTPConnection::CheckReadTimeOut(std::int64_t time) {
    if (m_bodyPlugIn != nullptr) {
        const BodyPace::Verdict verdict = m_request->Pace().Judge(time);
        if (verdict == BodyPace::Verdict::kKeep) return;
        m_request->Pace().LogDrop(verdict, m_request->ClientAddress());
    } else {
        if (time - m_lastActivity <= m_settings.readTimeOut) return;
        KVR_LOG("debug") << "Closing HTTP connection on " << FormatIPAddress(m_request->ClientAddress()).View();
    }
    m_finished = true;
}

std::int64_t ReadingHTTPConnection::NextTimeOutCheck() const {
    if (m_bodyPlugIn != nullptr) return m_request->Pace().NextJudgement();
    return m_lastActivity + m_settings.readTimeOut + 1;
}

void ReadingHTTPConnection::CountHeadBytes(std::uint64_t total) {
    m_headBytes = total;
    if (m_headBytes > std::max<std::uint64_t>(kMostHeadBytes, m_settings.maxRequestLineLength))
        throw HTTPRequestError(400);
}

void ReadingHTTPConnection::ReceiveText(const Byte* begin, const Byte* end) {
    if (m_headComplete) return;
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (m_currentLine.size() + length > m_settings.maxRequestLineLength) throw HTTPRequestError(414);
    CountHeadBytes(m_headBytes + length);
    m_currentLine.append(reinterpret_cast<const char*>(begin), length);
}

void ReadingHTTPConnection::EndLine(std::uint64_t, std::uint64_t nextStart) {
    if (m_headComplete) return;
    CountHeadBytes(nextStart);
    if (m_currentLine.empty()) {
        CommitPendingHeader();
        m_headComplete = true;
        m_endOfHead = nextStart;
    } else if (!m_requestLineSeen) {
        ParseRequestLine();
    } else {
        HandleHeaderLine();
    }
    m_currentLine.clear();
}

// "METHOD SP target SP version": the method must match exactly; the version is not looked at.
void ReadingHTTPConnection::ParseRequestLine() {
    const std::size_t firstSpace = m_currentLine.find(' ');
    if (firstSpace == std::string::npos) throw HTTPRequestError(400);
    const std::string_view method(m_currentLine.data(), firstSpace);
    if (method == "GET")
        m_request->SetMethod("GET");
    else if (method == "POST")
        m_request->SetMethod("POST");
    else
        throw HTTPRequestError(501);
    const std::size_t secondSpace = m_currentLine.find(' ', firstSpace + 1);
    if (secondSpace == std::string::npos) throw HTTPRequestError(400);
    m_request->SetURL(ConstData(m_currentLine.data() + firstSpace + 1, m_currentLine.data() + secondSpace));
    m_requestLineSeen = true;
}

// A continuation keeps its leading blanks; the value is trimmed when the field is committed.
void ReadingHTTPConnection::HandleHeaderLine() {
    if (m_currentLine[0] == ' ' || m_currentLine[0] == '\t') {
        m_pendingHeader += m_currentLine;
        return;
    }
    if (!m_pendingHeader.empty()) CommitPendingHeader();
    m_pendingHeader.swap(m_currentLine);
}

void ReadingHTTPConnection::CommitPendingHeader() {
    const std::size_t colon = m_pendingHeader.find(':');
    if (colon == std::string::npos || colon == 0) throw HTTPRequestError(400);
    const ConstData name(m_pendingHeader.data(), colon);
    const ConstData value = TrimWhitespaceRange(
        ConstData(m_pendingHeader.data() + colon + 1, m_pendingHeader.size() - colon - 1));
    m_request->AddHeaderValue(name, value);
    m_pendingHeader.clear();
}

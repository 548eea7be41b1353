// ReadingHTTPConnection: one accepted connection from accept until its request head is complete, and
// for a plug-in's request, until the body the request holds for the plug-in is in as well.
//
// Each Read takes at most 1024 bytes from the socket (more only while TLS holds decrypted bytes),
// cuts them into lines and parses the head into the connection's HTTPRequest. The grammar is small:
//
//   request line   METHOD SP target SP anything     METHOD is exactly "GET" or "POST", else 501;
//                                                    a missing space is 400
//   header line    name ":" value                   no colon or an empty name is 400; a line that
//                                                    starts with a blank continues the one before
//   empty line     ends the head                    at least one header line must come first (400)
//
// A line longer than the settings' MaxRequestLineLength is 414, and a head longer than 64 KiB (or
// the line limit, when that is larger) is 400. Body bytes that arrive in the same read as the end of
// the head are held by the request. Every failure is thrown from Read: an HTTPRequestError carries
// the status to answer with; a socket error means the client is gone.
//
// A request for a plug-in goes on reading its body after the head (HoldBodyFor), until the request
// holds the whole body or its first 64 KiB (HTTPRequest::kMostHeldBodyBytes), each Read taking up to
// 16 KiB. Meanwhile the body's pace (body_pace.h) decides the time-out: a client silent for
// longer than the read time-out, or sending less than the minimum rate, is closed.
//
// Owned and used by the server's loop thread only; the request record outlives it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/data_pipeline.h"
#include "foundation/line_maker.h"
#include "http/http_request.h"
#include "http/http_server_settings.h"
#include "net/socket_connection.h"

class HTTPPlugIn;

class ReadingHTTPConnection : private LineReceiver {
  public:
    // `time`: the monotonic time of the accept, the start of the read time-out.
    ReadingHTTPConnection(SocketConnection connection, const HTTPServerSettings& settings, std::int64_t time);
    ReadingHTTPConnection(const ReadingHTTPConnection&) = delete;
    ReadingHTTPConnection& operator=(const ReadingHTTPConnection&) = delete;

    int Handle() const { return m_request->Connection().Handle(); }
    bool HasTLS() const { return m_request->Connection().HasTLS(); }

    // Reads what the socket has and parses it; `time` becomes the last activity. Any exception marks
    // the connection finished.
    void Read(std::int64_t time);
    // The same for a connection that may have nothing to read yet (one just accepted, whose head
    // often came with it): answers false, and changes nothing, when nothing had arrived. A TLS
    // connection is never read this way (false), as its handshake comes first.
    bool ReadIfArrived(std::int64_t time);
    // Marks the connection finished (with a "debug" line) when more than the read time-out has passed
    // since the last bytes of the head arrived, or when the body's pace says the client is too slow.
    void CheckReadTimeOut(std::int64_t time);
    // The earliest monotonic time at which CheckReadTimeOut can end the connection.
    std::int64_t NextTimeOutCheck() const;
    // The head is complete (and, while the body is read for a plug-in, the body held), or the
    // connection failed or timed out.
    bool IsFinished() const { return m_finished; }
    // True only when the whole head was read.
    bool IsHeadComplete() const { return m_headComplete; }
    std::shared_ptr<HTTPRequest> GetRequest() const { return m_request; }

    // After a complete head: reads on until the request holds the body it holds for the plug-in.
    void HoldBodyFor(HTTPPlugIn& plugIn);
    // The plug-in whose request body is read; null before HoldBodyFor.
    HTTPPlugIn* BodyPlugIn() const { return m_bodyPlugIn; }

  private:
    void Begin(std::uint64_t) override {}
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override;
    void End(std::uint64_t) override {}

    void ReadOnce();
    bool ReadOnceIfArrived();
    void TakeRead();
    void ReadHead(std::int64_t time);
    void StartBodyPace(std::int64_t time);
    void ReadBody(std::int64_t time);
    void CountHeadBytes(std::uint64_t total);
    void ParseRequestLine();
    void HandleHeaderLine();
    void CommitPendingHeader();

    const HTTPServerSettings& m_settings;
    std::shared_ptr<HTTPRequest> m_request;
    std::string m_pendingHeader;
    std::string m_currentLine;
    LineMaker m_lines;
    std::uint64_t m_headBytes = 0;
    std::uint64_t m_endOfHead = 0;
    std::uint64_t m_bytesBeforeLastRead = 0;
    std::size_t m_bytesOfLastRead = 0;
    std::int64_t m_lastActivity;
    HTTPPlugIn* m_bodyPlugIn = nullptr;
    bool m_requestLineSeen = false;
    bool m_headComplete = false;
    bool m_finished = false;
};

// Plug-ins: everything the server answers other than plain files.
//
// - HTTPPlugIn: the base of every plug-in. It has one or more names (the first names it in log lines
//   and in its thread-limit setting; the path table maps request paths to it by all of them), runs
//   either threaded (each request on a thread of the server's thread group, at most "ThreadLimit"
//   at once, default 250, read from the named setting "_HTTPServer_ThreadLimit_<first name>"; beyond
//   that the client gets 503) or inline on the server's loop thread, and answers requests in
//   HandleRequest. An inline plug-in may hand the interface on to a thread of its own (bounded by
//   TryAcquireThread, as the server bounds threaded plug-ins); the server, when it goes, waits for
//   such requests to end.
// - HTTPPlugInInterface: a plug-in's whole view of one request. As a DataReader it serves the request
//   body (first the bytes the request holds: the whole body, or the first 64 KiB of a longer one,
//   which the server read before the plug-in took the request; then the socket; never more than
//   Content-Length); as a DataReceiver it takes the reply, buffers up to 1024 bytes and writes them to
//   the socket. Every read or write step waits at most 10 ms and then checks the stop event
//   (HTTPPlugInAbortException) and the optional time-out the plug-in set (HTTPPlugInTimeoutException,
//   counted from the last progress). Reading the body from the socket, the interface also judges the
//   client's pace as the server does (body_pace.h): a client silent for longer than "ReadTimeOut", or
//   sending below "MinRequestBodyBytesPerSecond", is dropped with one "debug" line and its socket
//   shut down, and the read throws HTTPPlugInTimeoutException. Destroying the interface flushes what
//   is left and ends the request: the socket closes when the last holder of the request lets it go.
//
// Thread-safety: a plug-in's own state must be guarded by the plug-in, since HandleRequest of a
// threaded plug-in runs on many threads at once; the thread count is guarded here. An interface is
// used by one thread at a time, its owner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/counted_ptr.h"
#include "foundation/event.h"
#include "http/http_request.h"
#include "http/http_response_writer.h"

// The server is stopping: the request must end.
class HTTPPlugInAbortException : public DebuggableException, public NonDumpableException {};
// No progress within the time the plug-in allowed.
class HTTPPlugInTimeoutException : public DebuggableException, public NonDumpableException {};

class HTTPPlugInInterface : public DataReader, public DataReceiver, public DataWriter {
  public:
    static constexpr std::size_t kOutputBufferSize = 1024;
    static constexpr int kStepMilliseconds = 10;

    // `completion` runs once when the interface goes (the server counts running requests with it).
    HTTPPlugInInterface(std::shared_ptr<HTTPRequest> request, Event& stopEvent,
                        std::function<void()> completion);
    HTTPPlugInInterface(const HTTPPlugInInterface&) = delete;
    HTTPPlugInInterface& operator=(const HTTPPlugInInterface&) = delete;
    // Flushes the rest of the reply (failures are dropped), runs the completion call and lets the
    // request go.
    ~HTTPPlugInInterface() override;

    // Method, target, header fields and client of the request.
    const HTTPRequest& Request() const { return *m_request; }

    // The first "Content-Length" value (the numeral errors of DecimalToUInt64 when it is malformed);
    // 0 when there is none.
    std::uint64_t GetContentLength();
    const IPAddress& GetClientAddress();
    // Every later read or write step fails when it makes no progress for this long; 0 turns the
    // time-out off (the initial state).
    void SetTimeout(std::int64_t microseconds);
    bool HasTimedOut() const;
    // Throws HTTPPlugInAbortException once the stop event is set.
    void CheckForAbort();
    // A "debug" line "(<client>) <name>(<target>) <message>".
    void LogDebug(std::string_view name, std::string_view message);

    // Writes a reply as response events (status line, fields, body) through this interface.
    HTTPResponseReceiver& ResponseWriter() { return m_responseWriter; }

    // The request body: at its end once Content-Length bytes were read.
    bool AtEnd() override;
    void ReadSome(OutputRange& range) override;

    // The reply.
    void Begin() override {}
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override { Flush(); }
    // Writes every buffered byte to the socket.
    void Flush();

  private:
    void RestartDeadline();
    void ReadBodyFromSocket(OutputRange& body, bool gotSome);
    [[noreturn]] void DropSlowClient(BodyPace::Verdict verdict);

    std::shared_ptr<HTTPRequest> m_request;
    Event& m_stopEvent;
    std::function<void()> m_completion;
    std::int64_t m_deadlineStart = 0;
    std::int64_t m_allowedTime = 0;
    Byte m_output[kOutputBufferSize];
    std::size_t m_outputSent = 0;
    std::size_t m_outputEnd = 0;
    HTTPResponseWriter m_responseWriter;
    std::uint64_t m_bodyConsumed = 0;
};

class HTTPPlugIn {
  public:
    static constexpr std::uint32_t kDefaultThreadLimit = 250;

    HTTPPlugIn(const char* firstName, bool threaded);
    HTTPPlugIn(const HTTPPlugIn&) = delete;
    HTTPPlugIn& operator=(const HTTPPlugIn&) = delete;
    virtual ~HTTPPlugIn() = default;

    void AddName(const char* name);
    const std::vector<std::string>& Names() const { return m_names; }
    const std::string& Name() const { return m_names.front(); }
    bool IsThreaded() const { return m_threaded; }
    std::uint32_t ThreadLimit() const { return m_threadLimit; }

    // Takes one of the plug-in's threads: false when ThreadLimit of them are running.
    bool TryAcquireThread();
    void ReleaseThread();
    std::int32_t RunningThreads();

    // Answers 503 "Service Unavailable" and ends the request.
    void RejectBusy(std::unique_ptr<HTTPPlugInInterface> interface);

    // Called once before the server runs; plug-ins that keep a worker start it here.
    virtual void Start() {}
    // Answers one request; the interface is the plug-in's until the call returns.
    virtual void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) = 0;

  private:
    std::vector<std::string> m_names;
    bool m_threaded;
    GuardedCount m_runningThreads;
    std::uint32_t m_threadLimit;
};

// FileResponseConnection: a reply that the server's loop thread writes without blocking, one write
// step whenever the socket can take more. Here: the status-only reply with which the server refuses
// a request,
//
//     HTTP/1.0 <code> <reason phrase>
//     Server: VeltraHTTPServer/8.0.627.0
//     Date: <now, UTC>
//     <empty line>
//
// after which the connection is finished and the server drops it; the socket closes gracefully with
// the last reference to the request. A client that takes nothing for longer than the settings'
// WriteTimeOut loses the connection.
//
// Owned and driven by the server's loop thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/http_request.h"
#include "net/http_server_settings.h"

class FileResponseConnection {
  public:
    // The status-only reply; `time` (monotonic) starts the write time-out.
    FileResponseConnection(int status, std::shared_ptr<HTTPRequest> request,
                           const HTTPServerSettings& settings, std::int64_t time);
    FileResponseConnection(const FileResponseConnection&) = delete;
    FileResponseConnection& operator=(const FileResponseConnection&) = delete;

    int Handle() const { return m_request->Connection().Handle(); }

    // Whether the socket belongs in the write set of this pass: only while reply bytes wait.
    bool PrepareToSend(std::int64_t time);
    // Writes what the socket takes at once; closes when everything was written.
    void WriteStep(std::int64_t time);
    // Closes when more than WriteTimeOut has passed since the last progress.
    void CheckWriteTimeOut(std::int64_t time);
    void Close();
    bool IsFinished() const { return m_finished; }

  private:
    std::shared_ptr<HTTPRequest> m_request;
    const HTTPServerSettings& m_settings;
    std::string m_output;
    std::size_t m_sent = 0;
    std::int64_t m_lastProgress;
    bool m_finished = false;
};

// FileResponseConnection: a writing connection of the HTTP server, the reply to one request sent
// from the server's loop thread without ever blocking. It is either a file under the server root
// (status 200, or 206 from a "Range" start) or a status-only reply to a refused request, and it is
// paced by its own throttle: the server's "ThrottleKBPS" shared among the writing connections, the
// client's "x-kvr-download-*" wishes (a throttle group sharing its rate among its connections), and
// with dynamic throttling the client's back channel (net/arrival_time.h).
//
// Reply head, byte for byte (no Content-Type):
//
//     HTTP/1.0 206 Partial Content
//     Server: VeltraHTTPServer/8.0.627.0
//     Date: Sat, 09 Mar 2024 14:05:31 +0000
//     Content-Range: bytes 100-999/1000          (only when the start is not 0)
//     Content-Length: 900
//     Last-Modified: Fri, 08 Mar 2024 10:00:00 +0000   (never later than now)
//     x-kvr-sendbackchannel: 1                   (only with dynamic throttling)
//
// A status-only reply has the first three lines. Without a throttle in force and without TLS a file
// of more than 16 KiB goes from the page cache to the socket (sendfile), a smaller one in the same
// send as the head; the bytes on the wire are the same either way.
//
// Driven by the server on every pass: PrepareToSend (does the socket belong in the write set?),
// WantsBackChannel (in the read set?), WriteStep when writable, ReadBackChannel when readable,
// CheckWriteTimeOut; the server destroys it once IsFinished. It holds a shared reference to the
// request, whose socket carries the reply and closes when the last reference goes. Loop thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/time_value.h"
#include "http/http_request.h"
#include "http/http_response_writer.h"
#include "http/http_server_settings.h"
#include "net/arrival_time.h"
#include "net/async_socket_writer.h"
#include "net/throttle_request.h"
#include "platform/file_paths.h"

class FileResponseConnection {
  public:
    static constexpr const char* kServerName = "VeltraHTTPServer/8.0.627.0";
    static constexpr std::size_t kChunkSize = 65536;
    // Unpaced files up to this size are sent in one piece with the head, larger ones by sendfile.
    static constexpr std::uint64_t kSmallFileSize = 16384;
    // A head is sent together with the first bytes of a file sent by sendfile when no more than this
    // remains of the file.
    static constexpr std::uint64_t kMostBytesWithHead = 256 * 1024;
    static constexpr std::size_t kBackChannelReadSize = 1024;

    // Serves the file that the request path `path` names under the server root `root`. Throws
    // HTTPRequestError: 400 for a bad path (served_file_request.h), 405 for POST, 501 for any other
    // method but GET, 404 for a missing file, a folder or a file that a symbolic link puts outside
    // the server root (logged at "debug"), 403 without permission, 500 for another failure to open
    // (logged at "debug"), 416 for a range start past the end of the file (a start at the end gets 206
    // with an empty body), and 400 for a throttle header given twice.
    FileResponseConnection(std::shared_ptr<HTTPRequest> request, ConstData path, PosixPlatform::HeldFolder& root,
                           const HTTPServerSettings& settings, std::int64_t now);
    // A status-only reply; 400 for a throttle header given twice.
    FileResponseConnection(int status, std::shared_ptr<HTTPRequest> request,
                           const HTTPServerSettings& settings, std::int64_t now);
    ~FileResponseConnection();
    FileResponseConnection(const FileResponseConnection&) = delete;
    FileResponseConnection& operator=(const FileResponseConnection&) = delete;

    // Applies the pace for this pass (the server's shares, the writing connections per group) and
    // answers whether the socket belongs in the write set: there is something to send and the
    // throttle allows it now. A connection held back by its throttle does not run into the write
    // time-out.
    bool PrepareToSend(std::int64_t now, const ServerThrottleShares& shares,
                       const ThrottleGroupCounts& groups);
    // Whether the socket belongs in the read set: a file sent with dynamic throttling, whose client
    // reports through the back channel.
    bool WantsBackChannel() const;
    // Whether the head of a file sent by sendfile may wait to share a packet with the file's first
    // bytes (the default): that saves work when the server is busy, while a lone client is answered
    // sooner when the head goes ahead and it reads it while the file follows.
    void SetHeadMayWaitForFile(bool mayWait) { m_headMayWaitForFile = mayWait; }
    void WriteStep(std::int64_t now);
    // Reads the back channel once; closes when the client has reported every byte sent. A client
    // that closes it throws SocketClosedError.
    void ReadBackChannel(std::int64_t now);
    // Closes when nothing moved for longer than the settings' write time-out.
    void CheckWriteTimeOut(std::int64_t now);
    void Close();
    bool IsFinished() const { return m_finished; }

    // The throttle group the request named (empty for none).
    const std::string& GetThrottleGroup() const { return m_throttleRequest.group; }
    int Handle() const { return m_request->Connection().Handle(); }
    // Once finished: closes the socket at once when nothing can follow on it (see
    // SocketConnection::CloseIfDone) and answers whether it did.
    bool CloseSocketIfDone() { return m_request->Connection().CloseIfDone(); }

  private:
    void WriteHead(int status, std::int64_t now);
    void PumpChunk();
    bool FileHasMore() const { return m_position < m_size; }
    bool HasSomethingToSend() const { return !m_output.IsEmpty() || FileHasMore(); }
    std::size_t WriteUnthrottled();

    std::shared_ptr<HTTPRequest> m_request;
    const HTTPServerSettings& m_settings;
    ThrottleRequest m_throttleRequest;
    PosixPlatform::FileReadingPath m_file;
    TimeValue m_lastWriteTime;
    std::uint64_t m_start = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_size = 0;
    AsyncSocketWriter m_socketWriter;
    AsyncDataReceiver m_output;
    HTTPResponseWriter m_responseWriter;
    ArrivalTimeMaker m_backChannel;
    bool m_dynamic = false;
    bool m_unthrottled = false;
    bool m_headMayWaitForFile = true;
    std::uint64_t m_bytesSent = 0;
    std::int64_t m_lastProgress;
    bool m_finished = false;
};

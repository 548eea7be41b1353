// RelayDownloadHttpHandler: one GET of a download target's file from one source (the parent relay or
// the file's own URL), written into the target's progress file and resumed where an earlier attempt
// left off. Either transport drives it: the socket client (socket_http_client.h) or the libcurl one
// (handler_requests.h).
//
// The request asks for the rest of the file: "Range: bytes=<resume offset>-", the offset being the
// size of the progress file when the handler is made (0 when there is none), with the relay's user
// agent and its throttle wishes (net/throttle_request.h: the rate, and its group, only with a rate;
// the dynamic fields only when enabled).
//
// The response must be 200 or 206 (else UnexpectedHTTPResponse). Its head says where the body goes:
//
//   content-range: bytes <first>-<last>/<total>     the body continues the file: <first> must be the
//                                                   resume offset (BadContentRangeHeader)
//   x-kvr-downloadservice-contentlength: <total>    (without a content range) the whole file, from 0
//   neither                                         the whole file, from 0; a 206 must have one of the
//                                                   two (BadContentRangeHeader)
//
// and the total, or failing both fields the Content-Length, is checked against the size the target
// must have (CheckLength). A body written from 0 replaces the progress file; one written from the
// resume offset is appended. At the end of the body the file must reach the total: one that stops
// short throws RelayDownloadHttpError and keeps what arrived, for the next attempt to resume. The
// server's back-channel offer ("x-kvr-sendbackchannel") sets the handler's back-channel flag.
//
// CheckForStop asks the interruptor, which throws StopRequest to end the transfer.
//
// One transfer per handler, on the transport's thread. The target is copied; the state store and
// the interruptor are not owned and must outlive the handler.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file_location.h"
#include "foundation/interruptor.h"
#include "http/http_handlers.h"
#include "net/throttle_request.h"
#include "platform/file_paths.h"
#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"

// "Received bad content-range header from server".
class BadContentRangeHeader : public ExceptionPL {
  public:
    BadContentRangeHeader();
};

// "Received bad content-length header from server".
class BadContentLengthHeader : public ExceptionPL {
  public:
    BadContentLengthHeader();
};

// A transfer that failed on the relay's side, or a body that ended before the file did.
class RelayDownloadHttpError : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
};

// A "content-range" value, "bytes <first>-<last>/<total>" in decimal with last + 1 = total (blanks
// around the value allowed); BadContentRangeHeader for anything else. A range that starts at the total
// ("bytes 1000-999/1000") is an empty one: what a server answers a client that holds the whole file.
ContentRange ParseContentRange(ConstData value);

class RelayDownloadHttpHandler : public HttpHandlerBase {
  public:
    static constexpr const char* kUserAgent = "Veltra KVRGather 8.0.627.0";

    RelayDownloadHttpHandler(const DownloadRequestTarget& target, std::string url, FileLocation progressFile,
                             ThrottleRequest throttle, DownloadState& state, Interruptor& interruptor);

    std::uint64_t GetResumeOffset() const { return m_resumeOffset; }

    // The total the target's file must have: for a dynamic target its own size, for an indexed one
    // the Size its row holds (the total is then stored as the row's ContentLength); URL requests are
    // not checked. DownloadSizeFailure when it differs.
    void CheckLength(std::uint64_t total);

    ByteString GetURL() override;
    void WriteRequestHeaders(MessageReceiver& request) override;
    void ReceiveResponseHeaders(const char* head) override;
    void ReceiveStatusCode(int code) override;
    void ReceiveContentLength(std::uint64_t length) override { m_announcedLength = length; }
    void EndResponseHeaders() override {}
    void BeginBody() override;
    void ReceiveBody(ConstData bytes) override;
    void EndBody() override;
    void Progress(const char*) override {}
    void CheckForStop() override { m_interruptor.CheckForInterruption(); }

  private:
    DownloadRequestTarget m_target;
    std::string m_url;
    FileLocation m_progressFile;
    ThrottleRequest m_throttle;
    DownloadState& m_state;
    Interruptor& m_interruptor;
    int m_status = 0;
    std::optional<std::uint64_t> m_announcedLength;
    // Where the body must bring the file: the total of its head.
    std::optional<std::uint64_t> m_total;
    std::uint64_t m_resumeOffset = 0;
    std::optional<PosixPlatform::FileWritingPath> m_file;
    std::uint64_t m_position = 0;
};

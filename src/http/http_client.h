// The relay's main outgoing HTTP client: one GET, or one POST of a file, to an http or https URL,
// directly or through the session's proxy (https through a CONNECT tunnel), answering 401 and 407
// challenges with the session's credentials (proxy_authentication.h), the response body going to
// a file. It speaks HTTP/1.0 and reads only bodies that are not chunked.
//
// The result is one of the TransferResult codes (0 is success); the HTTP status comes back
// separately: a 404 is a successful transfer with status 404. On success the body file holds the
// whole body of the final response (never a 401 or 407 being answered); after any failure it is
// left as it was: the body is written to a temporary file beside it, which replaces it only once
// the body is complete. A body that ends before its Content-Length is a failure
// (kReceiveFailed), and so is a response head beyond 64 KiB.
//
// Each attempt runs on a worker thread of its own while the caller waits, asking the stop functor's
// ShouldStopWaiting every 10 ms; a stop closes the connection and returns within a few
// milliseconds, even while a host name is being looked up or a connect hangs: a worker still busy
// with a look-up is left behind and ends by itself. The stop functor is asked only on the calling
// thread; the progress callback and the HeaderHandler are called on the worker thread while the
// caller waits (never after the call has returned). The session must not serve another request
// meanwhile.
//
// The trusted-certificate file of tls_client.h decides whether https peers are verified.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/file_location.h"

class GetStopFunctor;
class HeaderHandler;
class HTTPClientSession;

namespace TransferResult {
inline constexpr int kSuccess = 0;
inline constexpr int kBadURL = -2;               // scheme neither http nor https, or no authority
inline constexpr int kPostFileNotOpened = -4;    // the file to post can't be opened
inline constexpr int kFileFailed = -5;           // the file to post, or a GET's body file, failed
inline constexpr int kNoAddress = -6;            // no address for the host (or the proxy)
inline constexpr int kConnectFailed = -8;        // the connect to the last address failed
inline constexpr int kSendFailed = -9;           // sending the request failed or was short
inline constexpr int kReceiveFailed = -10;       // receiving failed, or the response was cut short
inline constexpr int kTLSContextFailed = -11;    // no TLS context (e.g. the trusted file is unreadable)
inline constexpr int kTLSSessionFailed = -12;    // no TLS session
inline constexpr int kTLSHandshakeFailed = -13;  // the TLS handshake failed
inline constexpr int kEmptyURL = -20;
inline constexpr int kProxyTunnelFailed = -21;  // the CONNECT failed or answered other than 200
inline constexpr int kWorkerNotStarted = -22;   // the worker thread couldn't be started
inline constexpr int kException = -23;          // an unexpected exception ended the transfer
inline constexpr int kWorkerEndedEarly = -25;   // the worker ended without an outcome
inline constexpr int kBrokenOff = -27;          // stopped by a stop request that has since gone
inline constexpr int kChunkedBody = -28;        // a chunked response body
inline constexpr int kStopped = -100;           // stopped by the caller, or a challenge not answered
}  // namespace TransferResult

// Told what the transfer is doing ("Looking up server", "Connecting to server", "Sending request",
// "Sending data", "Waiting for response", "Receiving data"); false stops it (kStopped).
using TransferProgress = std::function<bool(const char* text)>;

// The time-out (microseconds, 0 for none) bounds each connect, send and receive. An unset body file
// drops the body. A POST sends the file with its size as the Content-Length. `status` receives the
// status of the last response (0 when none came; the proxy's status when a tunnel failed).
int GetHTTP(std::string_view url, HTTPClientSession& session, const FileLocation& bodyFile,
            HeaderHandler& handler, int& status, std::uint64_t timeOutMicroseconds,
            const TransferProgress& progress, GetStopFunctor& stop);
int PostHTTP(std::string_view url, HTTPClientSession& session, const FileLocation& postFile,
             const FileLocation& bodyFile, HeaderHandler& handler, int& status,
             std::uint64_t timeOutMicroseconds, const TransferProgress& progress, GetStopFunctor& stop);

// A POST of the file with the default request lines ("User-Agent: Veltra Lumeroft") and no
// progress. When `wantedValue` is given it receives the value of the response field `wantedHeader`
// (lower case with its colon, "x-veltra-result:"), empty when absent. Never throws: an exception
// gives kException.
int TransferHTTP(std::string_view url, const FileLocation& postFile, const FileLocation& bodyFile,
                 const std::string& wantedHeader, std::string* wantedValue, int& status,
                 std::uint64_t timeOutMicroseconds, GetStopFunctor& stop, HTTPClientSession& session);

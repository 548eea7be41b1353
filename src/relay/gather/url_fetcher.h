// URLFetcher: one GET of a site gather into a file, through one of two transports, reported as a
// FetchResult (fetch_result.h). Which transport a fetcher uses is decided when it is made, by the
// process-wide flag of SetUseUrlMoniker (the gather loop sets it from "_KVRGather_Comm_UseUrlMoniker";
// on until then):
//
// - on: the libcurl sender (http/handler_requests.h, GetWithHeaderHandler), standing in for the
//   platform's URL-moniker download service. Its time limits bound the connect and each pause of the
//   exchange, never the whole transfer, so a large full-site archive may take as long as it needs.
//   A transport failure is tried kURLMonikerAttempts times in all; a stop or an HTTP status is never
//   tried again. The credentials of SetUrlMonikerCredentials answer a server's 401 as the session's
//   server user and password.
// - off: the socket client (http/http_client.h, GetHTTP), with kSocketTimeLimit on each connect,
//   send and receive; its result codes map as SocketFetchResult says.
//
// Results: success (code 0, the URL as message) only for status 200. Another status is code 24 with
// the message "'<url>' http failure code <status>" and the status known; a stop is code 4; another
// failure of the libcurl path code 24 with the transport's text; a local file failure code 23 with
// its text.
//
// The destination is written only by a successful fetch: the body goes to a temporary file beside
// it, which takes its place when the status is 200, so after any failure the destination is as it
// was. URLs go out as they are given.
//
// The process-wide settings may be changed from any thread at any time; a fetcher reads them when it
// is made (the flag) and when it fetches (the credentials). A fetcher serves one GET at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_string.h"
#include "base/file_location.h"
#include "relay/gather/fetch_result.h"

class GetStopFunctor;
class HeaderHandler;
class HTTPClientSession;

void SetUseUrlMoniker(bool useUrlMoniker);
bool GetUseUrlMoniker();
// The user name and password with which later URL-moniker fetches answer a server's challenge,
// replacing those set before.
void SetUrlMonikerCredentials(std::string user, std::string password);

// The result of the socket client's GET (result code and HTTP status, http/http_client.h):
//   0 with HTTP 200                code 0, the URL as message
//   0 with another status          code 24, "'<url>' http failure code <status>"
//   -1, -3 to -13, -21, -101       code 24, "winsock error <code>"
//   -100                           code 4
//   -20                            code 2, "missing url"
//   -2                             code 2, the URL as message
//   anything else                  code 13, "winsock error <code>"
FetchResult SocketFetchResult(std::string_view url, int clientResult, int httpStatus);

class URLFetcher {
  public:
    static constexpr int kURLMonikerAttempts = 3;
    static constexpr std::uint64_t kSocketTimeLimit = 60'000'000;  // microseconds

    explicit URLFetcher(std::string url);

    // The GET of the URL into `destination`, the handler adding its request lines and reading the
    // response head, over the session's proxy; the stop functor ends it early (code 4). The handler
    // and the session serve this call only; the session's server credentials may be replaced.
    FetchResult GetURL(const FileLocation& destination, HeaderHandler& handler, HTTPClientSession& session,
                       GetStopFunctor& stop);

  private:
    FetchResult GetThroughURLMoniker(const FileLocation& body, HeaderHandler& handler, HTTPClientSession& session,
                                     GetStopFunctor& stop);
    FetchResult GetThroughSocket(const FileLocation& body, HeaderHandler& handler, HTTPClientSession& session,
                                 GetStopFunctor& stop);

    std::string m_url;
    bool m_useUrlMoniker;
};

// A URLFetcher made for the URL text, and its GET.
FetchResult FetchURLForGather(const ByteString& url, const FileLocation& destination, HeaderHandler& handler,
                              HTTPClientSession& session, GetStopFunctor& stop);

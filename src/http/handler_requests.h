// The handler-driven requests over the libcurl request sender (curl_request_sender.h).
//
// - RunHandlerRequest: the GET an HttpHandlerBase describes: its GetURL, the fields its
//   WriteRequestHeaders writes, the response fed to its slots (http_handler_adapters.h), its
//   CheckForStop asked as the stop. Failures pass to the caller as the sender throws them.
// - FetchURLIntoReceiver: RunHandlerRequest without proxy or credentials.
// - GetWithHeaderHandler, PostFileWithHeaderHandler: a GET, or a POST of a file (its size as the
//   Content-Length), with the lines of the HeaderHandler's GetRequestHeaders as request fields (read
//   by the header parsing, so their names go out lower-cased); the
//   rebuilt response head (http_handler_adapters.h) goes to its ReceiveResponseHeaders and the body
//   to the body file. The stop functor's ShouldStop is the stop. They never throw: a failure, a stop
//   included, is a result that carries the exception's text.
//
// A body file is written through a temporary file beside it that replaces it only when the body is
// complete: after a failure the file is as it was. An unset body file drops the body (still counted).
//
// The session gives the proxy and the credentials; it is read, never changed, and with the handler
// must outlive the call. Each call runs on the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_location.h"

class GetStopFunctor;
class HeaderHandler;
class HTTPClientSession;
class HttpHandlerBase;

void RunHandlerRequest(HttpHandlerBase& handler, const HTTPClientSession& session);

void FetchURLIntoReceiver(HttpHandlerBase& handler);

struct HandlerRequestResult {
    bool succeeded = false;
    // What() of the exception that ended a failed request.
    std::string errorText;
};

// `bodyBytes` receives the length of the body written, 0 after a failure.
HandlerRequestResult GetWithHeaderHandler(std::string_view url, const FileLocation& bodyFile,
                                          std::uint64_t& bodyBytes, HeaderHandler& handler,
                                          GetStopFunctor& stop, const HTTPClientSession& session);
HandlerRequestResult PostFileWithHeaderHandler(std::string_view url, const FileLocation& postFile,
                                               const FileLocation& bodyFile, std::uint64_t& bodyBytes,
                                               HeaderHandler& handler, GetStopFunctor& stop,
                                               const HTTPClientSession& session);

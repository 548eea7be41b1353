// The handler-driven requests over the libcurl request sender (curl_request_sender.h).
//
// - RunHandlerRequest: the GET an HttpHandlerBase describes: its GetURL, the fields its
//   WriteRequestHeaders writes, the response fed to its slots (http_handler_adapters.h), its
//   CheckForStop asked as the stop. Failures pass to the caller as the sender throws them.
// - FetchURLIntoReceiver: RunHandlerRequest without proxy or credentials.
//
// The session gives the proxy and the credentials; it is read, never changed, and with the handler
// must outlive the call. Each call runs on the calling thread.
#pragma once

class HTTPClientSession;
class HttpHandlerBase;

void RunHandlerRequest(HttpHandlerBase& handler, const HTTPClientSession& session);

void FetchURLIntoReceiver(HttpHandlerBase& handler);

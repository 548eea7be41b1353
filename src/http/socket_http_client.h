// PerformHTTPRequest: the socket HTTP client. It runs one GET described by an HttpHandlerBase over
// a socket of its own, on the calling thread, directly or through the session's proxy (in the
// absolute form, or through a CONNECT tunnel for https), answering 401 and 407 challenges with the
// session's credentials (http_client_session.h); the protocol is http_client_protocol.h's. A 401 or 407 that
// keeps the connection alive
// ("Proxy-Connection: Keep-Alive" or "Connection: Keep-Alive") leaves it open for the next round, so
// the legs of NTLM and Negotiate, which authenticate the connection, share one.
//
// Failures are Http_err_* exceptions (http_client_errors.h), or whatever the handler's CheckForStop
// throws; the connection is closed before any exception leaves. Any failure while the tunnel of an
// https request is opened is Http_err_PROXY_CONNECT. A response head beyond 64 KiB, a
// malformed Content-Length and a request text holding CR, LF or NUL throw their own errors
// (response_head_parser.h, raw_http_exchange.h). The body handed to the handler never goes past the
// Content-Length.
#pragma once

#include <cstdint>

class Event;
class HTTPClientSession;
class HttpHandlerBase;

// `timeOutMicroseconds` bounds each send and receive. The session must not serve another request
// meanwhile.
void PerformHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session,
                        std::uint64_t timeOutMicroseconds);
// The same, ended early by the stop event: once it is set, the connection is shut down, so a
// connect, send or receive in progress ends at once and the call throws StopRequest. A watcher thread
// of its own lives as long as the call.
void PerformHTTPRequest(HttpHandlerBase& handler, HTTPClientSession& session,
                        std::uint64_t timeOutMicroseconds, Event& stop);

// The failures of the socket HTTP client (PerformHTTPRequest), one class per kind, and the name of
// the kind being handled.
//
// Every kind is a DebuggableException, so what() reads "class Http_err_<kind>". The kinds marked
// "kept for callers" are thrown by no code here; other clients and their callers use them.
#pragma once

#include "base/exceptions.h"

// The kinds that have an error name (GetCurrentHttpErrorName).
class HttpClientError : public DebuggableException {
  public:
    // The class name without "class ", such as "Http_err_PROTOCOL".
    const char* Name() const noexcept;
};

class Http_err_AuthenticationFailed : public HttpClientError {};  // a 401 or 407 that can't be answered
class Http_err_PROTOCOL : public HttpClientError {};              // the scheme is neither http nor https
class Http_err_MEMORY : public HttpClientError {};                // kept for callers
class Http_err_BAD_SERVERNAME : public HttpClientError {};        // empty host, or no address found
class Http_err_SOCKET_START : public HttpClientError {};          // kept for callers
class Http_err_SOCKET_CREATE : public HttpClientError {};         // kept for callers
class Http_err_SOCKET_CONNECT : public HttpClientError {};        // the connect failed in the last family
class Http_err_SOCKET_SEND : public HttpClientError {};           // sending the request failed or was short
class Http_err_SOCKET_RECEIVE : public HttpClientError {};        // a receive failed
class Http_err_SHORT_RESPONSE : public HttpClientError {};        // the peer closed before the response ended
class Http_err_SSL1 : public HttpClientError {};                  // the TLS context couldn't be created
class Http_err_SSL2 : public HttpClientError {};                  // the TLS session couldn't be created
class Http_err_SSL3 : public HttpClientError {};                  // the TLS handshake failed
class Http_err_BAD_URL : public HttpClientError {};               // kept for callers
class Http_err_PROXY_CONNECT : public HttpClientError {};         // the CONNECT tunnel failed or wasn't 200
class Http_err_SOCKET_WSOCK : public HttpClientError {};          // kept for callers

// Two kinds without an error name.
class Http_err_SOCKET_TIMEOUT : public DebuggableException {};    // kept for callers
class Http_err_CHUNKED_TRANSFER : public DebuggableException {};  // a chunked body not being drained

// Only inside a catch handler: the name of the HttpClientError kind being handled. Any other
// exception, the two kinds without a name included, is thrown on.
const char* GetCurrentHttpErrorName();

// The worker hand-off of the main HTTP client (http_client.h): each attempt runs on a worker thread
// of its own (an AbandonableCall with its 512 KiB stack) while the caller waits, asking its stop
// functor every 10 ms.
//
// The worker looks the host up, then waits until the caller lets it proceed: a caller that stops
// meanwhile leaves it behind, and it ends by itself. Then it connects (unless the connection is
// already open), starts TLS, sends the head and the file to post, and reads the response, the body
// going to the body file. A caller that stops from then on shuts the connection down, which makes
// the worker end at once.
//
// The worker owns what it uses (its request, and shares of the connection and of the status it
// reports through), so it may outlive the call. It uses the caller's handler and progress callback
// only after the caller has let it proceed, while the caller waits for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/file_location.h"
#include "http/http_client.h"
#include "http/http_client_protocol.h"

class GetStopFunctor;
class HeaderHandler;

// What one attempt sends, and where its answer goes.
struct TransferRequest {
    ClientRequestMode mode = ClientRequestMode::Get;
    std::string host;
    std::uint16_t port = 0;
    std::string target;
    bool tls = false;
    bool viaProxy = false;
    std::string authorization;
    std::string proxyAuthorization;
    // Where the connection goes: the proxy or the target.
    std::string connectHost;
    std::uint16_t connectPort = 0;
    int familyChoice = 0;
    // Microseconds, 0 for none.
    std::uint64_t timeOut = 0;
    FileLocation postFile;
    FileLocation bodyFile;
    HeaderHandler* handler = nullptr;
    const TransferProgress* progress = nullptr;

    // The request of `head` (its texts copied) on the route.
    TransferRequest(ClientRequestMode mode, const HTTPRequestHead& head, const ClientRoute& route);
    // The head; its texts point into this request.
    HTTPRequestHead Head(std::uint64_t contentLength) const;
};

// How an attempt ended: a TransferResult code, and what its response said.
struct AttemptOutcome {
    int result = TransferResult::kSuccess;
    // 0 when no head came.
    unsigned status = 0;
    std::string serverChallenges;
    std::string proxyChallenges;
};

// Runs the attempt on a worker thread while the caller waits, asking `stop` every 10 ms. The
// connection is closed when the attempt failed or was stopped, or when its response neither was a
// 200 nor asked to keep the connection.
AttemptOutcome RunAttemptOnWorker(TransferRequest request,
                                  const std::shared_ptr<ClientConnection>& connection, GetStopFunctor& stop);

// The request-head reader over arbitrary bytes from a real socket: it must end every input either
// with a complete head or with HTTPRequestError (400, 414, 501) or SocketClosedError, never with
// anything else; a complete head has the method GET or POST, a target without line ends and within
// the line limit, and a body window no larger than one read.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/reading_http_connection.h"
#include "net/socket_errors.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const HTTPServerSettings& FuzzSettings() {
    static HTTPServerSettings settings = [] {
        HTTPServerSettings s("KVRRelayFuzz");
        s.maxRequestLineLength = 300;  // small enough for the fuzzer to reach
        return s;
    }();
    return settings;
}

void CheckHead(HTTPRequest& request) {
    const std::string method(request.Method().View());
    Check(method == "GET" || method == "POST");
    Check(request.URL().find_first_of("\r\n") == std::string::npos);
    Check(request.URL().size() <= FuzzSettings().maxRequestLineLength);
    for (const char* name : {"host", "content-length", "x-a"}) {
        const std::vector<std::string>* values = request.FindHeaderValues(name);
        if (values != nullptr) Check(!values->empty());
    }
    Byte body[HTTPRequest::kReadBufferSize + 1];
    OutputRange range(body, sizeof body);
    Check(request.TakeBodyBytes(range) <= HTTPRequest::kReadBufferSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 60000) return 0;  // what one socket pair buffers without a reader
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    SocketHandle client(ends[0]);
    SocketHandle server(ends[1]);
    int sndbuf = 1 << 20;
    ::setsockopt(client.Get(), SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    for (size_t sent = 0; sent < size;) {
        ssize_t count = ::send(client.Get(), data + sent, size - sent, MSG_NOSIGNAL);
        if (count <= 0) std::abort();
        sent += static_cast<size_t>(count);
    }
    client = SocketHandle();

    ReadingHTTPConnection connection(SocketConnection(std::move(server), nullptr, IPAddress(), nullptr),
                                     FuzzSettings(), 0);
    try {
        while (!connection.IsFinished()) connection.Read(0);
        Check(connection.IsHeadComplete());
        CheckHead(*connection.GetRequest());
    } catch (const HTTPRequestError& error) {
        Check(error.Status() == 400 || error.Status() == 414 || error.Status() == 501);
        Check(!connection.IsHeadComplete() && connection.IsFinished());
    } catch (const SocketClosedError&) {
        Check(!connection.IsHeadComplete() && connection.IsFinished());
    }
    return 0;
}

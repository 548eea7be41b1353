// The handler-driven requests over the libcurl request sender, against scripted loopback origins.
#include "net/handler_requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/header_maker.h"
#include "foundation/interruptor.h"
#include "http_client_test_support.h"
#include "net/http_handler_adapters.h"
#include "net/http_handlers.h"
#include "net/proxy_authentication.h"
#include "support/scripted_http_server.h"

namespace {

std::string URLOf(const ScriptedHTTPServer& server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

TEST(RunHandlerRequest, FeedsTheHandlersSlotsInTheSocketClientsOrder) {
    ScriptedHTTPServer origin([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("hello", "X-Kvr-Thing: Mixed Value\r\n")};
    });
    RecordingHttpHandler handler(URLOf(origin, "/x?y=1"));
    handler.requestFields = {{"x-kvr-download-bytespersecond", "100"}, {"x-kvr-dynamic-enabled", "1"}};
    RunHandlerRequest(handler, HTTPClientSession());

    const std::vector<std::string> calls = {"status 200", "length 5", "head", "end head", "begin", "end"};
    EXPECT_EQ(handler.calls, calls);
    EXPECT_EQ(handler.head, "http/1.0 200 OK\r\nx-kvr-thing: Mixed Value\r\ncontent-length: 5\r\n\r\n");
    EXPECT_EQ(handler.body, "hello");
    const std::string sent = origin.Exchanges().at(0).request;
    EXPECT_EQ(sent.rfind("GET /x?y=1 HTTP/1.1\r\n", 0), 0u) << sent;
    EXPECT_NE(sent.find("\r\nx-kvr-download-bytespersecond: 100\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("x-kvr-dynamic"), std::string::npos) << sent;
}

TEST(RunHandlerRequest, TheHandlersStopEndsTheRequest) {
    ScriptedHTTPServer origin([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply(std::string(1 << 20, 'x'))};
    });
    class StoppingHandler : public RecordingHttpHandler {
      public:
        using RecordingHttpHandler::RecordingHttpHandler;
        void CheckForStop() override {
            if (!body.empty()) throw StopRequest();
        }
    } handler(URLOf(origin, "/big"));
    EXPECT_THROW(RunHandlerRequest(handler, HTTPClientSession()), StopRequest);
    EXPECT_LT(handler.body.size(), std::size_t{1} << 20);
    EXPECT_EQ(handler.calls.back(), "begin");
}

TEST(HttpHandlerResponseReceiver, PassesOnlyANumericContentLength) {
    struct Case {
        const char* value;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"42", {"status 200", "length 42", "head", "end head"}},
        {" 4 2 ", {"status 200", "length 42", "head", "end head"}},
        {"12a", {"status 200", "head", "end head"}},
        {"", {"status 200", "head", "end head"}},
    };
    for (const Case& c : cases) {
        RecordingHttpHandler handler("http://h/");
        HttpHandlerResponseReceiver response(handler);
        response.ReceiveStatus(200, ConstData(std::string_view("OK")));
        ParseResponseHeaders(ConstData("Content-Length: " + std::string(c.value) + "\r\n"), response);
        response.EndHeaders();
        EXPECT_EQ(handler.calls, c.calls) << c.value;
    }
}

TEST(FetchURLIntoReceiver, ServesTheNameValueHandler) {
    ScriptedHTTPServer origin([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("a: 1\r\n", "x-veltra-result: done\r\nx-empty:\r\n")};
    });
    Interruptor never;
    NameValueHttpHandler handler(URLOf(origin, "/nv").c_str(), never);
    handler.SetCollectBody(true);
    FetchURLIntoReceiver(handler);
    EXPECT_EQ(handler.GetHeaderValue("x-veltra-result"), "done");
    EXPECT_FALSE(handler.HasHeaderValue("x-empty"));
    EXPECT_EQ(handler.Body(), "a: 1\r\n");
    EXPECT_NE(origin.Exchanges().at(0).request.find("\r\nUser-Agent: KVRRelay\r\n"), std::string::npos);
}

}  // namespace

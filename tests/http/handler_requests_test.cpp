// The handler-driven requests over the libcurl request sender, against scripted loopback origins
// (the C++ one and the Python one).
#include "http/handler_requests.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "formats/header_maker.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_test_support.h"
#include "http/http_handler_adapters.h"
#include "http/http_handlers.h"
#include "http/proxy_authentication.h"
#include "support/python_origin.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

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

constexpr const char* kOldContent = "the body file before";

class HeaderHandlerRequests : public testing::Test {
  protected:
    void SetUp() override {
        WriteWholeFile(m_origin.Folder() + "/a.txt", "the file's content");
        WriteWholeFile(BodyPath(), kOldContent);
    }

    std::string BodyPath() const { return m_folder / "body"; }
    FileLocation Body() const { return FileLocation(BodyPath().c_str()); }
    std::string BodyFile() const { return ReadWholeFile(BodyPath()); }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    PythonOrigin m_origin;
    HeaderHandler m_handler{nullptr, "Veltra Lumeroft"};
    GetStopFunctor m_never;
    std::uint64_t m_bodyBytes = 99;
};

TEST_F(HeaderHandlerRequests, GetWritesTheFinalBodyOrLeavesTheFileAsItWas) {
    struct Case {
        const char* path;
        bool serverCredentials;
        const char* error;  // the start of the failure's text; null for success
        int status;
        const char* body;  // the body file afterwards
    };
    const Case cases[] = {
        {"/files/a.txt", false, nullptr, 200, "the file's content"},
        {"/files/missing.txt", false, nullptr, 404, "not found"},
        // Only the answer to the credentials reaches the file, not the 401's own body.
        {"/basic", true, nullptr, 200, "authorized"},
        // Fewer bytes than the Content-Length.
        {"/short", false, "curl error 18: ", 0, kOldContent},
    };
    for (const Case& c : cases) {
        WriteWholeFile(BodyPath(), kOldContent);
        HeaderHandler handler(nullptr, "Veltra Lumeroft");
        HTTPClientSession session("", "", "", c.serverCredentials ? PythonOrigin::kUser : "",
                                  c.serverCredentials ? PythonOrigin::kPassword : "", "", 0, false, 0);
        HandlerRequestResult result =
            GetWithHeaderHandler(m_origin.URL(c.path), Body(), m_bodyBytes, handler, m_never, session);
        EXPECT_EQ(result.succeeded, c.error == nullptr) << c.path << ": " << result.errorText;
        if (c.error != nullptr) {
            EXPECT_EQ(result.errorText.rfind(c.error, 0), 0u) << result.errorText;
        } else {
            EXPECT_EQ(handler.GetStatusCode(), c.status) << c.path;
        }
        EXPECT_EQ(BodyFile(), c.body) << c.path;
        EXPECT_EQ(m_bodyBytes, c.error == nullptr ? std::string(c.body).size() : 0u) << c.path;
    }
    // No temporary file is left beside the body file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path()), {}), 1);
}

TEST_F(HeaderHandlerRequests, TheHandlerNamesTheClientAndAsksForPacingButNotDynamicThrottling) {
    m_handler.m_downloadBytesPerSecond = 5000;
    m_handler.m_dynamicThrottlingEnabled = true;
    m_handler.m_dynamicPercentage = 50;
    HandlerRequestResult result = GetWithHeaderHandler(m_origin.URL("/headers"), Body(), m_bodyBytes,
                                                       m_handler, m_never, HTTPClientSession());
    ASSERT_TRUE(result.succeeded) << result.errorText;
    std::string head = BodyFile();
    // The lines go through the header parsing, which lower-cases the names.
    EXPECT_NE(head.find("\r\nuser-agent: (Veltra Lumeroft 8.0.627.0)\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nx-kvr-download-bytespersecond: 5000\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("x-kvr-dynamic"), std::string::npos) << head;
    EXPECT_EQ(m_handler.GetContentLength(), head.size());
}

TEST_F(HeaderHandlerRequests, PostSendsTheFile) {
    WriteWholeFile(m_folder / "post", "posted content");
    HandlerRequestResult result =
        PostFileWithHeaderHandler(m_origin.URL("/echo"), FileLocation((m_folder / "post").c_str()), Body(),
                                  m_bodyBytes, m_handler, m_never, HTTPClientSession());
    ASSERT_TRUE(result.succeeded) << result.errorText;
    EXPECT_EQ(BodyFile(), "posted content");
    EXPECT_EQ(m_bodyBytes, 14u);

    // A file to post that is missing fails before anything is sent.
    result = PostFileWithHeaderHandler(m_origin.URL("/echo"), FileLocation((m_folder / "missing").c_str()),
                                       Body(), m_bodyBytes, m_handler, m_never, HTTPClientSession());
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.errorText.empty());
    EXPECT_EQ(BodyFile(), "posted content");
}

TEST_F(HeaderHandlerRequests, TheStopFunctorEndsAWaitingRequest) {
    Event stopEvent;
    EventStopFunctor stop(stopEvent);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stopEvent.Set();
    });
    auto start = std::chrono::steady_clock::now();
    HandlerRequestResult result = GetWithHeaderHandler(m_origin.URL("/hang"), Body(), m_bodyBytes, m_handler,
                                                       stop, HTTPClientSession());
    stopper.join();
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.errorText, "class StopRequest");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(BodyFile(), kOldContent);
}

}  // namespace

#include "http/http_plugin.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "http/http_test_support.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

namespace {

// Echoes the request body in a plain-text CGI reply.
class EchoPlugIn : public HTTPPlugIn {
  public:
    EchoPlugIn() : HTTPPlugIn("cgi-bin/Echo.exe", true) {}

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
        const std::string body = InspectPlugIn::ReadBody(*interface);
        HTTPClientWriter writer(*interface);
        SendPlainTextResponse(writer, body, 200, false, false);
    }
};

class PlugInDispatchTest : public ::testing::Test {
  protected:
    TemporaryRegistry m_registry;
    HTTPServerSettings m_settings = TestServerSettings();
    PlugInPathTable m_table;
};

// The reply with its Date value replaced by "<date>", after checking the value's form.
std::string WithoutDate(std::string reply) {
    static const std::regex date(
        "Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT\r\n");
    EXPECT_TRUE(std::regex_search(reply, date)) << reply;
    return std::regex_replace(reply, date, "Date: <date>\r\n", std::regex_constants::format_first_only);
}

}  // namespace

// Test labels: PlugInDispatchTest tsan
TEST_F(PlugInDispatchTest, APlugInAnswersCurlWithTheCGIReplyBlockAndTheBody) {
    EchoPlugIn echo;
    RegisterPlugInNames(m_table, echo);
    RunningServer server(m_settings, m_table);

    TemporaryFolder folder;
    std::string body;
    for (int i = 0; i < 30000; ++i) body += static_cast<char>(i * 7 % 256);  // CR, LF and NUL among them
    WriteWholeFile(folder / "body.bin", body);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    const std::string expected =
        "HTTP/1.1 200 OK\r\nDate: <date>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
        "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
        "Content-Length: 30000\r\nx-veltra-itclient-status: 1\r\n\r\n" +
        body;
    for (const char* path : {"/cgi-bin/Echo.exe", "/CGI-BIN/echo.EXE", "/cgi-bin/%45cho%2eexe",
                             "/cgi-bin/Echo.exe/more/below?query=1"}) {
        const ProgramRun curl = RunProgram(
            "curl", {"-s", "-i", "-H", "Expect:", "--data-binary", "@" + (folder / "body.bin"), base + path});
        ASSERT_EQ(curl.exitStatus, 0) << path << ": " << curl.err;
        EXPECT_EQ(WithoutDate(curl.out), expected) << path;
    }
    const ProgramRun elsewhere = RunProgram("curl", {"-s", "-i", "--http1.0", base + "/cgi-bin/Echo.exe2"});
    EXPECT_EQ(StatusLineOf(elsewhere.out), "HTTP/1.0 404 Not Found");
}

TEST_F(PlugInDispatchTest, AThreadLimitOfTwoRefusesTheThirdRequestWith503) {
    WriteNamedSettings(m_registry, {{"_HTTPServer_ThreadLimit_slow", "2"}});
    GatedPlugIn slow("slow", true);
    ASSERT_EQ(slow.ThreadLimit(), 2u);
    RegisterPlugInNames(m_table, slow);
    RunningServer server(m_settings, m_table);

    const std::string request = "GET /slow HTTP/1.0\r\nHost: h\r\n\r\n";
    SocketHandle first = ConnectTo("127.0.0.1", server.Port());
    SocketHandle second = ConnectTo("127.0.0.1", server.Port());
    SendAll(first.Get(), request);
    SendAll(second.Get(), request);
    ASSERT_TRUE(Eventually([&] { return slow.RunningThreads() == 2; }));
    EXPECT_EQ(server.Server().RunningPlugInRequests(), 2);

    const std::string refused = Exchange(server.Port(), request);
    EXPECT_EQ(StatusLineOf(refused), "HTTP/1.1 503 Service Unavailable");
    EXPECT_NE(refused.find("\r\nContent-Length: 0\r\n\r\n"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("x-veltra-itclient-status"), std::string::npos) << refused;

    slow.gate.Set();
    EXPECT_EQ(StatusLineOf(ReceiveUntilClosed(first.Get())), "HTTP/1.1 200 OK");
    EXPECT_EQ(StatusLineOf(ReceiveUntilClosed(second.Get())), "HTTP/1.1 200 OK");
    EXPECT_TRUE(Eventually([&] { return slow.RunningThreads() == 0; }));
    EXPECT_TRUE(Eventually([&] { return server.Server().RunningPlugInRequests() == 0; }));
    EXPECT_EQ(slow.entered, 2);
}

TEST_F(PlugInDispatchTest, AFailingPlugInGets500OnlyWhenNothingWasWritten) {
    CapturedLog log;
    ThrowingPlugIn silentInline("silent", false, "");
    ThrowingPlugIn partialInline("partial", false, "partial reply");
    ThrowingPlugIn partialThreaded("threaded", true, "threaded reply");
    for (HTTPPlugIn* plugIn :
         std::initializer_list<HTTPPlugIn*>{&silentInline, &partialInline, &partialThreaded})
        RegisterPlugInNames(m_table, *plugIn);
    RunningServer server(m_settings, m_table);

    const std::string silent = Exchange(server.Port(), "GET /silent HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(StatusLineOf(silent), "HTTP/1.0 500 Internal Server Error");
    EXPECT_EQ(Exchange(server.Port(), "GET /partial HTTP/1.0\r\nHost: h\r\n\r\n"), "partial reply");
    EXPECT_EQ(Exchange(server.Port(), "GET /threaded HTTP/1.0\r\nHost: h\r\n\r\n"), "threaded reply");

    // The threaded handler's line comes after its client saw the connection close.
    EXPECT_TRUE(Eventually([&] { return !log.LinesStartingWith("critical: Uncaught exception").empty(); }));
    EXPECT_EQ(log.LinesStartingWith("critical: Plugin error: "),
              (std::vector<std::string>{"critical: Plugin error: class FormatError",
                                        "critical: Plugin error: class FormatError"}));
    EXPECT_EQ(
        log.LinesStartingWith("critical: Uncaught exception in plugin "),
        (std::vector<std::string>{"critical: Uncaught exception in plugin threaded: class FormatError"}));
}

TEST_F(PlugInDispatchTest, AThreadedPlugInThatThrowsGivesItsThreadBack) {
    WriteNamedSettings(m_registry, {{"_HTTPServer_ThreadLimit_thrower", "1"}});
    ThrowingPlugIn thrower("thrower", true, "");
    RegisterPlugInNames(m_table, thrower);
    RunningServer server(m_settings, m_table);
    for (int i = 0; i < 3; ++i) {
        // The client sees the connection close without a reply: the handler wrote nothing.
        EXPECT_EQ(Exchange(server.Port(), "GET /thrower HTTP/1.0\r\nHost: h\r\n\r\n"), "") << i;
        EXPECT_TRUE(Eventually([&] { return thrower.RunningThreads() == 0; })) << i;
        EXPECT_TRUE(Eventually([&] { return server.Server().RunningPlugInRequests() == 0; })) << i;
    }
}

TEST_F(PlugInDispatchTest, TheStopEventAbortsAPlugInWaitingForItsClient) {
    InspectPlugIn reader("reader", true);
    RegisterPlugInNames(m_table, reader);
    RunningServer server(m_settings, m_table);
    SocketHandle client = ConnectTo("127.0.0.1", server.Port());
    // The plug-in takes the request once the loop holds the first 64 KiB of the body.
    SendAll(client.Get(), "POST /reader HTTP/1.0\r\nContent-Length: 100000\r\n\r\n" +
                              std::string(HTTPRequest::kMostHeldBodyBytes, 'b'));
    ASSERT_TRUE(Eventually([&] { return reader.RunningThreads() == 1; }));

    const auto start = std::chrono::steady_clock::now();
    server.Stop();  // sets the stop event and waits for Run; the server itself lives on
    EXPECT_TRUE(Eventually([&] { return reader.RunningThreads() == 0; }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// An inline plug-in that hands its request to a thread of its own: the request still counts against
// the server, which waits for it when it goes, so the request never outlives the server.
TEST_F(PlugInDispatchTest, TheServerOutlivesARequestThatAnInlinePlugInHandedToItsOwnThread) {
    class HandingOnPlugIn : public HTTPPlugIn {
      public:
        HandingOnPlugIn() : HTTPPlugIn("handing", false) {}
        ~HandingOnPlugIn() override {
            if (thread.joinable()) thread.join();
        }
        void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
            thread = std::thread([this, request = std::shared_ptr<HTTPPlugInInterface>(std::move(interface))] {
                ++started;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ended = true;
            });
        }
        std::thread thread;
        std::atomic<int> started{0};
        std::atomic<bool> ended{false};
    } plugIn;
    RegisterPlugInNames(m_table, plugIn);
    auto server = std::make_unique<RunningServer>(m_settings, m_table);
    SocketHandle client = ConnectTo("127.0.0.1", server->Port());
    SendAll(client.Get(), "GET /handing HTTP/1.0\r\nHost: h\r\n\r\n");
    ASSERT_TRUE(Eventually([&] { return plugIn.started == 1; }));
    EXPECT_EQ(server->Server().RunningPlugInRequests(), 1);
    server.reset();
    EXPECT_TRUE(plugIn.ended);
}

// The plug-in's own time-out, far shorter than the server's read time-out, still ends the read.
TEST_F(PlugInDispatchTest, AnInterfaceTimesOutWithoutProgress) {
    class TimingOutPlugIn : public HTTPPlugIn {
      public:
        TimingOutPlugIn() : HTTPPlugIn("timeout", true) {}
        void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
            interface->SetTimeout(50'000);
            try {
                InspectPlugIn::ReadBody(*interface);
            } catch (const HTTPPlugInTimeoutException&) {
                HTTPClientWriter writer(*interface);
                SendPlainTextResponse(writer, "timed out", 200, false, false);
            }
        }
    } plugIn;
    RegisterPlugInNames(m_table, plugIn);
    RunningServer server(m_settings, m_table);
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = Exchange(server.Port(), "POST /timeout HTTP/1.0\r\nContent-Length: 100000\r\n\r\n" +
                                                          std::string(HTTPRequest::kMostHeldBodyBytes, 'b'));
    EXPECT_EQ(reply.substr(reply.size() - 9), "timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

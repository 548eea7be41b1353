#include "http/reading_http_connection.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "http/http_test_support.h"

namespace {

class RequestReadingTest : public ::testing::Test {
  protected:
    RequestReadingTest() { RegisterPlugInNames(m_table, m_inspect); }

    TemporaryRegistry m_registry;
    HTTPServerSettings m_settings = TestServerSettings();
    InspectPlugIn m_inspect;
    PlugInPathTable m_table;
};

// A request line of exactly `length` bytes for the inspect plug-in.
std::string RequestLineOfLength(std::size_t length) {
    const std::string start = "GET /inspect?", end = " HTTP/1.0";
    return start + std::string(length - start.size() - end.size(), 'q') + end;
}

}  // namespace

TEST_F(RequestReadingTest, AnswersEachFormOfRequestHead) {
    struct Case {
        const char* name;
        std::string request;
        std::string statusLine;
        std::string body;  // the inspect plug-in's body, for the requests that reach it
    };
    std::string manyHeaders = "GET /inspect HTTP/1.0\r\n";
    while (manyHeaders.size() <= 64 * 1024) manyHeaders += "X-Filler: " + std::string(1000, 'f') + "\r\n";
    const Case cases[] = {
        {"a plain GET", "GET /inspect HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.1 200 OK",
         "method=GET\nurl=/inspect\nx-a=\nbody="},
        {"bare LF line ends", "GET /inspect HTTP/1.0\nHost: h\n\nX", "HTTP/1.1 200 OK",
         "method=GET\nurl=/inspect\nx-a=\nbody="},
        {"no space", "GET\r\nHost: h\r\n\r\n", "HTTP/1.0 400 Bad Request", ""},
        {"no second space", "GET /inspect\r\nHost: h\r\n\r\n", "HTTP/1.0 400 Bad Request", ""},
        {"method in lower case", "get /inspect HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 501 Not Implemented",
         ""},
        {"another method", "PUT /inspect HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 501 Not Implemented", ""},
        {"empty method", " /inspect HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 501 Not Implemented", ""},
        {"target *", "GET * HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 404 Not Found", ""},
        {"target without a path start", "GET x HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 404 Not Found", ""},
        {"no plug-in for the path", "GET /nothing/here HTTP/1.0\r\nHost: h\r\n\r\n", "HTTP/1.0 404 Not Found",
         ""},
        {"no header line", "GET /inspect HTTP/1.0\r\n\r\n", "HTTP/1.0 400 Bad Request", ""},
        {"header line without a colon", "GET /inspect HTTP/1.0\r\nNoColon\r\n\r\n",
         "HTTP/1.0 400 Bad Request", ""},
        {"header line with an empty name", "GET /inspect HTTP/1.0\r\n: v\r\n\r\n", "HTTP/1.0 400 Bad Request",
         ""},
        {"a folded header", "GET /inspect HTTP/1.0\r\nX-A: 1\r\n 2\r\n\t3 \r\n\r\n", "HTTP/1.1 200 OK",
         "method=GET\nurl=/inspect\nx-a=1 2\t3\nbody="},
        {"one header twice in two spellings", "GET /inspect HTTP/1.0\r\nX-A: one\r\nx-a:two\r\n\r\n",
         "HTTP/1.1 200 OK", "method=GET\nurl=/inspect\nx-a=one|two\nbody="},
        {"head and body in one packet", "POST /inspect HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello",
         "HTTP/1.1 200 OK", "method=POST\nurl=/inspect\nx-a=\nbody=hello"},
        {"a request line of 32768 bytes", RequestLineOfLength(32768) + "\r\nHost: h\r\n\r\n",
         "HTTP/1.1 200 OK",
         "method=GET\nurl=" + RequestLineOfLength(32768).substr(4, 32768 - 13) + "\nx-a=\nbody="},
        {"a request line of 32769 bytes", RequestLineOfLength(32769) + "\r\nHost: h\r\n\r\n",
         "HTTP/1.0 414 Request-URI Too Long", ""},
        {"a head of more than 64 KiB", manyHeaders + "\r\n", "HTTP/1.0 400 Bad Request", ""},
    };
    RunningServer server(m_settings, m_table);
    for (const Case& c : cases) {
        const std::string reply = Exchange(server.Port(), c.request);
        EXPECT_EQ(StatusLineOf(reply), c.statusLine) << c.name;
        if (!c.body.empty()) {
            EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), c.body) << c.name;
        }
    }
}

TEST_F(RequestReadingTest, RefusesWithAStatusOnlyReply) {
    RunningServer server(m_settings, m_table);
    const std::string reply = Exchange(server.Port(), "GET\r\n\r\n");
    EXPECT_TRUE(std::regex_match(reply, std::regex("HTTP/1\\.0 400 Bad Request\r\n"
                                                   "Server: VeltraHTTPServer/8\\.0\\.627\\.0\r\n"
                                                   "Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} "
                                                   "\\d\\d:\\d\\d:\\d\\d \\+0000\r\n\r\n")))
        << reply;
}

// The plug-in takes the request once the loop holds the first 64 KiB of a longer body; it reads them
// first, then the rest from the socket.
TEST_F(RequestReadingTest, ServesTheBodyThatCameWithTheHeadThenTheHeldBytesThenTheSocket) {
    RunningServer server(m_settings, m_table);
    SocketHandle client = ConnectTo("127.0.0.1", server.Port());
    std::string body;
    for (int i = 0; i < 200'000; ++i) body += static_cast<char>('a' + i % 26);
    const std::size_t held = HTTPRequest::kMostHeldBodyBytes;
    SendAll(client.Get(), "POST /inspect HTTP/1.0\r\nContent-Length: 200000\r\n\r\n" + body.substr(0, 100));
    SendAll(client.Get(), body.substr(100, held - 101));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(m_inspect.RunningThreads(), 0);
    SendAll(client.Get(), body.substr(held - 1, 1));
    ASSERT_TRUE(Eventually([&] { return m_inspect.RunningThreads() == 1; }));
    // Bytes beyond the announced length are not the plug-in's.
    SendAll(client.Get(), body.substr(held) + "TRAILING");
    const std::string reply = ReceiveUntilClosed(client.Get());
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), "method=POST\nurl=/inspect\nx-a=\nbody=" + body);
}

TEST_F(RequestReadingTest, DropsAClientThatSendsNoHeadWithinTheReadTimeOut) {
    CapturedLog log;
    WriteNamedSettings(m_registry, {{"_KVRRelay_HTTPServer_ReadTimeOut", "1"}});
    HTTPServerSettings settings = TestServerSettings();
    ASSERT_EQ(settings.readTimeOut, 1'000'000);
    RunningServer server(settings, m_table);
    SocketHandle client = ConnectTo("127.0.0.1", server.Port());
    SendAll(client.Get(), "GET /inspect HTTP/1.0\r\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReceiveUntilClosed(client.Get()), "");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(4));
    EXPECT_EQ(log.LinesStartingWith("debug: Closing HTTP connection on "),
              (std::vector<std::string>{"debug: Closing HTTP connection on 127.0.0.1"}));
}

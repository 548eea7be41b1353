#include "http/http_handlers.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/interruptor.h"
#include "http/cgi_response.h"
#include "http/http_client_errors.h"
#include "http/http_client_test_support.h"
#include "http/http_test_support.h"
#include "http/proxy_authentication.h"
#include "http/socket_http_client.h"
#include "net/started_socket_system.h"
#include "support/scripted_http_server.h"

namespace {

constexpr std::uint64_t kTimeOut = 10'000'000;

class StopAfter : public Interruptor {
  public:
    explicit StopAfter(int checks) : m_checks(checks) {}
    void CheckForInterruption() override {
        if (m_checks-- <= 0) throw StopRequest();
    }

  private:
    int m_checks;
};

TEST(NameValueHttpHandler, SendsItsUserAgentAndKeepsTheHeadAndOnRequestTheBody) {
    StartedSocketSystem();
    ScriptedHTTPServer server([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply(
            "a=1\r\nb=2\r\n", "X-Status: ok \r\nX-Empty:\r\nX-Blank: \t\r\nX-Folded: one\r\n two\r\n")};
    });
    std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/cgi-bin/x";
    Interruptor neverStops;
    HTTPClientSession session;

    NameValueHttpHandler dropping(url.c_str(), neverStops);
    PerformHTTPRequest(dropping, session, kTimeOut);
    EXPECT_TRUE(dropping.Body().empty());
    EXPECT_NE(server.Exchanges()[0].request.find("\r\nUser-Agent: KVRRelay\r\n"), std::string::npos);

    NameValueHttpHandler collecting(url.c_str(), neverStops);
    collecting.SetCollectBody(true);
    PerformHTTPRequest(collecting, session, kTimeOut);
    EXPECT_EQ(collecting.Body(), "a=1\r\nb=2\r\n");
    EXPECT_EQ(collecting.ResponseHead().rfind("http/1.0 200 ok\r", 0), 0u);
    EXPECT_TRUE(collecting.HasHeaderValue("X-Status"));
    EXPECT_EQ(collecting.GetHeaderValue("x-status:"), "ok");
    EXPECT_EQ(collecting.GetHeaderValue("X-Folded"), "one\r two");
    for (const char* name : {"X-Empty", "X-Blank", "X-Absent"}) {
        EXPECT_FALSE(collecting.HasHeaderValue(name)) << name;
        EXPECT_EQ(collecting.GetHeaderValue(name), "") << name;
    }
}

TEST(NameValueHttpHandler, ItsStopCheckAbandonsTheRequest) {
    StartedSocketSystem();
    ScriptedHTTPServer server(
        [](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("x")}; });
    std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    HTTPClientSession session;
    for (int checks : {0, 1, 2, 3}) {
        StopAfter stop(checks);
        NameValueHttpHandler handler(url.c_str(), stop);
        EXPECT_THROW(PerformHTTPRequest(handler, session, kTimeOut), StopRequest) << checks;
    }
}

}  // namespace

namespace {

// Our own server, with a plug-in that answers through WriteHeaderLines and one that sends a large
// body.
class OwnServerTest : public testing::Test {
  protected:
    class NamesPlugIn : public HTTPPlugIn {
      public:
        NamesPlugIn() : HTTPPlugIn("names", true) {}
        void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
            ListPL<Pair<StringPL, StringPL>> pairs;
            if (interface->Request().URL().find("unsafe") != std::string::npos)
                pairs.Add({"x-kvr-a", "1\r\nX-Injected: yes"});
            pairs.Add({"x-kvr-a", "1"});
            pairs.Add({"x-kvr-b", "two words"});
            WriteHeaderLines(*interface, pairs);
        }
    };

    class LargePlugIn : public HTTPPlugIn {
      public:
        explicit LargePlugIn(const std::string& body) : HTTPPlugIn("large", true), m_body(body) {}
        void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
            HTTPClientWriter writer(*interface);
            SendCGIResponse(writer, m_body, "", 200, false, "Content-Type: application/octet-stream\r\n",
                            false);
        }

      private:
        const std::string& m_body;
    };

    OwnServerTest() {
        StartedSocketSystem();
        RegisterPlugInNames(m_table, m_names);
        RegisterPlugInNames(m_table, m_large);
        m_server = std::make_unique<RunningServer>(m_settings, m_table);
    }

    std::string URL(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server->Port()) + path;
    }

    TemporaryRegistry m_registry;
    HTTPServerSettings m_settings = TestServerSettings();
    std::string m_body = TenMebibytes();
    NamesPlugIn m_names;
    LargePlugIn m_large{m_body};
    PlugInPathTable m_table;
    std::unique_ptr<RunningServer> m_server;
    Interruptor m_neverStops;
    HTTPClientSession m_session;
};

TEST_F(OwnServerTest, ANameValueExchangeReadsWhatWriteHeaderLinesWrote) {
    NameValueHttpHandler handler(URL("/names").c_str(), m_neverStops);
    handler.SetCollectBody(true);
    PerformHTTPRequest(handler, m_session, kTimeOut);
    EXPECT_EQ(handler.Body(), "x-kvr-a: 1\r\nx-kvr-b: two words\r\n");
    EXPECT_EQ(handler.GetHeaderValue("x-kvr-a"), "1");
    EXPECT_EQ(handler.GetHeaderValue("x-kvr-b"), "two words");
}

TEST_F(OwnServerTest, WriteHeaderLinesRefusesLineBreaksAndSendsNothing) {
    NameValueHttpHandler handler(URL("/names/unsafe").c_str(), m_neverStops);
    handler.SetCollectBody(true);
    // The plug-in fails before it writes anything: the server closes the connection unanswered.
    EXPECT_THROW(PerformHTTPRequest(handler, m_session, kTimeOut), Http_err_SHORT_RESPONSE);
    EXPECT_TRUE(handler.ResponseHead().empty());
}

TEST_F(OwnServerTest, ATenMebibyteBodyArrivesByteForByte) {
    NameValueHttpHandler handler(URL("/large").c_str(), m_neverStops);
    handler.SetCollectBody(true);
    PerformHTTPRequest(handler, m_session, kTimeOut);
    EXPECT_EQ(handler.Body().size(), m_body.size());
    EXPECT_TRUE(handler.Body() == m_body);
    EXPECT_EQ(handler.GetHeaderValue("content-length"), std::to_string(m_body.size()));
}

}  // namespace

// The socket client against a real Squid that asks for Basic, Digest or NTLM credentials.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client.h"
#include "http/http_client_errors.h"
#include "http/http_client_test_support.h"
#include "http/proxy_authentication.h"
#include "http/socket_http_client.h"
#include "net/started_socket_system.h"
#include "support/gssapi_acceptor.h"
#include "support/scripted_http_server.h"
#include "support/squid_proxy.h"
#include "support/temporary_folder.h"

namespace {

constexpr std::uint64_t kTimeOut = 30'000'000;

class ThroughSquid : public testing::TestWithParam<SquidProxy::Scheme> {
  protected:
    static void SetUpTestSuite() {
        StartedSocketSystem();
        s_origin = new ScriptedHTTPServer([](const std::string& request) {
            // Squid forwards the request in the origin form.
            std::string body = request.rfind("GET /file?n=1 ", 0) == 0 ? "from the origin" : "wrong request";
            return ScriptedHTTPServer::Reply{MakeHTTPReply(body, "Connection: close\r\n")};
        });
    }
    static void TearDownTestSuite() {
        delete s_origin;
        s_origin = nullptr;
    }

    // "localhost" rather than 127.0.0.1, which never goes through a proxy.
    static std::string OriginURL() {
        return "http://localhost:" + std::to_string(s_origin->Port()) + "/file?n=1";
    }

    static HTTPClientSession Session(const std::string& password) {
        SquidProxy& squid = SharedSquidProxy(GetParam());
        return HTTPClientSession(SquidProxy::kUser, password, "", "", "", "127.0.0.1", squid.Port(), false,
                                 3);
    }

    static ScriptedHTTPServer* s_origin;
};

ScriptedHTTPServer* ThroughSquid::s_origin = nullptr;

TEST_P(ThroughSquid, AGetSucceedsAfterThe407Round) {
    HTTPClientSession session = Session(SquidProxy::kPassword);
    RecordingHttpHandler handler(OriginURL());
    PerformHTTPRequest(handler, session, kTimeOut);
    EXPECT_EQ(handler.body, "from the origin");
    EXPECT_NE(std::find(handler.calls.begin(), handler.calls.end(), "status 200"), handler.calls.end());
    EXPECT_EQ(session.AuthenticationScheme(), GetParam() == SquidProxy::Scheme::Basic ? "basic" : "digest");
    // The origin heard the request from Squid.
    EXPECT_NE(s_origin->Exchanges().back().request.find("\r\nVia: "), std::string::npos);
}

TEST_P(ThroughSquid, AWrongPasswordFailsTheAuthentication) {
    HTTPClientSession session = Session("wrong password");
    RecordingHttpHandler handler(OriginURL());
    EXPECT_THROW(PerformHTTPRequest(handler, session, kTimeOut), Http_err_AuthenticationFailed);
    EXPECT_TRUE(handler.body.empty());
}

INSTANTIATE_TEST_SUITE_P(Schemes, ThroughSquid,
                         testing::Values(SquidProxy::Scheme::Basic, SquidProxy::Scheme::Digest),
                         [](const testing::TestParamInfo<SquidProxy::Scheme>& info) {
                             return info.param == SquidProxy::Scheme::Basic ? "Basic" : "Digest";
                         });

// The lines of Squid's access log that name `url`, once the last of them is a 200 (Squid logs a
// request when it ends), or after 10 s.
std::vector<std::string> AccessLogLines(const SquidProxy& squid, const std::string& url) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::vector<std::string> lines;
        std::istringstream log(squid.AccessLog());
        for (std::string line; std::getline(log, line);)
            if (line.find(" " + url + " ") != std::string::npos) lines.push_back(line);
        if ((!lines.empty() && lines.back().find("/200 ") != std::string::npos) ||
            std::chrono::steady_clock::now() > deadline)
            return lines;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class ThroughSquidWithNTLM : public testing::Test {
  protected:
    void SetUp() override {
        std::string missing = MissingNTLMSupport();
        if (!missing.empty()) GTEST_SKIP() << missing;
        StartedSocketSystem();
    }

    static HTTPClientSession Session(const std::string& password) {
        return HTTPClientSession(SquidProxy::kUser, password, SquidProxy::kDomain, "", "", "127.0.0.1",
                                 SharedSquidProxy(SquidProxy::Scheme::NTLM).Port(), false, 3);
    }

    ScriptedHTTPServer m_origin{[](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("from the origin", "Connection: close\r\n")};
    }};
    const std::string m_url = "http://localhost:" + std::to_string(m_origin.Port()) + "/ntlm";
};

TEST_F(ThroughSquidWithNTLM, TheThreeMessageExchangeOpensTheWay) {
    HTTPClientSession session = Session(SquidProxy::kPassword);
    RecordingHttpHandler handler(m_url);
    PerformHTTPRequest(handler, session, kTimeOut);
    EXPECT_EQ(handler.body, "from the origin");
    EXPECT_EQ(session.AuthenticationScheme(), "NTLM");

    // Squid refused the bare request and the negotiate message, then served the user of the third
    // (its log escapes the backslash).
    SquidProxy& squid = SharedSquidProxy(SquidProxy::Scheme::NTLM);
    std::vector<std::string> lines = AccessLogLines(squid, m_url);
    ASSERT_EQ(lines.size(), 3u) << squid.AccessLog();
    EXPECT_NE(lines[0].find("/407 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("/407 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("/200 "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(R"( KVRTEST\\relay )"), std::string::npos) << lines[2];
}

// The main client shares the session's answering, so it goes through the same handshake.
TEST_F(ThroughSquidWithNTLM, TheMainClientCompletesTheExchangeToo) {
    HTTPClientSession session = Session(SquidProxy::kPassword);
    TemporaryFolder folder;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    GetStopFunctor never;
    int status = 0;
    EXPECT_EQ(GetHTTP(m_url, session, FileLocation((folder / "body").c_str()), handler, status, kTimeOut, {},
                      never),
              0);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(session.AuthenticationScheme(), "NTLM");
    std::ifstream body(folder / "body", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(body), {}), "from the origin");
}

TEST_F(ThroughSquidWithNTLM, AWrongPasswordFailsTheAuthentication) {
    HTTPClientSession session = Session("wrong password");
    RecordingHttpHandler handler(m_url);
    EXPECT_THROW(PerformHTTPRequest(handler, session, kTimeOut), Http_err_AuthenticationFailed);
    EXPECT_TRUE(handler.body.empty());
}

}  // namespace

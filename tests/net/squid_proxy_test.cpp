// The socket client against a real Squid that asks for Basic or Digest credentials.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "net/http_client_errors.h"
#include "net/proxy_authentication.h"
#include "net/socket_http_client.h"
#include "http_client_test_support.h"
#include "started_socket_system.h"
#include "support/scripted_http_server.h"
#include "support/squid_proxy.h"

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

}  // namespace

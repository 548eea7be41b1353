// The libcurl request sender against scripted loopback origins and a real Squid.
#include "http/curl_request_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "formats/message_writer.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/interruptor.h"
#include "http/http_client_test_support.h"
#include "http/http_request_context.h"
#include "http/proxy_authentication.h"
#include "http/raw_http_exchange.h"
#include "http/tls_client.h"
#include "net/socket_calls.h"
#include "support/python_origin.h"
#include "support/scripted_http_server.h"
#include "support/squid_proxy.h"
#include "support/temporary_registry.h"

namespace {

class ReceiverFailure : public DebuggableException {};

// Records the events of a response: "status 404 Not Found", "field x-a=b", "headers", "begin",
// "end", "end response"; the body separately. Throws ReceiverFailure from the body's first piece
// when asked to.
class RecordingResponse : public HTTPResponseReceiver, private DataReceiver {
  public:
    std::vector<std::string> events;
    std::string body;
    bool failInBody = false;

    void ReceiveStatus(unsigned code, ConstData reason) override {
        events.push_back("status " + std::to_string(code) + " " + std::string(reason.View()));
    }
    DataReceiver& ReceiveHeaderName(ConstData name) override {
        m_field = "field " + std::string(name.View()) + "=";
        return m_value.SetTarget(m_field);
    }
    void EndHeaderValue() override { events.push_back(m_field); }
    DataReceiver& EndHeaders() override {
        events.push_back("headers");
        return *this;
    }
    void EndResponse() override { events.push_back("end response"); }

    bool Has(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

  private:
    void Begin() override { events.push_back("begin"); }
    void Receive(const Byte* begin, const Byte* end) override {
        if (failInBody) throw ReceiverFailure();
        body.append(ConstData(begin, end).View());
    }
    void End() override { events.push_back("end"); }

    std::string m_field;
    StringAppender m_value;
};

struct Request {
    Request(std::string method, std::string url, std::string body = "")
        : method(std::move(method)), url(std::move(url)), body(std::move(body)) {}

    std::string method;
    std::string url;
    std::string body;
    std::vector<std::pair<std::string, std::string>> fields;
};

// The request through a sender, as a caller writes it: request line, fields, body, end.
void Send(const Request& request, HTTPResponseReceiver& response, HTTPRequestContext& context,
          const HTTPClientSession& session = HTTPClientSession()) {
    std::unique_ptr<HTTPRequestReceiver> sender = MakeCurlRequestSender(response, context, session);
    sender->ReceiveRequestLine(ConstData(std::string_view(request.method)),
                               ConstData(std::string_view(request.url)));
    HeadersToRequest fields(*sender);
    for (const auto& [name, value] : request.fields) WriteHeaderField(fields, name.c_str(), ConstData(value));
    ReceiveComplete(sender->EndHeaders(request.body.size()), ConstData(request.body));
    sender->EndRequest();
}

std::string Fetch(const Request& request, RecordingResponse& response,
                  const HTTPClientSession& session = HTTPClientSession()) {
    HTTPRequestContext context;
    Send(request, response, context, session);
    return response.body;
}

std::string URLOf(const ScriptedHTTPServer& server, const std::string& host = "127.0.0.1") {
    return "http://" + host + ":" + std::to_string(server.Port()) + "/x";
}

std::string BodyOf(const std::string& request) {
    std::size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

// The request fails with a CurlTransferError whose text begins with the prefix.
void ExpectTransferError(const char* prefix, const std::function<void()>& request) {
    try {
        request();
        ADD_FAILURE() << "the request succeeded";
    } catch (const CurlTransferError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(prefix, 0), 0u) << error.what();
    }
}

// A loopback port that takes connections into its backlog and never answers them.
class SilentListener {
  public:
    SilentListener() : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(m_socket.Get(), 8), 0);
        ::getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    std::string URL() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/slow"; }

  private:
    SocketHandle m_socket;
    std::uint16_t m_port = 0;
};

TEST(CurlRequestSender, RefusesBadURLsBeforeAnythingIsSent) {
    struct Case {
        const char* url;
        const char* message;
    };
    const Case cases[] = {
        {"gopher://x/", "The only supported protocols are http, https, and ftp"},
        {"file:///etc/passwd", "The only supported protocols are http, https, and ftp"},
        {"x/y", "The URL has no protocol"},
        {"http://exa mple/", "Invalid URLMon URL"},
        {"http://", "Invalid URLMon URL"},
        {"http://h:99999/", "Invalid URLMon URL"},
    };
    for (const Case& c : cases) {
        RecordingResponse response;
        HTTPRequestContext context;
        HTTPClientSession session;
        std::unique_ptr<HTTPRequestReceiver> sender = MakeCurlRequestSender(response, context, session);
        try {
            sender->ReceiveRequestLine(ConstData(std::string_view("GET")),
                                       ConstData(std::string_view(c.url)));
            ADD_FAILURE() << c.url << " was taken";
        } catch (const CurlRequestError& error) {
            EXPECT_STREQ(error.what(), c.message) << c.url;
        }
    }
}

TEST(CurlRequestSender, SendsTheFieldsExceptTheDynamicThrottleOnes) {
    ScriptedHTTPServer origin(
        [](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("ok")}; });
    Request request("GET", URLOf(origin));
    request.fields = {{"x-kvr-dynamic-enabled", "1"},
                      {"x-kvr-dynamic-percentage", "50"},
                      {"X-KVR-Dynamic-Enabled", "1"},
                      {"x-kvr-download-bytespersecond", "100"},
                      {"X-Empty", ""}};
    RecordingResponse response;
    HTTPRequestContext context;
    context.SetUserAgent("Relay under test");
    Send(request, response, context);

    const std::string sent = origin.Exchanges().at(0).request;
    for (const char* field :
         {"\r\nX-KVR-Dynamic-Enabled: 1\r\n", "\r\nx-kvr-download-bytespersecond: 100\r\n",
          "\r\nX-Empty:", "\r\nUser-Agent: Relay under test\r\n"})
        EXPECT_NE(sent.find(field), std::string::npos) << field << " in\n" << sent;
    for (const char* dropped : {"x-kvr-dynamic-", "Expect:"})
        EXPECT_EQ(sent.find(dropped), std::string::npos) << dropped << " in\n" << sent;
}

TEST(CurlRequestSender, ARequestFieldThatCouldSplitTheRequestIsRefused) {
    Request request("GET", "http://127.0.0.1:9/x");
    request.fields = {{"X-A", "b\r\nInjected: yes"}};
    RecordingResponse response;
    EXPECT_THROW(Fetch(request, response), UnsafeHeaderText);
}

TEST(CurlRequestSender, OnlyAPostSendsItsBody) {
    struct Case {
        const char* method;
        std::string body;
        const char* requestLine;
        const char* lengthField;  // null: no Content-Length
        std::string sentBody;
    };
    const Case cases[] = {
        {"GET", "dropped", "GET /x HTTP/1.1\r\n", nullptr, ""},
        {"PUT", "dropped", "GET /x HTTP/1.1\r\n", nullptr, ""},
        {"post", "dropped", "GET /x HTTP/1.1\r\n", nullptr, ""},
        {"POST", "", "POST /x HTTP/1.1\r\n", "\r\nContent-Length: 0\r\n", ""},
        {"POST", "a body", "POST /x HTTP/1.1\r\n", "\r\nContent-Length: 6\r\n", "a body"},
    };
    for (const Case& c : cases) {
        ScriptedHTTPServer origin(
            [](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("ok")}; });
        RecordingResponse response;
        EXPECT_EQ(Fetch({c.method, URLOf(origin), c.body}, response), "ok");
        const std::string sent = origin.Exchanges().at(0).request;
        EXPECT_EQ(sent.rfind(c.requestLine, 0), 0u) << sent;
        EXPECT_EQ(sent.find("Content-Length") != std::string::npos, c.lengthField != nullptr) << sent;
        if (c.lengthField != nullptr) {
            EXPECT_NE(sent.find(c.lengthField), std::string::npos) << sent;
        }
        EXPECT_EQ(BodyOf(sent), c.sentBody) << c.method;
    }
}

TEST(CurlRequestSender, DeliversStatusFieldsAndBodyInOrder) {
    ScriptedHTTPServer origin([](const std::string&) {
        return ScriptedHTTPServer::Reply{
            MakeHTTPReply("not here", "X-Thing: Some Value\r\n", "HTTP/1.0 404 Not Found")};
    });
    RecordingResponse response;
    EXPECT_EQ(Fetch({"GET", URLOf(origin)}, response), "not here");
    const std::vector<std::string> expected = {"status 404 Not Found",
                                               "field x-thing=Some Value",
                                               "field content-length=8",
                                               "headers",
                                               "begin",
                                               "end",
                                               "end response"};
    EXPECT_EQ(response.events, expected);
}

TEST(CurlRequestSender, AnExceptionOfTheBodyReceiverEndsTheRequestUnchanged) {
    ScriptedHTTPServer origin([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply(std::string(100'000, 'b'))};
    });
    RecordingResponse response;
    response.failInBody = true;
    EXPECT_THROW(Fetch({"GET", URLOf(origin)}, response), ReceiverFailure);
    EXPECT_FALSE(response.Has("end"));
    EXPECT_FALSE(response.Has("end response"));
}

TEST(CurlRequestSender, ABodyCutShortFailsWithoutEndingTheBody) {
    ScriptedHTTPServer origin([](const std::string&) {
        ScriptedHTTPServer::Reply reply{"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly this"};
        reply.closeAtOnce = true;
        return reply;
    });
    RecordingResponse response;
    ExpectTransferError("curl error 18: ", [&] { Fetch({"GET", URLOf(origin)}, response); });
    EXPECT_FALSE(response.Has("end"));
    EXPECT_FALSE(response.Has("end response"));
}

TEST(CurlRequestSender, AStopEndsAWaitingTransferPromptly) {
    SilentListener silent;
    ThreadInterruptor stop;
    HTTPRequestContext context;
    context.SetInterruptor(stop);
    RecordingResponse response;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.SetStopFlag(true);
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Send({"GET", silent.URL()}, response, context), StopRequest);
    stopper.join();
    // Far below the 30 seconds the receive limit would take.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(CurlRequestSender, ASilentServerEndsTheTransferAfterTheReceiveLimit) {
    SilentListener silent;
    HTTPRequestContext context;
    context.SetTimeLimits(HTTPRequestContext::kDefaultConnectTimeLimit, 1'000'000, 1'000'000);
    RecordingResponse response;
    ExpectTransferError("curl error 28: ", [&] { Send({"GET", silent.URL()}, response, context); });
}

// Limits of 0 set none: a slow answer still arrives.
TEST(CurlRequestSender, LimitsOfZeroSetNone) {
    ScriptedHTTPServer origin([](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        return ScriptedHTTPServer::Reply{MakeHTTPReply("late")};
    });
    HTTPRequestContext context;
    context.SetTimeLimits(0, 0, 0);
    RecordingResponse response;
    Send({"GET", URLOf(origin)}, response, context);
    EXPECT_EQ(response.body, "late");
}

TEST(CurlRequestSender, ServerCredentialsGoOnlyToAServerThatAsks) {
    ScriptedHTTPServer origin([](const std::string& request) {
        // "user:pass" in Base64.
        if (request.find("\r\nAuthorization: Basic dXNlcjpwYXNz\r\n") != std::string::npos)
            return ScriptedHTTPServer::Reply{MakeHTTPReply("welcome")};
        return ScriptedHTTPServer::Reply{MakeHTTPReply(
            "who are you", "WWW-Authenticate: Basic realm=\"relay\"\r\n", "HTTP/1.0 401 Unauthorized")};
    });
    HTTPClientSession session("", "", "", "user", "pass", "", 0, false, 0);
    RecordingResponse response;
    EXPECT_EQ(Fetch({"GET", URLOf(origin)}, response, session), "welcome");
    ASSERT_EQ(origin.Exchanges().size(), 2u);
    EXPECT_EQ(origin.Exchanges()[0].request.find("Authorization"), std::string::npos);
    // The receiver sees the answer to the credentials only.
    EXPECT_EQ(response.events.front(), "status 200 OK");

    // A session that refuses Basic leaves the challenge unanswered, and the 401 is the response.
    HTTPClientSession refusing("", "", "", "user", "pass", "", 0, true, 0);
    RecordingResponse refused;
    EXPECT_EQ(Fetch({"GET", URLOf(origin)}, refused, refusing), "who are you");
    EXPECT_EQ(refused.events.front(), "status 401 Unauthorized");
}

class CurlOverTLS : public testing::Test {
  protected:
    void SetUp() override { WriteWholeFile(m_origin.Folder() + "/a.txt", "over TLS"); }
    void TearDown() override { SetTrustedCertificateFile(""); }

    std::string Fetch(const std::string& host) {
        RecordingResponse response;
        return ::Fetch({"GET", m_origin.URL("/files/a.txt", host)}, response);
    }

    PythonOrigin m_origin{PythonOrigin::Transport::TLS};
};

TEST_F(CurlOverTLS, OnlyATrustedCertificateForTheHostIsAccepted) {
    // Not in the system's store.
    ExpectTransferError("curl error 60: ", [&] { Fetch("localhost"); });

    SetTrustedCertificateFile(m_origin.CertificateFile());
    EXPECT_EQ(Fetch("localhost"), "over TLS");
    EXPECT_EQ(Fetch("127.0.0.1"), "over TLS");

    // Another origin's certificate.
    PythonOrigin other(PythonOrigin::Transport::TLS);
    SetTrustedCertificateFile(other.CertificateFile());
    ExpectTransferError("curl error 60: ", [&] { Fetch("localhost"); });
}

class CurlThroughSquid : public testing::TestWithParam<SquidProxy::Scheme> {
  protected:
    static void SetUpTestSuite() {
        s_download = new std::string(TenMebibytes());
        s_origin = new ScriptedHTTPServer([](const std::string& request) {
            // GET answers the download; POST echoes its body.
            bool post = request.rfind("POST ", 0) == 0;
            return ScriptedHTTPServer::Reply{MakeHTTPReply(post ? BodyOf(request) : *s_download)};
        });
    }
    static void TearDownTestSuite() {
        delete s_origin;
        delete s_download;
    }

    static HTTPClientSession Session() {
        return HTTPClientSession(SquidProxy::kUser, SquidProxy::kPassword, "", "", "", "127.0.0.1",
                                 SharedSquidProxy(GetParam()).Port(), false, 0);
    }

    static ScriptedHTTPServer* s_origin;
    static std::string* s_download;
};

ScriptedHTTPServer* CurlThroughSquid::s_origin = nullptr;
std::string* CurlThroughSquid::s_download = nullptr;

TEST_P(CurlThroughSquid, GetsAndPostsTenMebibytesByteForByte) {
    // "localhost" rather than 127.0.0.1, which never goes through a proxy.
    const std::string url = URLOf(*s_origin, "localhost");
    HTTPClientSession session = Session();
    RecordingResponse download;
    EXPECT_TRUE(Fetch({"GET", url}, download, session) == *s_download);
    EXPECT_EQ(download.events.front(), "status 200 OK");

    RecordingResponse upload;
    EXPECT_TRUE(Fetch({"POST", url, *s_download}, upload, session) == *s_download);
    // Squid forwarded both.
    EXPECT_NE(s_origin->Exchanges().back().request.find("\r\nVia: "), std::string::npos);
}

TEST_P(CurlThroughSquid, HttpsGoesThroughACONNECTTunnel) {
    PythonOrigin origin(PythonOrigin::Transport::TLS);
    WriteWholeFile(origin.Folder() + "/big", *s_download);
    SetTrustedCertificateFile(origin.CertificateFile());
    RecordingResponse response;
    bool same = Fetch({"GET", origin.URL("/files/big", "localhost")}, response, Session()) == *s_download;
    SetTrustedCertificateFile("");
    EXPECT_TRUE(same);
    // The tunnel's own reply is not the response.
    EXPECT_EQ(response.events.front(), "status 200 OK");
    EXPECT_EQ(std::count_if(response.events.begin(), response.events.end(),
                            [](const std::string& event) { return event.rfind("status ", 0) == 0; }),
              1);
}

TEST_P(CurlThroughSquid, AWrongPasswordEndsWithTheProxysRefusal) {
    HTTPClientSession session(SquidProxy::kUser, "wrong password", "", "", "", "127.0.0.1",
                              SharedSquidProxy(GetParam()).Port(), false, 0);
    RecordingResponse response;
    Fetch({"GET", URLOf(*s_origin, "localhost")}, response, session);
    EXPECT_EQ(response.events.front().rfind("status 407 ", 0), 0u) << response.events.front();
}

INSTANTIATE_TEST_SUITE_P(Schemes, CurlThroughSquid,
                         testing::Values(SquidProxy::Scheme::Basic, SquidProxy::Scheme::Digest),
                         [](const testing::TestParamInfo<SquidProxy::Scheme>& info) {
                             return info.param == SquidProxy::Scheme::Basic ? "Basic" : "Digest";
                         });

}  // namespace

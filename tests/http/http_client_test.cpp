// The main HTTP client against scripted Python origins on loopback, a real Squid and TLS origins.
#include "http/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_test_support.h"
#include "http/proxy_authentication.h"
#include "http/tls_client.h"
#include "net/started_socket_system.h"
#include "settings/registry_functions.h"
#include "support/python_origin.h"
#include "support/scripted_http_server.h"
#include "support/squid_proxy.h"
#include "support/temporary_registry.h"

namespace {

using namespace TransferResult;

constexpr std::uint64_t kTimeOut = 30'000'000;
constexpr const char* kOldContent = "the body file as it was";

// A loopback port whose listener takes no connection: its accept queue is full, so the kernel drops
// further SYNs and a connect to it hangs until it is given up.
class UnresponsiveListener {
  public:
    UnresponsiveListener() {
        m_listener = Listen();
        sockaddr_in address = Address();
        for (int& filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        // Let the fillers' handshakes fill the queue before the test connects.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~UnresponsiveListener() {
        for (int filler : m_fillers) ::close(filler);
        ::close(m_listener);
    }
    std::uint16_t Port() const { return ntohs(Address().sin_port); }

  private:
    static int Listen() {
        int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener, 0), 0);
        return listener;
    }
    sockaddr_in Address() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        return address;
    }

    int m_listener = -1;
    int m_fillers[2] = {-1, -1};
};

// The progress texts of one transfer, a run of "Sending data" or "Receiving data" counted as one.
class ProgressRecorder {
  public:
    TransferProgress Callback() {
        return [this](const char* text) {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_texts.empty() || m_texts.back() != text ||
                (m_texts.back() != "Sending data" && m_texts.back() != "Receiving data"))
                m_texts.emplace_back(text);
            return true;
        };
    }
    std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_texts;
    }

  private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

class HTTPClientTest : public testing::Test {
  protected:
    void SetUp() override {
        StartedSocketSystem();
        WriteWholeFile(m_origin.Folder() + "/a.txt", "the file's content");
        WriteWholeFile(BodyPath(), kOldContent);
    }
    void TearDown() override { SetTrustedCertificateFile(""); }

    std::string BodyPath() const { return m_folder / "body"; }
    FileLocation Body() const { return FileLocation(BodyPath().c_str()); }

    int Get(const std::string& url, HTTPClientSession& session, HeaderHandler& handler,
            const TransferProgress& progress = {}) {
        GetStopFunctor never;
        return GetHTTP(url, session, Body(), handler, m_status, kTimeOut, progress, never);
    }
    int Get(const std::string& url, HTTPClientSession& session) {
        HeaderHandler handler(nullptr, "Veltra Lumeroft");
        return Get(url, session, handler);
    }
    std::string BodyFile() const { return ReadWholeFile(BodyPath()); }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    PythonOrigin m_origin;
    int m_status = -1;
};

// Test labels: HTTPClientTest tsan
TEST_F(HTTPClientTest, ResultCodesAndBodyFile) {
    struct Case {
        const char* path;
        bool serverCredentials;
        int result;
        int status;
        const char* body;  // the body file afterwards
    };
    const Case cases[] = {
        {"/files/a.txt", false, kSuccess, 200, "the file's content"},
        {"/files/missing.txt", false, kSuccess, 404, "not found"},
        // The 401's own body never reaches the file: only the final response's does.
        {"/basic", true, kSuccess, 200, "authorized"},
        {"/basic", false, kStopped, 401, kOldContent},
        {"/chunked", false, kChunkedBody, 200, kOldContent},
        // Fewer bytes than the Content-Length: a failure, and the body file stays as it was.
        {"/short", false, kReceiveFailed, 200, kOldContent},
    };
    for (const Case& c : cases) {
        WriteWholeFile(BodyPath(), kOldContent);
        HTTPClientSession session("", "", "", c.serverCredentials ? PythonOrigin::kUser : "",
                                  c.serverCredentials ? PythonOrigin::kPassword : "", "", 0, false, 0);
        EXPECT_EQ(Get(m_origin.URL(c.path), session), c.result) << c.path;
        EXPECT_EQ(m_status, c.status) << c.path;
        EXPECT_EQ(BodyFile(), c.body) << c.path;
    }
    // No temporary file is left beside the body file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path()), {}), 1);
}

TEST_F(HTTPClientTest, URLsThatCannotBeRequested) {
    for (const auto& [url, result] : std::vector<std::pair<std::string, int>>{
             {"ftp://h/x", kBadURL}, {"http:x", kBadURL}, {"", kEmptyURL}, {"https//h/x", kBadURL}}) {
        HTTPClientSession session;
        EXPECT_EQ(Get(url, session), result) << url;
    }
    EXPECT_EQ(BodyFile(), kOldContent);
}

TEST_F(HTTPClientTest, BothChallengeLinesReachTheAnswerAndTheUserAgentNamesTheClient) {
    // The origin offers an unknown scheme first and Basic second: only the second can be answered.
    HTTPClientSession session("", "", "", PythonOrigin::kUser, PythonOrigin::kPassword, "", 0, false, 0);
    ASSERT_EQ(Get(m_origin.URL("/basic"), session), kSuccess);
    EXPECT_EQ(session.AuthenticationScheme(), "basic");

    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    handler.m_downloadBytesPerSecond = 5000;
    ASSERT_EQ(Get(m_origin.URL("/headers"), session, handler), kSuccess);
    std::string head = BodyFile();
    EXPECT_EQ(head.rfind("GET /headers HTTP/1.0\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nUser-Agent: (Veltra Lumeroft 8.0.627.0)\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nx-kvr-download-bytespersecond: 5000\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nConnection: Keep-Alive\r\n"), std::string::npos) << head;
    EXPECT_EQ(handler.GetStatusCode(), 200);
    EXPECT_EQ(handler.GetContentLength(), head.size());

    ASSERT_TRUE(WriteRegistryString(RegistryRoot::CurrentUser,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                    "User Agent", "Mozilla/4.0 (compatible; MSIE 8.0)"));
    ASSERT_EQ(Get(m_origin.URL("/headers"), session), kSuccess);
    EXPECT_NE(
        BodyFile().find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Veltra Lumeroft 8.0.627.0)\r\n"),
        std::string::npos);
}

TEST_F(HTTPClientTest, AChunked407IsDrainedAndAnsweredOnTheSameConnection) {
    // The origin plays the proxy; "localhost" is not a local name that bypasses it.
    HTTPClientSession session(PythonOrigin::kProxyUser, PythonOrigin::kProxyPassword, "", "", "", "127.0.0.1",
                              m_origin.Port(), false, 0);
    ReplaceRequestHeaderHandler handler("", "x-connection-request:");
    EXPECT_EQ(Get("http://localhost:1/proxy-chunked-407", session, handler), kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_EQ(BodyFile(), "through the proxy");
    EXPECT_EQ(handler.GetWantedHeaderValue(), "2");
    // Basic proxy credentials are kept for the next request.
    EXPECT_EQ(session.StoredProxyAuthorization().rfind("Basic ", 0), 0u);

    // A local host never goes through the proxy, and never gets the proxy's credentials.
    ASSERT_EQ(Get(m_origin.URL("/headers"), session), kSuccess);
    EXPECT_EQ(BodyFile().rfind("GET /headers HTTP/1.0\r\n", 0), 0u);
    EXPECT_EQ(BodyFile().find("Proxy-Authorization"), std::string::npos);
}

TEST_F(HTTPClientTest, ProgressTextsComeInOrder) {
    HTTPClientSession session;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    ProgressRecorder getProgress;
    ASSERT_EQ(Get(m_origin.URL("/files/a.txt"), session, handler, getProgress.Callback()), kSuccess);
    EXPECT_EQ(getProgress.Texts(), (std::vector<std::string>{"Looking up server", "Connecting to server",
                                                             "Sending request", "Receiving data"}));

    std::string posted(300'000, 'p');
    WriteWholeFile(m_folder / "post", posted);
    ProgressRecorder postProgress;
    GetStopFunctor never;
    ASSERT_EQ(PostHTTP(m_origin.URL("/echo"), session, FileLocation((m_folder / "post").c_str()), Body(),
                       handler, m_status, kTimeOut, postProgress.Callback(), never),
              kSuccess);
    EXPECT_EQ(postProgress.Texts(),
              (std::vector<std::string>{"Looking up server", "Connecting to server", "Sending request",
                                        "Sending data", "Waiting for response"}));
    EXPECT_EQ(BodyFile(), posted);

    // False from the callback stops the transfer.
    WriteWholeFile(BodyPath(), kOldContent);
    int calls = 0;
    EXPECT_EQ(
        Get(m_origin.URL("/files/a.txt"), session, handler, [&calls](const char*) { return ++calls < 3; }),
        kStopped);
    EXPECT_EQ(BodyFile(), kOldContent);
}

TEST_F(HTTPClientTest, TransferHTTPPostsAndCapturesTheWantedField) {
    WriteWholeFile(m_folder / "post", "result lines");
    HTTPClientSession session;
    GetStopFunctor never;
    std::string server;
    EXPECT_EQ(TransferHTTP(m_origin.URL("/echo"), FileLocation((m_folder / "post").c_str()), Body(),
                           "server:", &server, m_status, kTimeOut, never, session),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_EQ(BodyFile(), "result lines");
    EXPECT_EQ(server.rfind("basehttp/", 0), 0u) << server;

    EXPECT_EQ(TransferHTTP(m_origin.URL("/echo"), FileLocation((m_folder / "missing").c_str()), Body(),
                           "server:", nullptr, m_status, kTimeOut, never, session),
              kPostFileNotOpened);
}

TEST_F(HTTPClientTest, ABodyFileThatCannotBeWrittenFailsAGetButNotAPost) {
    HTTPClientSession session;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    GetStopFunctor never;
    FileLocation nowhere((m_folder / "no folder/body").c_str());
    EXPECT_EQ(GetHTTP(m_origin.URL("/files/a.txt"), session, nowhere, handler, m_status, kTimeOut, {}, never),
              kFileFailed);
    WriteWholeFile(m_folder / "post", "x");
    EXPECT_EQ(PostHTTP(m_origin.URL("/echo"), session, FileLocation((m_folder / "post").c_str()), nowhere,
                       handler, m_status, kTimeOut, {}, never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
}

TEST_F(HTTPClientTest, AHeadBeyondItsLimitIsAReceiveFailure) {
    ScriptedHTTPServer server([](const std::string&) {
        return ScriptedHTTPServer::Reply{"HTTP/1.0 200 OK\r\nX-Long: " + std::string(70 * 1024, 'x') +
                                         "\r\n\r\nbody"};
    });
    HTTPClientSession session;
    EXPECT_EQ(Get("http://127.0.0.1:" + std::to_string(server.Port()) + "/", session), kReceiveFailed);
    EXPECT_EQ(BodyFile(), kOldContent);
}

// A stop functor that a test (or a progress text) switches on and off.
class SwitchedStop : public GetStopFunctor {
  public:
    bool ShouldStop() override { return m_on.load(); }
    void Set(bool on) { m_on = on; }

  private:
    std::atomic<bool> m_on{false};
};

TEST_F(HTTPClientTest, AStopReturnsPromptlyWhileAConnectOrAReceiveHangs) {
    UnresponsiveListener listener;
    struct Case {
        std::string url;
        const char* stopAt;  // the progress text at which the stop comes
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(listener.Port()) + "/", "Connecting to server"},
        {m_origin.URL("/hang"), "Sending request"},
    };
    for (const Case& c : cases) {
        Event stopEvent;
        EventStopFunctor stop(stopEvent);
        std::chrono::steady_clock::time_point stoppedAt;
        TransferProgress progress = [&](const char* text) {
            if (std::string(text) == c.stopAt) {
                stoppedAt = std::chrono::steady_clock::now();
                stopEvent.Set();
            }
            return true;
        };
        HTTPClientSession session;
        HeaderHandler handler(nullptr, "Veltra Lumeroft");
        EXPECT_EQ(GetHTTP(c.url, session, Body(), handler, m_status, kTimeOut, progress, stop), kStopped)
            << c.url;
        // Typically a few milliseconds; the bound leaves room for a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::seconds(1)) << c.url;
        EXPECT_EQ(BodyFile(), kOldContent);
    }
}

TEST_F(HTTPClientTest, AStopDuringTheLookUpLeavesTheWorkerBehind) {
    Event stopEvent;
    stopEvent.Set();
    EventStopFunctor stop(stopEvent);
    ProgressRecorder progress;
    HTTPClientSession session;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    EXPECT_EQ(GetHTTP(m_origin.URL("/files/a.txt"), session, Body(), handler, m_status, kTimeOut,
                      progress.Callback(), stop),
              kStopped);
    EXPECT_EQ(progress.Texts(), std::vector<std::string>{"Looking up server"});
    EXPECT_EQ(BodyFile(), kOldContent);
}

TEST_F(HTTPClientTest, AStopThatHasGoneWhenTheWorkerEndsBreaksTheTransferOff) {
    // Stop is asked for once the request is sent, and withdrawn as soon as the caller has seen it.
    class OnceStop : public GetStopFunctor {
      public:
        bool ShouldStop() override { return m_armed.exchange(false); }
        std::atomic<bool> m_armed{false};
    } stop;
    TransferProgress progress = [&stop](const char* text) {
        if (std::string(text) == "Sending request") stop.m_armed = true;
        return true;
    };
    HTTPClientSession session;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    EXPECT_EQ(GetHTTP(m_origin.URL("/hang"), session, Body(), handler, m_status, kTimeOut, progress, stop),
              kBrokenOff);
    EXPECT_EQ(BodyFile(), kOldContent);
}

class HTTPClientTLSTest : public HTTPClientTest {
  protected:
    PythonOrigin m_tlsOrigin{PythonOrigin::Transport::TLS};
};

// Test labels: HTTPClientTLSTest tsan
TEST_F(HTTPClientTLSTest, FetchesOverTLSVerifyingOnlyWithATrustedFile) {
    WriteWholeFile(m_tlsOrigin.Folder() + "/a.txt", "over TLS");
    HTTPClientSession session;
    EXPECT_EQ(Get(m_tlsOrigin.URL("/files/a.txt", "localhost"), session), kSuccess);
    EXPECT_EQ(BodyFile(), "over TLS");

    SetTrustedCertificateFile(m_tlsOrigin.CertificateFile());
    WriteWholeFile(BodyPath(), kOldContent);
    EXPECT_EQ(Get(m_tlsOrigin.URL("/files/a.txt", "localhost"), session), kSuccess);
    EXPECT_EQ(BodyFile(), "over TLS");

    // Another origin's certificate is not trusted.
    PythonOrigin other(PythonOrigin::Transport::TLS);
    SetTrustedCertificateFile(other.CertificateFile());
    EXPECT_EQ(Get(m_tlsOrigin.URL("/files/a.txt", "localhost"), session), kTLSHandshakeFailed);
    SetTrustedCertificateFile(m_folder / "missing.pem");
    EXPECT_EQ(Get(m_tlsOrigin.URL("/files/a.txt", "localhost"), session), kTLSContextFailed);
}

// Over TLS 1.3 the server's session tickets arrive after the handshake, so the socket is readable
// before any answer: the body must still go out whole.
TEST_F(HTTPClientTLSTest, PostsOverTLS) {
    std::string posted(300'000, 't');
    WriteWholeFile(m_folder / "post", posted);
    HTTPClientSession session;
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    GetStopFunctor never;
    ASSERT_EQ(PostHTTP(m_tlsOrigin.URL("/echo", "localhost"), session, FileLocation((m_folder / "post").c_str()),
                       Body(), handler, m_status, kTimeOut, {}, never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_TRUE(BodyFile() == posted);
}

TEST_F(HTTPClientTLSTest, AHandshakeThatEndsWithoutAnswerFails) {
    // A server that takes the connection and closes it at once: the handshake sees the end of the
    // stream, which OpenSSL reports as 0, never as 1.
    HTTPClientSession session;
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread closer([listener] {
        int connection = ::accept(listener, nullptr, nullptr);
        ::close(connection);
    });
    EXPECT_EQ(Get("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", session),
              kTLSHandshakeFailed);
    closer.join();
    ::close(listener);
    EXPECT_EQ(BodyFile(), kOldContent);
}

// GET and POST of 10 MiB, and https through a CONNECT tunnel, through Squid asking for Basic or
// Digest.
class HTTPClientThroughSquid : public testing::TestWithParam<SquidProxy::Scheme> {
  protected:
    void SetUp() override {
        StartedSocketSystem();
        WriteWholeFile(m_origin.Folder() + "/big", TenMebibytes());
        WriteWholeFile(m_tlsOrigin.Folder() + "/big", TenMebibytes());
    }
    void TearDown() override { SetTrustedCertificateFile(""); }

    HTTPClientSession Session() const {
        return HTTPClientSession(SquidProxy::kUser, SquidProxy::kPassword, "", "", "", "127.0.0.1",
                                 SharedSquidProxy(GetParam()).Port(), false, 0);
    }
    FileLocation File(const char* name) const { return FileLocation((m_folder / name).c_str()); }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    PythonOrigin m_origin;
    PythonOrigin m_tlsOrigin{PythonOrigin::Transport::TLS};
    GetStopFunctor m_never;
    int m_status = 0;
};

TEST_P(HTTPClientThroughSquid, GetAndPostTenMebibytes) {
    HTTPClientSession session = Session();
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    ASSERT_EQ(GetHTTP(m_origin.URL("/files/big", "localhost"), session, File("got"), handler, m_status,
                      kTimeOut, {}, m_never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_TRUE(ReadWholeFile(m_folder / "got") == TenMebibytes());
    EXPECT_EQ(session.AuthenticationScheme(), GetParam() == SquidProxy::Scheme::Basic ? "basic" : "digest");

    WriteWholeFile(m_folder / "post", TenMebibytes());
    ASSERT_EQ(PostHTTP(m_origin.URL("/echo", "localhost"), session, File("post"), File("echoed"), handler,
                       m_status, kTimeOut, {}, m_never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_TRUE(ReadWholeFile(m_folder / "echoed") == TenMebibytes());

    WriteWholeFile(m_folder / "small", "small post");
    ASSERT_EQ(TransferHTTP(m_origin.URL("/echo", "localhost"), File("small"), File("answer"), "", nullptr,
                           m_status, kTimeOut, m_never, session),
              kSuccess);
    EXPECT_EQ(ReadWholeFile(m_folder / "answer"), "small post");
}

TEST_P(HTTPClientThroughSquid, HttpsGoesThroughACONNECTTunnel) {
    SetTrustedCertificateFile(m_tlsOrigin.CertificateFile());
    HTTPClientSession session = Session();
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    ASSERT_EQ(GetHTTP(m_tlsOrigin.URL("/files/big", "localhost"), session, File("got"), handler, m_status,
                      kTimeOut, {}, m_never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_TRUE(ReadWholeFile(m_folder / "got") == TenMebibytes());

    // Inside the tunnel the request reaches the origin, which never sees the proxy's credentials.
    ASSERT_EQ(GetHTTP(m_tlsOrigin.URL("/headers", "localhost"), session, File("head"), handler, m_status,
                      kTimeOut, {}, m_never),
              kSuccess);
    EXPECT_EQ(ReadWholeFile(m_folder / "head").find("Proxy-Authorization"), std::string::npos);

    // The origin's 401 closes the connection: the next round opens a new tunnel.
    HTTPClientSession withServerCredentials(SquidProxy::kUser, SquidProxy::kPassword, "", PythonOrigin::kUser,
                                            PythonOrigin::kPassword, "127.0.0.1",
                                            SharedSquidProxy(GetParam()).Port(), false, 0);
    ASSERT_EQ(GetHTTP(m_tlsOrigin.URL("/basic", "localhost"), withServerCredentials, File("got"), handler,
                      m_status, kTimeOut, {}, m_never),
              kSuccess);
    EXPECT_EQ(m_status, 200);
    EXPECT_EQ(ReadWholeFile(m_folder / "got"), "authorized");

    HTTPClientSession wrong(SquidProxy::kUser, "wrong password", "", "", "", "127.0.0.1",
                            SharedSquidProxy(GetParam()).Port(), false, 0);
    EXPECT_EQ(GetHTTP(m_tlsOrigin.URL("/files/big", "localhost"), wrong, File("other"), handler, m_status,
                      kTimeOut, {}, m_never),
              kProxyTunnelFailed);
    EXPECT_EQ(m_status, 407);
}

INSTANTIATE_TEST_SUITE_P(Schemes, HTTPClientThroughSquid,
                         testing::Values(SquidProxy::Scheme::Basic, SquidProxy::Scheme::Digest),
                         [](const testing::TestParamInfo<SquidProxy::Scheme>& info) {
                             return info.param == SquidProxy::Scheme::Basic ? "Basic" : "Digest";
                         });

}  // namespace

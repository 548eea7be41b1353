// The socket client over TLS against OpenSSL's own test server, with certificates made by the
// openssl command.
#include "http/tls_client.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "http/http_client_errors.h"
#include "http/http_client_test_support.h"
#include "http/proxy_authentication.h"
#include "http/socket_http_client.h"
#include "net/loopback_client.h"
#include "net/started_socket_system.h"
#include "support/gssapi_acceptor.h"
#include "support/scripted_http_server.h"
#include "support/squid_proxy.h"
#include "support/temporary_folder.h"

namespace {

constexpr std::uint64_t kTimeOut = 10'000'000;

// A self-signed certificate for "localhost" and its key, as PEM files.
void MakeCertificate(const std::string& certificate, const std::string& key) {
    std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
        " -addext subjectAltName=DNS:localhost -keyout '" +
        key + "' -out '" + certificate + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// "openssl s_server -www" on a loopback port: it answers "GET /" with a status page.
class OpenSSLServer {
  public:
    OpenSSLServer(const std::string& certificate, const std::string& key) {
        {
            ScriptedHTTPServer probe([](const std::string&) { return ScriptedHTTPServer::Reply{}; });
            m_port = probe.Port();  // free once the probe is gone
        }
        std::string accept = "127.0.0.1:" + std::to_string(m_port);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execlp("openssl", "openssl", "s_server", "-quiet", "-www", "-accept", accept.c_str(), "-cert",
                     certificate.c_str(), "-key", key.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            try {
                ConnectTo("127.0.0.1", m_port);
                return;
            } catch (const std::runtime_error&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ADD_FAILURE() << "openssl s_server does not listen";
    }
    ~OpenSSLServer() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::uint16_t Port() const { return m_port; }

  private:
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

class TLSClientTest : public testing::Test {
  protected:
    void SetUp() override {
        StartedSocketSystem();
        MakeCertificate(m_folder / "server.pem", m_folder / "server.key");
        MakeCertificate(m_folder / "other.pem", m_folder / "other.key");
    }
    void TearDown() override { SetTrustedCertificateFile(""); }

    // The status page over https from the host name.
    std::string Fetch(const OpenSSLServer& server, const std::string& host) {
        RecordingHttpHandler handler("https://" + host + ":" + std::to_string(server.Port()) + "/");
        HTTPClientSession session;
        PerformHTTPRequest(handler, session, kTimeOut);
        return handler.body;
    }

    TemporaryFolder m_folder;
};

TEST_F(TLSClientTest, FetchesOverTLSAndVerifiesOnlyWithTrustedCertificates) {
    OpenSSLServer server(m_folder / "server.pem", m_folder / "server.key");
    EXPECT_NE(Fetch(server, "localhost").find("s_server"), std::string::npos);

    SetTrustedCertificateFile(m_folder / "server.pem");
    EXPECT_NE(Fetch(server, "localhost").find("s_server"), std::string::npos);
    // The certificate was not issued for this name.
    EXPECT_THROW(Fetch(server, "127.0.0.1"), Http_err_SSL3);

    SetTrustedCertificateFile(m_folder / "other.pem");
    EXPECT_THROW(Fetch(server, "localhost"), Http_err_SSL3);

    SetTrustedCertificateFile(m_folder / "missing.pem");
    EXPECT_THROW(Fetch(server, "localhost"), Http_err_SSL1);
}

TEST_F(TLSClientTest, HttpsThroughSquidRunsInsideTheTunnel) {
    OpenSSLServer server(m_folder / "server.pem", m_folder / "server.key");
    SetTrustedCertificateFile(m_folder / "server.pem");
    std::vector<SquidProxy::Scheme> schemes = {SquidProxy::Scheme::Basic, SquidProxy::Scheme::Digest};
    // NTLM authenticates the CONNECT's connection, which then carries the tunnel.
    if (MissingNTLMSupport().empty()) schemes.push_back(SquidProxy::Scheme::NTLM);
    for (SquidProxy::Scheme scheme : schemes) {
        HTTPClientSession session(SquidProxy::kUser, SquidProxy::kPassword, SquidProxy::kDomain, "", "",
                                  "127.0.0.1", SharedSquidProxy(scheme).Port(), false, 3);
        RecordingHttpHandler handler("https://localhost:" + std::to_string(server.Port()) + "/");
        PerformHTTPRequest(handler, session, kTimeOut);
        EXPECT_NE(handler.body.find("s_server"), std::string::npos);
        // The tunnel's reply is not the handler's: it sees one response.
        EXPECT_EQ(std::count(handler.calls.begin(), handler.calls.end(), "head"), 1);
    }
}

TEST_F(TLSClientTest, AServerThatDoesNotSpeakTLSFailsTheHandshake) {
    ScriptedHTTPServer plain(
        [](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("plain")}; });
    RecordingHttpHandler handler("https://127.0.0.1:" + std::to_string(plain.Port()) + "/");
    HTTPClientSession session;
    // The server waits for a request head that never comes; the receive time-out ends the handshake.
    EXPECT_THROW(PerformHTTPRequest(handler, session, 500'000), Http_err_SSL3);
}

}  // namespace

// The HTTP server over TLS end to end: "UseSSLFlag" and "SSLCertificateFilePath" in the test's
// registry, a certificate made with the openssl command line, and curl, openssl s_client and an
// in-process OpenSSL client as the clients.
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "crypto/tls_server.h"
#include "http/file_serving_fixture.h"
#include "http/http_test_support.h"
#include "net/started_socket_system.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

// A self-signed RSA server certificate for 127.0.0.1 with its key ("server.pem", and the certificate
// alone as "server.crt"), and the same certificate followed by an EC key ("mismatched.pem").
class ServerCertificates {
  public:
    ServerCertificates() {
        const ProgramRun made = RunProgram(
            "openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", m_folder / "server.key",
                        "-out", m_folder / "server.crt", "-subj", "/CN=localhost", "-days", "2", "-addext",
                        "subjectAltName=DNS:localhost,IP:127.0.0.1"});
        if (made.exitStatus != 0) throw std::runtime_error("openssl req: " + made.err);
        const ProgramRun ec = RunProgram("openssl", {"genpkey", "-algorithm", "EC", "-pkeyopt",
                                                     "ec_paramgen_curve:P-256", "-out", m_folder / "ec.key"});
        if (ec.exitStatus != 0) throw std::runtime_error("openssl genpkey: " + ec.err);
        Concatenate("server.pem", {"server.crt", "server.key"});
        Concatenate("mismatched.pem", {"server.crt", "ec.key"});
    }
    std::string operator/(const std::string& name) const { return m_folder / name; }

  private:
    void Concatenate(const std::string& name, const std::vector<std::string>& parts) {
        std::ofstream out(m_folder / name, std::ios::binary);
        for (const std::string& part : parts) out << std::ifstream(m_folder / part, std::ios::binary).rdbuf();
    }
    TemporaryFolder m_folder;
};

const ServerCertificates& Certificates() {
    static const ServerCertificates certificates;
    return certificates;
}

// A blocking TLS client that trusts anything: enough to drive the server's side of the handshake.
class TestTLSClient {
  public:
    explicit TestTLSClient(std::uint16_t port)
        : m_socket(ConnectTo("127.0.0.1", port)), m_context(SSL_CTX_new(TLS_client_method())) {
        m_connection = SSL_new(m_context);
        SSL_set_fd(m_connection, m_socket.Get());
    }
    ~TestTLSClient() {
        SSL_free(m_connection);
        SSL_CTX_free(m_context);
    }
    bool Handshake() { return SSL_connect(m_connection) == 1; }
    void SendCloseNotify() { SSL_shutdown(m_connection); }
    void Close() { m_socket.Close(); }

  private:
    SocketHandle m_socket;
    SSL_CTX* m_context;
    SSL* m_connection;
};

class HTTPSServing : public FileServing {
  protected:
    // The socket system ignores SIGPIPE, as the service's does: a TLS write to a closed peer must fail,
    // not end the process.
    static void SetUpTestSuite() { StartedSocketSystem(); }

    static std::map<std::string, std::string> TLSSettings(const std::string& certificateFile) {
        return {{"UseSSLFlag", "1"}, {"SSLCertificateFilePath", certificateFile}};
    }
    void StartServer() { FileServing::StartServer(TLSSettings(Certificates() / "server.pem")); }
    std::string URL(const std::string& path) { return "https://127.0.0.1:" + std::to_string(Port()) + path; }
    ProgramRun Curl(const std::string& path, const std::string& output) {
        return FileServing::Curl({"-S", "--cacert", Certificates() / "server.crt", "-o", output, URL(path)});
    }
};

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// Large enough that the socket's buffer fills and the server's TLS writes block and are retried.
TEST_F(HTTPSServing, CurlFetchesFilesOverHTTPSAndPlainHTTPGetsNoReply) {
    StartServer();
    for (std::size_t size : {0u, 1500u, 3u * 1024 * 1024}) {
        const std::string name = "file" + std::to_string(size);
        WriteFile(name, Pattern(size));
        const ProgramRun run = Curl("/" + name, scratch / name);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(ReadWhole(scratch / name) == Pattern(size)) << size;
    }
    EXPECT_EQ(Exchange(Port(), "GET /file0 HTTP/1.0\r\n\r\n").rfind("HTTP/", 0), std::string::npos);
}

// Decrypted bytes waiting in the TLS session wake no poll: the body a plug-in's request waits for on
// the loop, and the rest its thread reads, must both be read to the end.
TEST_F(HTTPSServing, APlugInGetsALongBodyPostedOverHTTPS) {
    InspectPlugIn inspect;
    RegisterPlugInNames(PlugIns(), inspect);
    StartServer();
    const std::string body = Pattern(200'000);
    WriteWholeFile(scratch / "body", body);
    const ProgramRun run = FileServing::Curl({"-S", "--cacert", Certificates() / "server.crt", "--data-binary",
                                              "@" + (scratch / "body"), "-o", scratch / "reply", URL("/inspect")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(ReadWhole(scratch / "reply") == "method=POST\nurl=/inspect\nx-a=\nbody=" + body);
    StopServer();
}

TEST_F(HTTPSServing, OpenSSLClientCompletesTLS12AndTLS13Handshakes) {
    StartServer();
    WriteFile("hello", "hello over TLS");
    for (const std::string version : {"1.2", "1.3"}) {
        const std::string flag = version == "1.2" ? "-tls1_2" : "-tls1_3";
        const ProgramRun run = RunProgram(
            "sh",
            {"-c",
             "printf 'GET /hello HTTP/1.0\\r\\nHost: h\\r\\n\\r\\n' | openssl s_client -brief -ign_eof " +
                 flag + " -verify_return_error -CAfile " + Certificates() / "server.crt" +
                 " -connect 127.0.0.1:" + std::to_string(Port())});
        EXPECT_NE(run.err.find("Protocol version: TLSv" + version), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("hello over TLS"), std::string::npos) << run.out;
    }
}

TEST_F(HTTPSServing, ASilentClientDoesNotDelayAnotherClientsDownload) {
    StartServer();
    WriteFile("file", Pattern(100000));
    SocketHandle silent = ConnectTo("127.0.0.1", Port());
    ASSERT_TRUE(Eventually([&] { return Server().Server().connections == 1; }));
    const auto start = Clock::now();
    ASSERT_EQ(Curl("/file", scratch / "file").exitStatus, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(ReadWhole(scratch / "file") == Pattern(100000));
}

// Each way of leaving ends the connection at once, long before the read time-out of 60 seconds, and
// the loop does not spin on the closed socket meanwhile.
TEST_F(HTTPSServing, AClientThatLeavesIsDroppedAtOnce) {
    StartServer();
    struct Case {
        const char* name;
        bool handshake;
        bool closeNotify;
    };
    for (const Case& leaving : {Case{"close notification", true, true}, Case{"end of data", true, false},
                                Case{"during the handshake", false, false}}) {
        TestTLSClient client(Port());
        if (leaving.handshake) ASSERT_TRUE(client.Handshake()) << leaving.name;
        if (leaving.closeNotify) client.SendCloseNotify();
        ASSERT_TRUE(Eventually([&] { return Server().Server().connections == 1; })) << leaving.name;
        client.Close();
        EXPECT_TRUE(Eventually([&] { return Server().Server().connections == 0; })) << leaving.name;
    }
}

TEST_F(HTTPSServing, ACertificateFileThatCantServeFailsTheStart) {
    struct Case {
        std::string file;
        std::string failure;
    };
    for (const Case& bad : {Case{scratch / "missing.pem", "SSL_CTX_use_certificate_chain_file_Failed"},
                            Case{Certificates() / "server.crt", "SSL_CTX_use_PrivateKey_file_Failed"},
                            Case{Certificates() / "mismatched.pem", "SSL_CTX_check_private_key_Failed"}}) {
        std::map<std::string, std::string> named;
        for (const auto& [name, value] : TLSSettings(bad.file)) named["_KVRRelay_HTTPServer_" + name] = value;
        WriteNamedSettings(registry, named);
        HTTPServerSettings settings = TestServerSettings();
        ASSERT_TRUE(settings.useTLS);
        PlugInPathTable plugIns;
        Event stop;
        try {
            ObservedServer server(settings, plugIns, stop, false);
            ADD_FAILURE() << bad.file << " started";
        } catch (const OpenSSLError& error) {
            EXPECT_NE(std::string(error.what()).find(bad.failure), std::string::npos) << error.what();
        }
    }
}

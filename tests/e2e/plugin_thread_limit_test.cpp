// A threaded plug-in of a running relay whose threads are all taken: its further clients are turned
// away with 503 at once, the rest of the relay is served, and the plug-in serves again as soon as
// its requests end, whether their clients finish them or vanish.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "e2e/relay_process.h"
#include "support/eventually.h"
#include "support/process_status.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
constexpr int kThreadLimit = 2;
// The loop reads the first 64 KiB of a body before a plug-in thread takes the request; the rest is
// read on that thread, so a client that stops after 100 KiB holds the thread.
constexpr std::size_t kSentBeforeStalling = 100 * 1024;
constexpr std::uint32_t kRecords = 20'000;

// A sequence update of kRecords records, each a computer the relay does not know.
std::string SequenceUpdate() {
    const std::string count{static_cast<char>(kRecords >> 24), static_cast<char>(kRecords >> 16),
                            static_cast<char>(kRecords >> 8), static_cast<char>(kRecords)};
    return "KVRSequenceUpdate 1.0" + count + std::string(8 * kRecords, '\x7f');
}

// A client that posts the head and the first part of a sequence update, then stalls.
class StalledClient {
  public:
    StalledClient(std::uint16_t port, const std::string& body)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_body(body) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        Send("POST " + std::string(kPath) + "?RequestType=UpdateSequenceNumbers HTTP/1.0\r\nContent-Length: " +
             std::to_string(m_body.size()) + "\r\n\r\n" + m_body.substr(0, kSentBeforeStalling));
    }
    ~StalledClient() { Vanish(); }
    StalledClient(const StalledClient&) = delete;
    StalledClient& operator=(const StalledClient&) = delete;

    // True while the relay has sent nothing and kept the connection open.
    bool Waiting() const {
        pollfd entry{m_socket, POLLIN, 0};
        return ::poll(&entry, 1, 0) == 0;
    }
    // Sends the rest of the body; the whole reply.
    std::string Finish() {
        Send(m_body.substr(kSentBeforeStalling));
        std::string reply;
        char buffer[4096];
        for (ssize_t got; (got = ::recv(m_socket, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(got));
        return reply;
    }
    void Vanish() {
        if (m_socket >= 0) ::close(m_socket);
        m_socket = -1;
    }

  private:
    void Send(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t count = ::send(m_socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            ASSERT_GT(count, 0);
            sent += static_cast<std::size_t>(count);
        }
    }

    int m_socket;
    std::string m_body;
};

std::string StatusLine(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

}  // namespace

// Twice in a row, so that a thread the first round failed to give back shows in the second: two
// stalled clients take both threads, GetComputerID gets 503 while the probe file is still served;
// one stalled client vanishes and GetComputerID is served again, the other finishes its body and is
// answered. A plug-in request runs on a thread of its own, so the relay's thread count tells when the
// stalled clients hold theirs, and when a request that ended has given its thread back (which comes
// just after its client saw the connection close).
TEST(PlugInThreadLimitTest, APlugInPastItsThreadLimitAnswers503AndRecovers) {
    RelayProcess relay;
    relay.SetClientSetting("_HTTPServer_ThreadLimit_ClientRegister", std::to_string(kThreadLimit));
    // Only their clients end the stalled requests, never the relay's time-outs.
    relay.SetClientSetting("_KVRRelay_HTTPServer_ReadTimeOut", "3600");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    const auto threads = [&] { return std::stol("0" + ProcessStatusLine(relay.Pid(), "Threads")); };
    const long idleThreads = threads();
    const std::string computerID = std::string(kPath) + "?RequestType=GetComputerID";
    ASSERT_EQ(StatusLine(relay.Get(computerID)), "HTTP/1.1 200 OK");
    const std::string body = SequenceUpdate();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(Eventually([&] { return threads() <= idleThreads; }, 60s)) << threads() << " " << idleThreads;
        StalledClient vanishing(relay.Port(), body);
        StalledClient finishing(relay.Port(), body);
        ASSERT_TRUE(Eventually([&] { return threads() >= idleThreads + kThreadLimit; }, 60s))
            << threads() << " " << idleThreads;

        const std::string refused = relay.Get(computerID);
        EXPECT_EQ(StatusLine(refused), "HTTP/1.1 503 Service Unavailable") << refused;
        EXPECT_EQ(StatusLine(relay.Get("/vtmirror/downloads/0")), "HTTP/1.0 200 OK");
        EXPECT_TRUE(vanishing.Waiting());
        EXPECT_TRUE(finishing.Waiting());

        vanishing.Vanish();
        ASSERT_TRUE(Eventually([&] { return threads() < idleThreads + kThreadLimit; }, 60s)) << relay.Log();
        EXPECT_EQ(StatusLine(relay.Get(computerID)), "HTTP/1.1 200 OK");
        const std::string answered = finishing.Finish();
        EXPECT_NE(answered.find("Sequence number update successful."), std::string::npos) << answered;
    }
    EXPECT_EQ(relay.Stop(), 0);
}

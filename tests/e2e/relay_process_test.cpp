// End-to-end runs of the relay program: real processes on their own ports, registries and folders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "e2e/relay_process.h"
#include "support/captured_standard_error.h"
#include "support/temporary_registry.h"
#include "support/test_pki.h"

using namespace std::chrono_literals;

TEST(RelayProcess, ServesOnAFreshMachineAndStopsOnSIGTERM) {
    RelayProcess relay;
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    std::filesystem::create_directories(relay.Folder() + "/wwwroot/site");
    WriteWholeFile(relay.Folder() + "/wwwroot/site/hello.txt", "hello from the relay");
    EXPECT_TRUE(relay.Get("/site/hello.txt").ends_with("\r\n\r\nhello from the relay"));

    EXPECT_EQ(relay.Stop(), 0);
    const std::string log = relay.Log();
    for (const char* line : {"KVR Relay version 8.0.627.0 starting", "OpenSSL Initialized (Non-FIPS Mode)",
                             "Running without an agent action-site masthead",
                             "Running without a parent", "KVR Relay received stop request",
                             "KVR Relay shutting down"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("Running without a parent"), log.rfind("Running without a parent"));
}

TEST(RelayProcess, WithoutStoragePathFailsAtStartWithTheReason) {
    RelayProcess relay;
    relay.RemoveStoragePath();
    relay.Start();
    EXPECT_NE(relay.AwaitExit(20s), 0);
    const std::string log = relay.Log();
    EXPECT_NE(log.find("KVR Relay ended on an error: "), std::string::npos) << log;
    EXPECT_NE(log.find("StoragePath"), std::string::npos) << log;
}

TEST(RelayProcess, WithoutAFipsChoiceFailsAtStart) {
    RelayProcess relay;
    relay.SetClientSetting("_KVRClient_Cryptography_FipsMode", "");
    relay.Start();
    EXPECT_NE(relay.AwaitExit(20s), 0);
    EXPECT_NE(relay.Log().find("Unable to initialize OpenSSL. "), std::string::npos) << relay.Log();
}

namespace {

// A listener on the port on every address, as a program that reserves nothing would hold it.
class PortHolder {
  public:
    explicit PortHolder(std::uint16_t port) : m_socket(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        int off = 0;
        ::setsockopt(m_socket, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        m_listening = ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      ::listen(m_socket, 1) == 0;
    }
    ~PortHolder() { ::close(m_socket); }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool IsListening() const { return m_listening; }

  private:
    int m_socket;
    bool m_listening = false;
};

std::string PortInUseLine(std::uint16_t port) {
    return "Unable to start KVR Relay: socket already in use on port " + std::to_string(port) +
           ", attempt 1 of 10, next retry in 30 seconds";
}

}  // namespace

// The port is held by another socket: the relay retries every 30 seconds and a stop request ends
// the wait at once. (AwaitProbe would move the relay to another port; this test keeps it.)
TEST(RelayProcess, PortInUseRetriesAndStopsPromptly) {
    RelayProcess relay;
    PortHolder holder(relay.Port());
    ASSERT_TRUE(holder.IsListening());

    relay.Start();
    EXPECT_TRUE(relay.AwaitLogLine(PortInUseLine(relay.Port()))) << relay.Log();
    const auto stopAsked = std::chrono::steady_clock::now();
    EXPECT_EQ(relay.Stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, 10s);
    EXPECT_NE(relay.Log().find("KVR Relay shutting down"), std::string::npos) << relay.Log();
}

// A port taken by someone who reserved nothing does not fail the test: the harness moves the relay to
// a port of its own, says so, and keeps the first run's log aside.
TEST(RelayProcess, APortTakenAtStartMovesTheRelayToAnother) {
    RelayProcess relay;
    const std::uint16_t taken = relay.Port();
    PortHolder holder(taken);
    ASSERT_TRUE(holder.IsListening());

    CapturedStandardError output;
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    EXPECT_NE(relay.Port(), taken);
    EXPECT_NE(output.Text().find("RelayProcess: port " + std::to_string(taken) +
                                 " already in use at start; restarting the relay on port " +
                                 std::to_string(relay.Port()) + " (restart 1 of 3)"),
              std::string::npos)
        << output.Text();
    EXPECT_EQ(relay.Stop(), 0);
    EXPECT_EQ(relay.Log().find("socket already in use"), std::string::npos) << relay.Log();
    const std::string firstLog = ReadWholeFile(relay.Folder() + "/logfile-port-" + std::to_string(taken) + ".txt");
    EXPECT_NE(firstLog.find(PortInUseLine(taken)), std::string::npos) << firstLog;
}

// The agent moves its action site to a new epoch while the relay runs: the stored action URLs go and
// the relay keeps the new epoch, and it serves throughout.
TEST(RelayProcess, AnAgentEpochChangeResetsTheStoredActions) {
    const std::string agentKey = "HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\GlobalOptions";
    const std::string relayKey = "HKLM\\Software\\Veltra\\KVRRelay\\GlobalOptions";
    RelayProcess relay;
    relay.Import("[" + agentKey + "]\n\"ActionSiteEpoch\"=\"epoch-1\"\n");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    EXPECT_EQ(relay.Read(relayKey, "ActionSiteEpoch"), "epoch-1");

    const std::string actionURLs = relay.Folder() + "/wwwroot/vtmirror/downloads/ActionURLs";
    std::filesystem::create_directories(actionURLs);
    WriteWholeFile(actionURLs + "/dl_12", "http://parent/action-12");
    relay.Import("[" + agentKey + "]\n\"ActionSiteEpoch\"=\"epoch-2\"\n");
    // The request that finds the change may lose its reply: the reset drops the replies in progress.
    relay.Get("/vtmirror/downloads/0");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (relay.Read(relayKey, "ActionSiteEpoch") != "epoch-2" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(relay.Read(relayKey, "ActionSiteEpoch"), "epoch-2");
    EXPECT_TRUE(std::filesystem::is_empty(actionURLs));
    EXPECT_TRUE(relay.Get("/vtmirror/downloads/0").ends_with("\r\n\r\nA"));
    EXPECT_EQ(relay.Stop(), 0);
}

// The CRLs kept across restarts: the list found at start is the list written back at stop, and a
// damaged list ends the start with its error rather than serving without the revocations it held.
TEST(RelayProcess, KeepsItsRevocationListAcrossARun) {
    const std::string crl = ReadTestPKIFile("registrar-old.crl.der");
    ASSERT_LT(crl.size(), 0x10000u);
    const std::string list = std::string{'\xA1', '\x82', static_cast<char>(crl.size() >> 8),
                                         static_cast<char>(crl.size() & 0xFF)} + crl;
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "sound");
        RelayProcess relay;
        const std::string folder = relay.Folder() + "/storage/Mirror Server/RevocationList";
        std::filesystem::create_directories(folder);
        const std::string file = folder + "/RevocationList.pem";
        WriteWholeFile(file, damaged ? list.substr(0, list.size() / 2) : list);
        relay.Start();
        if (damaged) {
            EXPECT_NE(relay.AwaitExit(20s), 0);
            EXPECT_NE(relay.Log().find("KVR Relay ended on an error: "), std::string::npos) << relay.Log();
            continue;
        }
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
        std::filesystem::remove(file);
        EXPECT_EQ(relay.Stop(), 0);
        EXPECT_EQ(ReadWholeFile(file), list);
    }
}

// An endpoint agent on the machine: its action-site masthead, verified under the deployment's root
// from the built-in certificate folder, decides the FIPS mode when the agent's setting leaves it open.
// A masthead that does not verify, or a root the relay cannot read, ends the start with the reason.
TEST(RelayProcess, AnAgentMastheadIsVerifiedAtStart) {
    const std::string mastheads = TestPKIFolder() + "/mastheads";
    struct Case {
        const char* masthead;
        const char* fipsSetting;
        bool rootsReadable;
        const char* expected;  // a log line; empty: the relay serves
    };
    for (const Case& c : {Case{"action.azqm", "", true, ""}, Case{"action.azqm", "none", true, ""},
                          Case{"action-tampered.azqm", "none", true, "KVR Relay ended on an error: "},
                          Case{"action.azqm", "none", false, "masthead-root.pem"}}) {
        SCOPED_TRACE(std::string(c.masthead) + " setting '" + c.fipsSetting + "'");
        RelayProcess relay;
        const std::string agent = relay.Folder() + "/agent";
        std::filesystem::create_directories(agent);
        std::filesystem::copy_file(mastheads + "/" + c.masthead, agent + "/ActionSite.azqm");
        relay.Import("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KVRClient.exe]\n"
                     "\"Path\"=\"" + agent + "\"\n");
        relay.SetClientSetting("_KVRClient_Cryptography_FipsMode", c.fipsSetting);
        relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath",
                               c.rootsReadable ? mastheads + "/roots" : relay.Folder() + "/no-certificates");
        relay.Start();
        if (*c.expected != '\0') {
            EXPECT_NE(relay.AwaitExit(20s), 0);
            EXPECT_NE(relay.Log().find(c.expected), std::string::npos) << relay.Log();
            continue;
        }
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
        EXPECT_EQ(relay.Stop(), 0);
        const std::string log = relay.Log();
        EXPECT_NE(log.find("OpenSSL Initialized (Non-FIPS Mode)"), std::string::npos) << log;
        EXPECT_EQ(log.find("Running without an agent action-site masthead"), std::string::npos) << log;
    }
}

// Notifications through a tree of real relays: the test plays the root and asks the parent relay to
// notify all clients; the parent pings its own clients and forwards to the child relay, which pings
// its clients. The clients are UDP sockets on loopback addresses of their own (127.0.0.10 and up).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "e2e/relay_process.h"
#include "support/client_settings.h"
#include "support/loopback_sockets.h"
#include "support/port_reservation.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
constexpr std::uint32_t kParentID = 100;
constexpr std::uint32_t kChildID = 200;

// A client that handles multi-value pings.
std::string MultiValueListLine(std::uint64_t id, const std::string& address) {
    return RegistrationListLine(id, address, "", false, true);
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string Body(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

class ClientNotificationTest : public ::testing::Test {
  protected:
    // All clients listen on one port, as agents do.
    ClientNotificationTest() : m_firstClient("127.0.0.10", m_clientPort.Port()) {
        for (const char* address : {"127.0.0.11", "127.0.0.12"})
            m_clients.push_back(std::make_unique<UDPReceiver>(address, m_clientPort.Port()));
    }

    // The relay's own computer ID, its clients' UDP port, a short pause between batches and the
    // list it starts with.
    void Prepare(RelayProcess& relay, std::uint32_t ownID, const std::string& list, std::uint16_t childPort = 0) {
        relay.Import("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:" +
                     Hex(std::string{0, 0, static_cast<char>(ownID >> 8), static_cast<char>(ownID)}) + "\n");
        relay.SetClientSetting("_Daruravidu Server_ClientRegister_UDPMessagePort", std::to_string(m_clientPort.Port()));
        relay.SetClientSetting("_Daruravidu Server_ClientRegister_BatchDelay", "50");
        relay.SetClientSetting("_KVRRelay_Log_Verbose", "1");
        if (childPort != 0)
            relay.SetClientSetting("_Daruravidu Server_ClientRegister_PingRequestPort", std::to_string(childPort));
        WriteWholeFile(relay.Folder() + "/registrationlist.txt", list);
        relay.Start();
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    }

    std::string Ask(RelayProcess& relay, const std::string& query) { return Body(relay.Get(kPath + ("?" + query))); }

    PortReservation m_clientPort;
    UDPReceiver m_firstClient;  // 127.0.0.10
    std::vector<std::unique_ptr<UDPReceiver>> m_clients;  // 127.0.0.11, 127.0.0.12
};

// "KVR10", the sequence, the type and the argument, "DONE".
void ExpectPing(const std::string& packet, std::uint32_t type, std::uint32_t argument) {
    ASSERT_EQ(packet.size(), 21u) << Hex(packet);
    EXPECT_EQ(packet.substr(0, 5), "KVR10");
    EXPECT_EQ(Hex(packet.substr(9, 4)), Hex(std::string{0, 0, 0, static_cast<char>(type)}));
    EXPECT_EQ(Hex(packet.substr(13, 4)), Hex(std::string{0, 0, 0, static_cast<char>(argument)}));
    EXPECT_EQ(packet.substr(17), "DONE");
}

std::string BigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// "KVR11", the sequence, the type, the argument, the second argument, "DONE".
void ExpectSitePing(const std::string& packet, std::uint32_t sequence, std::uint32_t type, std::uint32_t argument,
                    std::uint32_t argument2) {
    EXPECT_EQ(Hex(packet), Hex("KVR11" + BigEndian(sequence) + BigEndian(type) + BigEndian(argument) +
                               BigEndian(argument2) + "DONE"));
}

}  // namespace

TEST_F(ClientNotificationTest, ANotificationTravelsDownTheTreeToEveryClient) {
    ASSERT_TRUE(m_firstClient.IsBound() && m_clients[0]->IsBound() && m_clients[1]->IsBound());
    RelayProcess child;
    Prepare(child, kChildID, RegistrationListLine(21, "127.0.0.11"));
    RelayProcess parent;
    Prepare(parent, kParentID,
            RegistrationListLine(11, "127.0.0.10") + RegistrationListLine(13, "127.0.0.12", "10.9.0.0/16", true) + RegistrationListLine(21, "Relay:127.0.0.1"),
            child.Port());

    EXPECT_EQ(Ask(parent, "RequestType=NotifyAllClients&Body=ForceRefresh&Argument=7"), "Success\r\n4\r\n")
        << "the parent's own client, 11, 13 and the child relay";
    ExpectPing(m_firstClient.Receive(5s), 4, 7);
    ExpectPing(m_clients[0]->Receive(5s), 4, 7);
    ExpectPing(m_clients[1]->Receive(5s), 4, 7);
    EXPECT_TRUE(parent.AwaitLogLine("RelayPath=%21100%21&")) << parent.Log();

    std::string commands = Ask(child, "RequestType=FetchCommands&ComputerID=21");
    EXPECT_EQ(commands.substr(0, 28), "x-kvr-command-forcerefresh: ") << commands;
    EXPECT_EQ(commands.substr(commands.size() - 4), " 7\r\n");

    EXPECT_EQ(Ask(parent, "RequestType=NotifyAllClients&Body=Register&RelayPath=%21100%21"),
              "\r\nError: Client notification relay loop detected.\r\n");
    EXPECT_EQ(Ask(child, "RequestType=NotifyAllClients&Body=Register&RelayPath=%21100%21200%21"),
              "\r\nError: Client notification relay loop detected.\r\n");

    // 00:11:22:33:44:55 to wake on 10.9.0.0/16: only 13 may forward it there.
    EXPECT_EQ(Ask(parent, "RequestType=NotifyAllClients&Body=WakeOnLanForward&WOLSubnet=10.9.0.0%2F16&WOLPayload=ABEiM0RV"),
              "Success\r\n1\r\n");
    std::string wake = m_clients[1]->Receive(5s);
    ASSERT_EQ(wake.size(), 146u);
    EXPECT_EQ(wake.substr(0, 5), "KVR12");
    EXPECT_EQ(Hex(wake.substr(13, 5 + 4 + 6)), "0a09000010" "00000001" "001122334455");
    EXPECT_EQ(m_firstClient.Receive(300ms), "");
    EXPECT_EQ(m_clients[0]->Receive(300ms), "");

    EXPECT_EQ(parent.Stop(), 0);
    EXPECT_EQ(child.Stop(), 0);
}

TEST_F(ClientNotificationTest, StoppingWithAForwardInFlightEndsAtOnce) {
    SilentTCPListener silent;
    RelayProcess parent;
    Prepare(parent, kParentID, RegistrationListLine(21, "Relay:127.0.0.1"), silent.Port());
    EXPECT_EQ(Ask(parent, "RequestType=NotifyAllClients&Body=Register"), "Success\r\n2\r\n");
    std::this_thread::sleep_for(200ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(parent.Stop(), 0);
    // Far below the forward's 60-second time-out; the margin is for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << parent.Log();
}

// A site's new version for a client that handles multi-value pings: without Argument1MV it is the
// plain GatherHash (9) with an even sequence number, for the Argument there is a site version, not a
// multi-value one; with Argument1MV, and this relay's own client (ID 100) handling such pings too,
// it is GatherHashMV (16) with the odd number and the multi-value version.
TEST_F(ClientNotificationTest, AMultiValueClientGetsTheMultiValueFormOnlyWithItsArgument) {
    ASSERT_TRUE(m_firstClient.IsBound() && m_clients[0]->IsBound() && m_clients[1]->IsBound());
    RelayProcess relay;
    Prepare(relay, kParentID,
            RegistrationListLine(11, "127.0.0.10") + MultiValueListLine(12, "127.0.0.11") +
                MultiValueListLine(kParentID, "127.0.0.12"));
    const std::uint32_t siteChecksum = 0x5EC0FFEE;
    const std::string site = "&Argument2=" + std::to_string(siteChecksum) + "&PingSequenceNumber=2000";

    EXPECT_EQ(Ask(relay, "RequestType=NotifyAllClients&Body=GatherHash&Argument=11" + site), "Success\r\n4\r\n");
    ExpectSitePing(m_firstClient.Receive(5s), 2000, 9, 11, siteChecksum);
    ExpectSitePing(m_clients[0]->Receive(5s), 2000, 9, 11, siteChecksum);
    ExpectSitePing(m_clients[1]->Receive(5s), 2000, 9, 11, siteChecksum);
    // 127.0.0.12 is also this relay's own item: on a loaded machine its two pings can leave in two
    // batches instead of merged into one, so what is left of the first notification goes first.
    for (UDPReceiver* client : {&m_firstClient, m_clients[0].get(), m_clients[1].get()})
        while (!client->Receive(1s).empty()) {
        }

    EXPECT_EQ(Ask(relay, "RequestType=NotifyAllClients&Body=GatherHash&Argument=11&Argument1MV=12" + site),
              "Success\r\n4\r\n");
    ExpectSitePing(m_firstClient.Receive(5s), 2000, 9, 11, siteChecksum);
    ExpectSitePing(m_clients[0]->Receive(5s), 2001, 16, 12, siteChecksum);
    ExpectSitePing(m_clients[1]->Receive(5s), 2001, 16, 12, siteChecksum);

    EXPECT_EQ(relay.Stop(), 0);
}

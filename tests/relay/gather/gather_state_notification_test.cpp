// The gather state with the relay's real client notification: what it announces goes out through
// NotifyAllClients, whose local action of types 2 and 9 comes back into the gather state.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <thread>

#include "net/socket_system.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_routing.h"
#include "relay/register/registration_list_file.h"

namespace {

constexpr std::uint64_t kOwnID = 5;
constexpr std::uint64_t kClientID = 10;
constexpr std::uint32_t kThisServer = 3;

class GatherNotificationTest : public GatherStateTest {
  protected:
    GatherNotificationTest() {
        EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:0000000" +
                         std::to_string(kOwnID) + "\n\n[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_"
                         "Daruravidu Server_ClientRegister_ThisServerID]\n\"value\"=\"" +
                         std::to_string(kThisServer) + "\"\n");
        ClientRegistrationListItem client;
        client.clientID = kClientID;
        client.address = ParseIPAddress("10.0.0.10");
        client.slot = 1;
        client.regTime = static_cast<std::uint32_t>(std::time(nullptr));
        client.originServer = kThisServer;
        WriteFile(m_folder / "registrationlist.txt", FormatRegistrationListLine(client));
        RegistrationListSettings settings;
        settings.listLocation = FileLocation((m_folder / "registrationlist.txt").c_str());
        settings.replicationServerListLocation = FileLocation((m_folder / "ReplicationServerList.xml").c_str());
        settings.thisServerID = kThisServer;
        settings.reloadOwnComputerID = [] { return kOwnID; };
        m_list = std::make_unique<ClientRegistrationList>(std::move(settings));
    }

    // Computer ID -> the queued pings (type, first argument, multi-value argument).
    std::map<std::uint64_t, std::vector<std::string>> Pings() {
        std::map<std::uint64_t, std::vector<std::string>> pings;
        for (const auto& [address, record] : m_dispatcher.TakeBatch(1000)) {
            for (const QueuedNotification& entry : record.Expand()) {
                const ClientNotification& n = entry.notification;
                pings[*n.computerID].push_back(std::to_string(entry.type) + " " + std::to_string(n.argument.value_or(0)) +
                                               " " + std::to_string(n.argument1MV.value_or(0)));
            }
        }
        return pings;
    }

    std::unique_ptr<ClientRegistrationList> m_list;
    PassingDownloadPings m_downloads;
    NotificationForwarder m_forwarder{m_stop};
    NotificationDispatcher m_dispatcher{[](std::uint64_t id) { return IPAddress(10, 0, 0, static_cast<Byte>(id)); }};
    ClientCommandStore m_commands;
};

// Test labels: GatherNotificationTest tsan

}  // namespace

// The gather state sends with its lock released: the local action of the type 2 it sends takes that
// lock again (a deadlock would hang here).
TEST_F(GatherNotificationTest, ACommittedActionSiteIsAnnouncedOnce) {
    NotificationServices services{m_options, State(), m_downloads, m_forwarder, m_dispatcher, m_commands};
    GatherState::NotificationConnection connection = State().ConnectNotifications(services, m_list.get());

    State().QueueSiteGatherRequest(kActionSite, SiteVersion());
    TakeQueue();
    const ManyVersionList list = ManyVersionFromText("3,0,17");
    State().SuccessfulSiteGather(1, "", 9, list, SiteVersion(), "/w/manymirror_1_9_1");

    const std::string ping = "2 9 " + std::to_string(ManyVersionCRC(list));
    EXPECT_EQ(Pings(), (std::map<std::uint64_t, std::vector<std::string>>{{kOwnID, {ping}}, {kClientID, {ping}}}));
    EXPECT_EQ(Logged("debug", "NotifyClients, "), std::vector<std::string>{"NotifyClients, GatherAction: " + kActionSite});
    // The local action saw the values the gather state already expects.
    EXPECT_EQ(Logged("debug", "NewSiteVersion, Not Queued Because Of VersionCRC match").size(), 1u);
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_TRUE(Logged("critical", "NotifyClients").empty());

    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    State().SuccessfulSiteGather(2, "", 42, {}, SiteVersion(), "/w/daruravidumirror_2_42");
    const std::string hash = "9 42 0";
    EXPECT_EQ(Pings(), (std::map<std::uint64_t, std::vector<std::string>>{{kOwnID, {hash}}, {kClientID, {hash}}}));
}

TEST_F(GatherNotificationTest, ANewActionSiteVersionFromTheParentQueuesAGatherInsteadOfPinging) {
    NotificationServices services{m_options, State(), m_downloads, m_forwarder, m_dispatcher, m_commands};
    GatherState::NotificationConnection connection = State().ConnectNotifications(services, m_list.get());
    State().QueueSiteGatherRequest(kActionSite, SiteVersion());
    TakeQueue();
    State().SuccessfulSiteGather(1, "", 9, ManyVersionFromText("3"), SiteVersion(), "/w/manymirror_1_9_1");
    Pings();

    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    EXPECT_EQ(NotifyAllClients(configuration, *m_list, ClientNotification(2, 10, 77u), 0, "", kThisServer, services), 0u);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kActionSite + " (CRC: 77)"});
    EXPECT_TRUE(Pings().empty());
}

TEST_F(GatherNotificationTest, WithoutAConnectionANotificationIsDropped) {
    {
        NotificationServices services{m_options, State(), m_downloads, m_forwarder, m_dispatcher, m_commands};
        GatherState::NotificationConnection connection = State().ConnectNotifications(services, m_list.get());
    }
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    State().SuccessfulSiteGather(1, "", 42, {}, SiteVersion(), "/w/daruravidumirror_1_42");
    EXPECT_TRUE(Pings().empty());
    EXPECT_EQ(Logged("critical", "NotifyClients: "),
              std::vector<std::string>{"NotifyClients: client notification is not running; notification of type 9 "
                                       "dropped"});
}

// Gathers reporting and announcing, the parent's announcements coming back in, and requests being
// queued and popped, all at once: every call takes the one lock, none waits for another.
TEST_F(GatherNotificationTest, ReportsAnnouncementsAndRequestsRunTogether) {
    NotificationServices services{m_options, State(), m_downloads, m_forwarder, m_dispatcher, m_commands};
    GatherState::NotificationConnection connection = State().ConnectNotifications(services, m_list.get());
    State().QueueSiteGatherRequest(kActionSite, SiteVersion());
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    TakeQueue();
    constexpr std::uint32_t kRounds = 40;
    std::vector<std::thread> threads;
    threads.emplace_back([this] {
        for (std::uint32_t round = 1; round <= kRounds; ++round)
            State().SuccessfulSiteGather(1, "", round, ManyVersionFromRange(std::vector<std::uint32_t>{round}),
                                         SiteVersion(), "/w/manymirror_1");
    });
    threads.emplace_back([this] {
        for (std::uint32_t round = 1; round <= kRounds; ++round) State().NewActionSiteVersion(1000 + round, true);
    });
    threads.emplace_back([this] {
        for (std::uint32_t round = 1; round <= kRounds; ++round) {
            State().QueueSiteGatherRequest(kUpdates, SiteVersion::Integral(round));
            if (std::optional<SiteGatherParams> request = State().PopQueuedRequest())
                State().GatheredSameVersion(request->siteID, request->expectedVersion, "");
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(State().GetCommittedVersion(kActionSite), kRounds);
    EXPECT_FALSE(Pings().empty());
}

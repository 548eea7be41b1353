#include "relay/register/notification_routing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/base64_codec.h"
#include "formats/url_codec.h"
#include "net/socket_system.h"
#include "relay/register/client_notifier.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_packets.h"
#include "relay/register/registration_list_file.h"
#include "relay/service/gather_options_manager.h"
#include "support/client_settings.h"
#include "support/exception_text.h"
#include "support/kvrreg_runner.h"
#include "support/scripted_http_server.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

using namespace NotificationType;

constexpr std::uint64_t kOwnID = 5;
constexpr std::uint32_t kThisServer = 3;
const char* const kPayload = "ABEiM0RV";  // 00:11:22:33:44:55

// Answers what the gather state is told, and records it.
class RecordingGatherState : public GatherStateNotifications {
  public:
    bool NotifyGatherAction(std::uint32_t version, bool multiValue) override {
        calls.push_back("action " + std::to_string(version) + (multiValue ? " mv" : ""));
        return answers.empty() ? true : Next();
    }
    bool NotifyGatherHash(std::uint32_t version, std::uint32_t checksum, bool multiValue) override {
        calls.push_back("hash " + std::to_string(version) + " " + std::to_string(checksum) + (multiValue ? " mv" : ""));
        return answers.empty() ? true : Next();
    }
    std::vector<GatheredSiteVersion> ListSiteVersions() override { return {}; }
    bool Next() {
        bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

    std::vector<std::string> calls;
    std::vector<bool> answers;
};

class RecordingDownloads : public DownloadPingHandler {
  public:
    bool HandleDownloadPing(std::uint32_t actionID, GatherOptionsManager&) override {
        calls.push_back("download " + std::to_string(actionID));
        return true;
    }
    bool HandleDynamicDownloadPing(std::uint32_t checksum, GatherOptionsManager&) override {
        calls.push_back("crc " + std::to_string(checksum));
        return true;
    }
    std::vector<std::string> calls;
};

// The fields of a query, decoded.
std::map<std::string, std::string> QueryOf(const std::string& request) {
    std::size_t start = request.find('?') + 1;
    std::string query = request.substr(start, request.find(' ', start) - start);
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at <= query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(at, end - at);
        std::size_t equals = pair.find('=');
        auto decode = [](std::string text) {
            for (char& c : text)
                if (c == '+') c = ' ';
            return URLDecodeText(ConstData(std::string_view(text)));
        };
        fields[decode(pair.substr(0, equals))] = decode(pair.substr(equals + 1));
        at = end + 1;
    }
    return fields;
}

ClientRegistrationListItem Item(std::uint64_t id, const char* address, std::uint32_t regTime,
                                std::uint32_t originServer = kThisServer) {
    ClientRegistrationListItem item;
    item.clientID = id;
    item.address = ParseIPAddress(address);
    item.slot = static_cast<std::uint32_t>(id);
    item.regTime = regTime;
    item.originServer = originServer;
    return item;
}

class NotificationRoutingTest : public ::testing::Test {
  protected:
    NotificationRoutingTest() {
        EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
        m_relay = std::make_unique<ScriptedHTTPServer>([](const std::string&) {
            return ScriptedHTTPServer::Reply{MakeHTTPReply("Success\r\n2\r\n")};
        });
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:00000005\n\n" +
                         ClientRegisterSetting("ThisServerID", std::to_string(kThisServer)) +
                         ClientRegisterSetting("PingRequestPort", std::to_string(m_relay->Port())));
    }

    // The list of the given items, with the replication server list's XML when given.
    ClientRegistrationList& Load(const std::vector<ClientRegistrationListItem>& items, const std::string& servers = "") {
        std::string lines;
        for (const ClientRegistrationListItem& item : items) lines += FormatRegistrationListLine(item);
        WriteWholeFile(m_folder / "registrationlist.txt", lines);
        if (!servers.empty()) WriteWholeFile(m_folder / "ReplicationServerList.xml", servers);
        RegistrationListSettings settings;
        settings.listLocation = FileLocation((m_folder / "registrationlist.txt").c_str());
        settings.replicationServerListLocation = FileLocation((m_folder / "ReplicationServerList.xml").c_str());
        settings.thisServerID = kThisServer;
        settings.reloadOwnComputerID = [] { return kOwnID; };
        m_list = std::make_unique<ClientRegistrationList>(std::move(settings));
        return *m_list;
    }

    std::uint32_t NotifyAll(const ClientNotification& notification, std::string_view path = "",
                            std::uint32_t destination = kThisServer) {
        ClientRegisterConfiguration configuration(kClientRegisterComponent);
        return NotifyAllClients(configuration, *m_list, notification, 0, path, destination, m_services);
    }
    void NotifyOne(const ClientNotification& notification, std::string_view path = "") {
        ClientRegisterConfiguration configuration(kClientRegisterComponent);
        NotifyClient(configuration, *m_list, notification, path, m_services);
    }

    // computer ID -> the types queued for it, in sending order.
    std::map<std::uint64_t, std::vector<std::uint32_t>> Queued() {
        std::map<std::uint64_t, std::vector<std::uint32_t>> queued;
        for (const auto& [address, record] : m_dispatcher.TakeBatch(1000)) {
            for (const QueuedNotification& entry : record.Expand())
                queued[*entry.notification.computerID].push_back(entry.type);
        }
        return queued;
    }

    std::vector<std::map<std::string, std::string>> Forwards(std::size_t count) {
        m_relay->WaitForClosedConnections(count);
        std::vector<std::map<std::string, std::string>> forwards;
        for (const ScriptedHTTPServer::Exchange& exchange : m_relay->Exchanges())
            forwards.push_back(QueryOf(exchange.request));
        return forwards;
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    std::unique_ptr<ScriptedHTTPServer> m_relay;
    std::unique_ptr<ClientRegistrationList> m_list;
    GatherOptionsManager m_options;
    RecordingGatherState m_gatherState;
    RecordingDownloads m_downloads;
    Event m_stop;
    NotificationForwarder m_forwarder{m_stop};
    // Every listed computer is reached at its own address.
    NotificationDispatcher m_dispatcher{[](std::uint64_t id) { return IPAddress(10, 0, 0, static_cast<Byte>(id)); }};
    ClientCommandStore m_commands;
    NotificationServices m_services{m_options, m_gatherState, m_downloads, m_forwarder, m_dispatcher, m_commands};
};

TEST_F(NotificationRoutingTest, RelayPathGrowsByThisRelayAndRefusesLoopsAndDepth) {
    Load({});
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    EXPECT_EQ(AppendRelayPath("", configuration), "!5!");
    EXPECT_EQ(AppendRelayPath("!7!", configuration), "!7!5!");
    EXPECT_EQ(AppendRelayPath("!15!", configuration), "!15!5!");
    EXPECT_THROW(AppendRelayPath("!7!5!9!", configuration), RelayLoopDetected);
    EXPECT_EQ(ErrorOf([&] { AppendRelayPath("!5!", configuration); }), "Client notification relay loop detected.");
    std::string thirty = "!";
    for (int relay = 100; relay < 130; ++relay) thirty += std::to_string(relay) + "!";
    EXPECT_NO_THROW(AppendRelayPath(thirty, configuration)) << "31 relays";
    EXPECT_THROW(AppendRelayPath(thirty + "130!", configuration), ExceptionPL) << "32 relays";

    ImportWithKvrreg(ClientRegisterSetting("MaxRelayPathLength", "1"));
    EXPECT_EQ(ErrorOf([] { AppendRelayPath("", ClientRegisterConfiguration(kClientRegisterComponent)); }),
              "Client notification relay path too deep.");
}

TEST_F(NotificationRoutingTest, NotifyAllClientsPingsClientsHereAndForwardsOncePerChildRelay) {
    std::uint32_t now = NowInSecondsForTest();
    ClientRegistrationListItem multiValue = Item(11, "10.0.0.11", now);
    multiValue.canHandleMVPings = true;
    ClientRegistrationListItem behindRelay1 = Item(20, "127.0.0.1", now);
    behindRelay1.relayAddress = true;
    ClientRegistrationListItem behindRelay2 = behindRelay1;
    behindRelay2.clientID = 21;
    Load({Item(10, "10.0.0.10", now), multiValue, Item(12, "10.0.0.12", now - 2 * 86'400), Item(13, "10.0.0.13", now, 9),
          behindRelay1, behindRelay2});
    m_commands.Update(kRegister, ClientNotification(kRegister, {}, {}, {}, 12u), 2);

    EXPECT_EQ(NotifyAll(ClientNotification(kGatherAction, 40u, 41u)), 4u) << "own client, 10, 11 and one relay";

    EXPECT_EQ(m_gatherState.calls, (std::vector<std::string>{"action 40", "action 41 mv"}));
    EXPECT_EQ(Queued(), (std::map<std::uint64_t, std::vector<std::uint32_t>>{
                            {5, {kGatherAction}}, {10, {kGatherAction}}, {11, {kGatherAction}}}))
        << "this relay's own client is not listed, so nobody gets the multi-value form";
    EXPECT_EQ(m_commands.Take(12).registerSequence, 0u) << "the expired registration's commands are forgotten";
    std::vector<std::map<std::string, std::string>> forwards = Forwards(1);
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0]["RequestType"], "NotifyAllClients");
    EXPECT_EQ(forwards[0]["Body"], "GatherAction");
    EXPECT_EQ(forwards[0]["Argument"], "40");
    EXPECT_EQ(forwards[0]["Argument1MV"], "41");
    EXPECT_EQ(forwards[0]["RelayPath"], "!5!");
    EXPECT_EQ(forwards[0].count("DestinationServer"), 0u);
}

// What each client is sent, as its packet: a client that handles multi-value pings (11) gets the
// multi-value form, with Argument1MV in the packet, only when the notification carries Argument1MV
// and this relay's own client (5, registered on another server so that only the own-client ping
// reaches it) handles them too; the plain client (10) always gets the plain form. Sequence numbers
// follow the type: 2000 for 2 and 9, 2001 for 13 and 16.
TEST_F(NotificationRoutingTest, TheMultiValueFormGoesOnlyWithItsArgumentAndAnOwnClientThatHandlesIt) {
    struct Case {
        ClientNotification notification;
        bool ownHandlesMV;
        std::uint32_t multiValueType;  // what 5 and 11 get; 10 always gets the plain type
    };
    const Case cases[] = {
        {ClientNotification(kGatherAction, 21u), true, kGatherAction},
        {ClientNotification(kGatherAction, 21u, 31u), true, kGatherActionMV},
        {ClientNotification(kGatherAction, 21u, 31u), false, kGatherAction},
        {ClientNotification(kGatherHash, 11u, {}, 77u), true, kGatherHash},
        {ClientNotification(kGatherHash, 11u, 12u, 77u), true, kGatherHashMV},
        {ClientNotification(kGatherHash, 11u, 12u, 77u), false, kGatherHash},
    };
    // The packet's type, sequence number and argument(s) as a client reads them.
    auto packetFields = [](const QueuedNotification& entry) {
        std::vector<Byte> packet = *BuildNotificationPacket(entry.type, entry.notification, entry.sequence);
        std::vector<std::uint32_t> fields;
        for (std::size_t at = 5; at + 4 < packet.size(); at += 4)
            fields.push_back(std::uint32_t{packet[at]} << 24 | std::uint32_t{packet[at + 1]} << 16 |
                             std::uint32_t{packet[at + 2]} << 8 | packet[at + 3]);
        return fields;
    };
    for (const Case& c : cases) {
        std::uint32_t now = NowInSecondsForTest();
        ClientRegistrationListItem own = Item(kOwnID, "10.0.0.5", now, 9);
        own.canHandleMVPings = c.ownHandlesMV;
        ClientRegistrationListItem multiValue = Item(11, "10.0.0.11", now);
        multiValue.canHandleMVPings = true;
        Load({own, Item(10, "10.0.0.10", now), multiValue});
        ClientRegisterConfiguration configuration(kClientRegisterComponent);
        EXPECT_EQ(NotifyAllClients(configuration, *m_list, c.notification, 2000, "", kThisServer, m_services), 3u);

        const ClientNotification& n = c.notification;
        const bool mv = c.multiValueType != n.type;
        const std::uint32_t mvSequence = mv ? 2001 : 2000;
        const std::uint32_t mvArgument = mv ? *n.argument1MV : *n.argument;
        auto expected = [&](std::uint32_t type, std::uint32_t sequence, std::uint32_t argument) {
            std::vector<std::uint32_t> fields{sequence, type, argument};
            if (n.argument2) fields.push_back(*n.argument2);
            return fields;
        };
        std::map<std::uint64_t, std::vector<std::uint32_t>> sent;
        for (const auto& [address, record] : m_dispatcher.TakeBatch(1000)) {
            for (const QueuedNotification& entry : record.Expand())
                sent[*entry.notification.computerID] = packetFields(entry);
        }
        const std::string what = std::string(NotificationTypeName(n.type)) + (n.argument1MV ? " with" : " without") +
                                 " Argument1MV, own client " + (c.ownHandlesMV ? "multi-value" : "plain");
        EXPECT_EQ(sent, (std::map<std::uint64_t, std::vector<std::uint32_t>>{
                            {kOwnID, expected(c.multiValueType, mvSequence, mvArgument)},
                            {10, expected(n.type, 2000, *n.argument)},
                            {11, expected(c.multiValueType, mvSequence, mvArgument)}}))
            << what;
    }
}

TEST_F(NotificationRoutingTest, ALocalActionThatRefusesStopsTheNotification) {
    Load({Item(10, "10.0.0.10", NowInSecondsForTest())});
    EXPECT_EQ(NotifyAll(ClientNotification(kResendReport, 1u, {}, 2u, 10u)), 0u) << "never broadcast";
    m_gatherState.answers = {false, true};
    EXPECT_EQ(NotifyAll(ClientNotification(kGatherAction, 1u, 2u)), 0u);
    EXPECT_EQ(m_gatherState.calls.size(), 2u) << "both forms are told even after a refusal";
    EXPECT_TRUE(Queued().empty());
}

TEST_F(NotificationRoutingTest, WakeOnLanReachesOnlyForwardersOnItsSubnetAndNeverThisRelaysClient) {
    std::uint32_t now = NowInSecondsForTest();
    auto forwarder = [&](std::uint64_t id, const char* subnet, bool canForward) {
        ClientRegistrationListItem item = Item(id, "10.0.0.1", now);
        item.subnet = ParseIPSubnet(subnet);
        item.canForwardWoL = canForward;
        return item;
    };
    Load({forwarder(30, "192.168.1.0/24", true), forwarder(31, "192.168.1.0/24", false),
          forwarder(32, "192.168.2.0/24", true), Item(33, "10.0.0.33", now)});
    EXPECT_EQ(NotifyAll(ClientNotification(ParseIPSubnet("192.168.1.0/24"), kPayload)), 1u);
    EXPECT_EQ(Queued(), (std::map<std::uint64_t, std::vector<std::uint32_t>>{{30, {kWakeOnLanForward}}}));

    EXPECT_EQ(ErrorOf([&] { NotifyAll(ClientNotification(kWakeOnLanForward)); }),
              "NotifyClients Error: WOL Notification was missing subnet and payload arguments.");
}

TEST_F(NotificationRoutingTest, ANotificationForAnotherServerGoesThroughTheServerThatReachesIt) {
    Load({}, "<ReplicationServerList>"
             "<Server ServerID=\"8\" ServerName=\"127.0.0.1\" ServerPort=\"" + std::to_string(m_relay->Port()) +
             "\" LastUpdateServerID=\"8\"/>"
             "<Server ServerID=\"9\" ServerName=\"far.example\" LastUpdateServerID=\"8\"/>"
             "<Server ServerID=\"10\" ServerName=\"lost.example\" LastUpdateServerID=\"77\"/>"
             "</ReplicationServerList>");
    EXPECT_EQ(NotifyAll(ClientNotification(kRegister), "!2!", 9), 1u);
    EXPECT_TRUE(m_gatherState.calls.empty());
    EXPECT_TRUE(Queued().empty()) << "no local action, no pings";
    std::vector<std::map<std::string, std::string>> forwards = Forwards(1);
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0]["DestinationServer"], "9");
    EXPECT_EQ(forwards[0]["RelayPath"], "!2!5!");

    const std::pair<std::uint32_t, const char*> failures[] = {
        {44, "Attempt to forward ping to unknown server #44."},
        {10, "Attempt to forward ping to server #10 through unknown server #77."},
    };
    for (const auto& [destination, message] : failures) {
        EXPECT_EQ(ErrorOf([&] { NotifyAll(ClientNotification(kRegister), "", destination); }), message);
    }
}

TEST_F(NotificationRoutingTest, NotifyClientQueuesForComputersHereAndForwardsThroughTheirRelay) {
    std::uint32_t now = NowInSecondsForTest();
    ClientRegistrationListItem multiValue = Item(11, "10.0.0.11", now);
    multiValue.canHandleMVPings = true;
    ClientRegistrationListItem behindRelay = Item(20, "127.0.0.1", now);
    behindRelay.relayAddress = true;
    Load({Item(10, "10.0.0.10", now), multiValue, behindRelay, Item(13, "10.0.0.13", now, 9)});

    NotifyOne(ClientNotification(kForceRefresh, 3u, {}, {}, 10u));
    NotifyOne(ClientNotification(kGatherHash, 3u, {}, 4u, 11u));
    NotifyOne(ClientNotification(kRegister, {}, {}, {}, 13u));
    NotifyOne(ClientNotification(kRegister, {}, {}, {}, 99u));
    NotifyOne(ClientNotification(kRegister, {}, {}, {}, 20u), "!1!");
    EXPECT_EQ(Queued(), (std::map<std::uint64_t, std::vector<std::uint32_t>>{{10, {kForceRefresh}},
                                                                              {11, {kGatherHashMV}}}));
    EXPECT_EQ(m_commands.Take(10).refreshArgument, 3u);
    std::vector<std::map<std::string, std::string>> forwards = Forwards(1);
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0]["RequestType"], "NotifyClient");
    EXPECT_EQ(forwards[0]["ComputerID"], "20");
    EXPECT_EQ(forwards[0]["RelayPath"], "!1!5!");

    EXPECT_EQ(ErrorOf([&] { NotifyOne(ClientNotification(kRegister)); }),
              "NotifyClient: NotifySingleClient command must include a computer ID.");
}

TEST_F(NotificationRoutingTest, AnUnlistedComputerIsQueuedOnlyWhenThisServerIsZero) {
    ImportWithKvrreg(ClientRegisterSetting("ThisServerID", "0"));
    Load({});
    NotifyOne(ClientNotification(kRegister, {}, {}, {}, 99u));
    EXPECT_EQ(Queued(), (std::map<std::uint64_t, std::vector<std::uint32_t>>{{99, {kRegister}}}));
    EXPECT_NE(m_commands.Take(99).registerSequence, 0u);
}

struct LocalActionCase {
    const char* what;
    ClientNotification notification;
    bool allClients;
    const char* error;
};

TEST_F(NotificationRoutingTest, LocalActionsRefuseMissingArgumentsBeforeActing) {
    ClientRegistrationList& list = Load({});
    const LocalActionCase cases[] = {
        {"GatherAction", ClientNotification(kGatherAction), true,
         "NotifyClients: GatherAction notification must have an argument value."},
        {"DownloadAvailable", ClientNotification(kDownloadAvailable), true,
         "NotifyClients: DownloadPing notification must have an argument value."},
        {"GatherHash", ClientNotification(kGatherHash, 1u), true,
         "NotifyClients: GatherHash notification must have 2 argument values."},
        {"ResendReport", ClientNotification(kResendReport, 1u, {}, 2u), false,
         "NotifyClients: ResendReport notification must have a computer ID value."},
        {"ResendReport", ClientNotification(kResendReport, 1u, {}, {}, 7u), false,
         "NotifyClients: ResendReport notification must have 2 argument values."},
        {"DownloadCRC", ClientNotification(kDownloadCRC), true,
         "NotifyClients: DownloadCRCPing notification must have an argument value."},
    };
    for (const LocalActionCase& c : cases) {
        EXPECT_EQ(ErrorOf([&] { NotifyClients(c.notification.type, c.notification, c.allClients, list, m_services); }),
                  c.error)
            << c.what;
    }
    EXPECT_TRUE(m_gatherState.calls.empty());
    EXPECT_TRUE(m_downloads.calls.empty());
}

TEST_F(NotificationRoutingTest, TheRelaysNotifierStartsDownloadNotifications) {
    ClientRegistrationList& list = Load({});
    RelayClientNotifier notifier(m_services, &list);
    notifier.NotifyWithNumber(0);
    notifier.NotifyFromData(DigestRecord());
    Byte digest[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    notifier.NotifyFromData(DigestRecord(digest, digest + sizeof digest));
    EXPECT_EQ(m_downloads.calls, (std::vector<std::string>{"download 0", "crc 0", "crc " + std::to_string(0xFC891918u)}));
    EXPECT_EQ(Queued(), (std::map<std::uint64_t, std::vector<std::uint32_t>>{
                            {kOwnID, {kDownloadAvailable, kDownloadCRC, kDownloadCRC}}}));
}

TEST(ForwardedNotificationURLTest, CarriesThePresentFieldsInOrder) {
    ClientNotification full(kGatherHash, 1u, 2u, 3u, 4u);
    EXPECT_EQ(MakeForwardedNotificationURL(full, "NotifyClient", "10.1.2.3", 52311, 6, "!5!", true, 9),
              "http://10.1.2.3:52311/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=NotifyClient&Body=GatherHash"
              "&Argument=1&Argument1MV=2&Argument2=3&ComputerID=4&RelayPath=%215%21&PingSequenceNumber=6"
              "&DestinationServer=9");
    ClientNotification wake(ParseIPSubnet("fd00::/8"), "a+b/=");
    EXPECT_EQ(MakeForwardedNotificationURL(wake, "NotifyAllClients", "fd00::1", 80, 0, "", false, 0),
              "http://[fd00::1]:80/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=NotifyAllClients"
              "&Body=WakeOnLanForward&WOLSubnet=fd00%3a%3a%2f8&WOLPayload=a%2bb%2f%3d&RelayPath=&PingSequenceNumber=0");
    EXPECT_THROW(MakeForwardedNotificationURL(ClientNotification(3), "NotifyClient", "h", 1, 0, "", false, 0),
                 UnknownClientCommand);
}

TEST(NotificationTypeNamesTest, MatchWholeNamesIgnoringCase) {
    EXPECT_EQ(NotificationTypeFromName("gatheraction"), kGatherAction);
    EXPECT_EQ(NotificationTypeFromName("WAKEONLANFORWARD"), kWakeOnLanForward);
    EXPECT_EQ(NotificationTypeFromName("DownloadCRC"), kDownloadCRC);
    EXPECT_THROW(NotificationTypeFromName("GatherActionX"), UnknownClientCommand);
    EXPECT_THROW(NotificationTypeFromName("Gather"), UnknownClientCommand);
    EXPECT_THROW(NotificationTypeFromName(""), UnknownClientCommand);
    EXPECT_STREQ(NotificationTypeName(kForceRefreshMV), "ForceRefreshMV");
    EXPECT_THROW(NotificationTypeName(1), UnknownClientCommand);
}

}  // namespace

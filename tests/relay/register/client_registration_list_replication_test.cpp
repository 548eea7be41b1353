// Replication into the registration list: merging records, and runs against scripted servers on
// loopback that stand in for the deployment's root and other servers.
#include "relay/register/client_registration_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "foundation/event.h"
#include "foundation/log_manager.h"
#include "http/get_stop_functor.h"
#include "net/started_socket_system.h"
#include "relay/register/replication_request.h"
#include "support/captured_log.h"
#include "support/client_settings.h"
#include "support/replication_answers.h"
#include "support/scripted_http_server.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::uint32_t kThisServerID = 7;
constexpr std::uint64_t kMicrosecondsPerSecondUnsigned = 1'000'000;

ReplicationRecord Record(std::uint64_t id, std::uint32_t regSequence, std::uint32_t originServer,
                         std::uint64_t originSequence, std::uint64_t parentID = 0) {
    ReplicationRecord record;
    record.clientID = id;
    record.regSequenceNumber = regSequence;
    record.originServer = originServer;
    record.originSequence = originSequence;
    record.parentID = parentID;
    record.regTime = std::uint64_t{NowInSecondsForTest()} * kMicrosecondsPerSecondUnsigned + 250'000;
    return record;
}

class ClientRegistrationListReplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartedSocketSystem();
        RegistrationListSettings settings;
        settings.listLocation = At("registrationlist.txt");
        settings.replicationServerListLocation = At("ReplicationServerList.xml");
        settings.thisServerID = kThisServerID;
        settings.thisServerSequence = 3;
        m_list = std::make_unique<ClientRegistrationList>(settings);
    }

    FileLocation At(const std::string& name) const { return FileLocation((m_folder / name).c_str()); }
    ClientRegistrationListItem Item(std::uint64_t id) const {
        ClientRegistrationListItem item;
        EXPECT_TRUE(m_list->GetItem(id, item)) << id;
        return item;
    }
    // A server list file of the given server elements, loaded.
    ReplicationServerList Servers(const std::string& elements) {
        WriteWholeFile(m_folder / "servers.xml", "<ReplicationServerList>" + elements + "</ReplicationServerList>");
        ReplicationServerList servers;
        servers.Load(At("servers.xml"));
        return servers;
    }
    static std::string Server(std::uint32_t id, std::uint16_t port, const char* connected = "Yes",
                              std::uint32_t lastUpdateServerID = 0) {
        return "<Server ServerID=\"" + std::to_string(id) + "\" ServerName=\"127.0.0.1\" ServerPort=\"" +
               std::to_string(port) + "\" Connected=\"" + connected + "\" LastUpdateServerID=\"" +
               std::to_string(lastUpdateServerID == 0 ? id : lastUpdateServerID) + "\" />";
    }
    static std::unique_ptr<ScriptedHTTPServer> Answering(const std::string& reply) {
        return std::make_unique<ScriptedHTTPServer>([reply](const std::string&) { return ScriptedHTTPServer::Reply{reply}; });
    }
    void Replicate(const ReplicationServerList& servers) {
        GetStopFunctor never;
        m_list->ReplicateFromServers(never, servers);
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    std::unique_ptr<ClientRegistrationList> m_list;
};

TEST_F(ClientRegistrationListReplicationTest, ARecordForANewComputerBecomesAnItemWithTheNextSlot) {
    ReplicationRecord record = Record(40, 2, 3, 17, 12);
    record.isRelay = true;
    record.subnet = ParseIPSubnet("10.9.0.0/16");
    m_list->ApplyReplicationRecord(record);

    ClientRegistrationListItem item = Item(40);
    EXPECT_EQ(item.slot, 1u);
    EXPECT_EQ(item.regTime, record.regTime / kMicrosecondsPerSecondUnsigned);
    EXPECT_EQ(item.originServer, 3u);
    EXPECT_EQ(item.originSequence, 17u);
    EXPECT_EQ(item.address, IPAddress(0, 0, 0, 0));
    EXPECT_TRUE(item.relayAddress);
    EXPECT_EQ(item.subnet, record.subnet);
    EXPECT_EQ(m_list->CountChildRelays(12), 1u);
    // The record raises its origin's sequence, never this server's own.
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{3, 17}}));

    m_list->ApplyReplicationRecord(Record(41, 1, 3, 5));
    EXPECT_EQ(Item(41).slot, 2u);
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{3, 17}}));

    // Written like every other item, and read back without complaint.
    m_list->WriteNow();
    m_list.reset();
    RegistrationListSettings settings;
    settings.listLocation = At("registrationlist.txt");
    settings.thisServerID = kThisServerID;
    ClientRegistrationList reloaded(settings);
    ClientRegistrationListItem again;
    ASSERT_TRUE(reloaded.GetItem(40, again));
    EXPECT_EQ(again, item);
}

TEST_F(ClientRegistrationListReplicationTest, OnlyAHigherRegSequenceNumberReplacesAListedComputer) {
    m_list->ApplyReplicationRecord(Record(40, 5, 3, 10, 12));
    m_list->MarkPendingNotification(40, 70, 80);
    ClientRegistrationListItem before = Item(40);

    // Equal: only the server-sequence map moves.
    m_list->ApplyReplicationRecord(Record(40, 5, 4, 99, 13));
    EXPECT_EQ(Item(40), before);
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{3, 10}, {4, 99}}));
    // Lower: the same; a lower origin sequence lowers nothing.
    m_list->ApplyReplicationRecord(Record(40, 4, 3, 2, 13));
    EXPECT_EQ(Item(40), before);
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{3, 10}, {4, 99}}));

    // Higher: the record's fields, the pending notification state kept, the tree follows.
    m_list->ApplyReplicationRecord(Record(40, 6, 4, 100, 13));
    ClientRegistrationListItem after = Item(40);
    EXPECT_EQ(after.regSequenceNumber, 6u);
    EXPECT_EQ(after.parentID, 13u);
    EXPECT_EQ(after.originSequence, 100u);
    EXPECT_EQ(after.slot, before.slot);
    EXPECT_TRUE(after.resendPending);
    EXPECT_EQ(after.updateSequence, 70u);
    EXPECT_EQ(after.resendMaximum, 80u);
    EXPECT_EQ(m_list->CountChildren(12), 0u);
    EXPECT_EQ(m_list->CountChildren(13), 1u);
}

TEST_F(ClientRegistrationListReplicationTest, ARecordForComputerZeroOnlyRaisesTheSequence) {
    m_list->ApplyReplicationRecord(Record(0, 1, 3, 10));
    ClientRegistrationListItem item;
    EXPECT_FALSE(m_list->GetItem(0, item));
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{3, 10}}));
}

TEST_F(ClientRegistrationListReplicationTest, OnlyConnectedServersReachedDirectlyAndNotThisOneAreAsked) {
    struct Case {
        const char* name;
        const char* connected;
        std::uint32_t serverID;
        std::uint32_t lastUpdateServerID;  // 0: the server's own ID
        bool asked;
    };
    const Case cases[] = {
        {"connected", "Yes", 20, 0, true},
        {"connected in lower case", "yes", 21, 0, true},
        {"not connected", "No", 22, 0, false},
        {"connected written as 1", "1", 23, 0, false},
        {"this server", "Yes", kThisServerID, 0, false},
        {"reached through another server", "Yes", 24, 20, false},
    };
    std::vector<std::unique_ptr<ScriptedHTTPServer>> stands;
    std::string elements;
    for (const Case& c : cases) {
        stands.push_back(Answering(ReplicationAnswer(ReplicationRecordElement(100 + c.serverID, 1, c.serverID, 1))));
        elements += Server(c.serverID, stands.back()->Port(), c.connected, c.lastUpdateServerID);
    }
    Replicate(Servers(elements));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(stands[i]->AcceptedConnections(), cases[i].asked ? 1u : 0u) << cases[i].name;
        ClientRegistrationListItem item;
        EXPECT_EQ(m_list->GetItem(100 + cases[i].serverID, item), cases[i].asked) << cases[i].name;
    }
}

TEST_F(ClientRegistrationListReplicationTest, EachServerIsSentWhatTheListKnowsAtItsTurn) {
    m_list->ApplyReplicationRecord(Record(40, 1, 3, 10));
    auto first = Answering(ReplicationAnswer(ReplicationRecordElement(50, 1, 30, 8) + ReplicationRecordElement(51, 1, 3, 12)));
    auto second = Answering(ReplicationAnswer(""));
    Replicate(Servers(Server(30, first->Port()) + Server(31, second->Port())));

    auto body = [](const ScriptedHTTPServer& server) {
        std::string request = server.Exchanges().at(0).request;
        return request.substr(request.find("<ServerSequenceList>"));
    };
    EXPECT_EQ(body(*first),
              "<ServerSequenceList>\r\n\t<ServerSequence ServerID=\"3\" SequenceNumber=\"10\"></ServerSequence>\r\n"
              "</ServerSequenceList>");
    EXPECT_EQ(body(*second),
              "<ServerSequenceList>\r\n\t<ServerSequence ServerID=\"3\" SequenceNumber=\"12\"></ServerSequence>\r\n"
              "\t<ServerSequence ServerID=\"30\" SequenceNumber=\"8\"></ServerSequence>\r\n</ServerSequenceList>");
    EXPECT_EQ(Item(50).originServer, 30u);
    EXPECT_EQ(Item(51).originSequence, 12u);
}

TEST_F(ClientRegistrationListReplicationTest, AFailedServerIsLoggedAndAddsNothingWhileTheOthersAreAsked) {
    const std::uint16_t unreachable = ClosedLoopbackPort();
    auto rejected = Answering(ReplicationAnswer(ReplicationRecordElement(60, 1, 40, 1) +
                                     "<ReplicationRecord ClientID=\"61\" ParentID=\"0\" RegTime=\"Fri, 11 Dec 2026 "
                                     "01:00:00 +0000\" RegSequenceNumber=\"1\" OriginServer=\"40\" />"));
    auto refusing = Answering(MakeHTTPReply("", "", "HTTP/1.0 404 Not Found"));
    auto good = Answering(ReplicationAnswer(ReplicationRecordElement(62, 1, 43, 1)));

    CapturedLog log;
    Replicate(Servers(Server(40, rejected->Port()) + Server(41, unreachable) + Server(42, refusing->Port()) +
                      Server(43, good->Port())));
    EXPECT_EQ(log.LinesStartingWith("critical: Replication from server"),
              (std::vector<std::string>{
                  "critical: Replication from server 40 (127.0.0.1:" + std::to_string(rejected->Port()) +
                      ") failed: Invalid ReplicationRecords File: attribute \"OriginSequence\" missing",
                  "critical: Replication from server 41 (127.0.0.1:" + std::to_string(unreachable) +
                      ") failed: ReplicationRequest: Unable to initiate POST operation (-8)",
                  "critical: Replication from server 42 (127.0.0.1:" + std::to_string(refusing->Port()) +
                      ") failed: ReplicationRequest: Server returned status code 404.",
              }));
    ClientRegistrationListItem item;
    EXPECT_FALSE(m_list->GetItem(60, item));  // the whole answer was rejected
    EXPECT_EQ(m_list->CopyServerSequences(), (ServerSequenceMap{{43, 1}}));
    EXPECT_TRUE(m_list->GetItem(62, item));
}

TEST_F(ClientRegistrationListReplicationTest, ASecondRunDuringARunAsksNoServer) {
    std::promise<void> asked;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool first = true;
    ScriptedHTTPServer slow([&, released](const std::string&) {
        if (std::exchange(first, false)) {
            asked.set_value();
            released.wait();
        }
        return ScriptedHTTPServer::Reply{ReplicationAnswer(ReplicationRecordElement(70, 1, 50, 1))};
    });
    ReplicationServerList servers = Servers(Server(50, slow.Port()));

    std::thread running([&] { Replicate(servers); });
    asked.get_future().wait();
    Replicate(servers);  // returns at once: the first run is still waiting for its answer
    release.set_value();
    running.join();
    EXPECT_EQ(slow.AcceptedConnections(), 1u);

    Replicate(servers);  // the run is over: the next one asks again
    EXPECT_EQ(slow.AcceptedConnections(), 2u);
}

TEST_F(ClientRegistrationListReplicationTest, AStopEndsTheRunWithoutLoggingFailures) {
    auto stand = Answering(ReplicationAnswer(ReplicationRecordElement(80, 1, 60, 1)));
    Event stopped;
    stopped.Set();
    EventStopFunctor stop(stopped);
    CapturedLog log;
    m_list->ReplicateFromServers(stop, Servers(Server(60, stand->Port())));
    EXPECT_EQ(stand->AcceptedConnections(), 0u);
    EXPECT_TRUE(log.LinesStartingWith("critical:").empty());
}

}  // namespace

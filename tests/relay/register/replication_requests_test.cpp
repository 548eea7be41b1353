// Replicate and TriggerReplicate through the client-register plug-in's dispatch, against scripted
// servers on loopback.
#include "relay/register/replication_requests.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/whole_file.h"
#include "net/started_socket_system.h"
#include "relay/register/registration_request.h"
#include "relay/register/registration_test_support.h"
#include "support/captured_log.h"
#include "support/replication_answers.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
const std::string kInstalledList =
    "<ReplicationServerList><Server ServerID=\"3\" ServerName=\"root.invalid\" Connected=\"No\" />"
    "</ReplicationServerList>";

std::string ErrorBody(const std::string& text) { return "\r\nError: " + text + "\r\n"; }

std::string Server(std::uint32_t id, std::uint16_t port) {
    return "<Server ServerID=\"" + std::to_string(id) + "\" ServerURL=\"http://127.0.0.1:" + std::to_string(port) +
           "\" Connected=\"Yes\" LastUpdateServerID=\"" + std::to_string(id) + "\" />";
}

class ReplicationRequestsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartedSocketSystem();
        // A list installed before, which a bad post must leave in place.
        WriteWholeFile(m_folder / "installed.xml", kInstalledList);
        m_requests.List().InstallReplicationServerList(FileLocation((m_folder / "installed.xml").c_str()));
    }

    std::string Post(const std::string& requestType, const std::string& body) {
        return WithoutDate(m_requests.Serve(std::string(kPath) + "?RequestType=" + requestType, "POST", body));
    }
    std::string InstalledFile() {
        ReplicationServerList servers;
        m_requests.List().GetReplicationServerList(servers);
        return ReadFileText(servers.GetLocation());
    }
    std::set<std::uint32_t> InstalledServers() {
        ReplicationServerList servers;
        m_requests.List().GetReplicationServerList(servers);
        return servers.GetServerIDs();
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    DispatchedRequests m_requests;
};

TEST_F(ReplicationRequestsTest, ReplicateIsRefusedByARelay) {
    EXPECT_EQ(Post("Replicate", "<ServerSequenceList></ServerSequenceList>"),
              PlainTextReply(ErrorBody("Only root servers will provide client registration replication data.")));
}

TEST_F(ReplicationRequestsTest, AListThatCannotBeInstalledIsReportedAndChangesNothing) {
    ScriptedHTTPServer stand([](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("<L></L>")}; });
    const std::pair<std::string, std::string> cases[] = {
        {"<L>" + Server(20, stand.Port()), "Invalid ReplicationServerList File: parsing error\n"},
        {"<L>" + Server(20, stand.Port()) + Server(20, stand.Port()) + "</L>",
         "Invalid ReplicationServerList File: duplicate server id\n"},
        {"<L>" + Server(20, stand.Port()) + "<Server ServerID=\"x\" ServerName=\"a\" /></L>", "class NotANumeral"},
        {"<L>" + Server(20, stand.Port()) + "<Server ServerID=\"21\" /></L>",
         "No serverURL, nor ServerName, specified in ReplicationServerList XML"},
    };
    for (const auto& [posted, error] : cases) {
        EXPECT_EQ(Post("TriggerReplicate", posted), PlainTextReply(ErrorBody(error))) << posted;
        EXPECT_EQ(InstalledFile(), kInstalledList);
        EXPECT_EQ(InstalledServers(), std::set<std::uint32_t>{3});
    }
    EXPECT_EQ(stand.AcceptedConnections(), 0u);
}

TEST_F(ReplicationRequestsTest, AnUnreachableServerIsLoggedAndTheOthersAreStillAsked) {
    const std::uint16_t unreachable = ClosedLoopbackPort();
    ScriptedHTTPServer root(
        [](const std::string&) { return ScriptedHTTPServer::Reply{ReplicationAnswer(ReplicationRecordElement(77, 1, 31, 9))}; });
    const std::string posted = "<L>" + Server(30, unreachable) + Server(31, root.Port()) + "</L>";

    CapturedLog log;
    EXPECT_EQ(Post("TriggerReplicate", posted), PlainTextReply(""));
    EXPECT_EQ(log.LinesStartingWith("critical:"),
              std::vector<std::string>{"critical: Replication from server 30 (127.0.0.1:" + std::to_string(unreachable) +
                                       ") failed: ReplicationRequest: Unable to initiate POST operation (-8)"});
    EXPECT_EQ(root.AcceptedConnections(), 1u);
    EXPECT_EQ(m_requests.Item(77).originSequence, 9u);
    EXPECT_EQ(InstalledFile(), posted);
    // The new servers were known with sequence 0 before the first one was asked.
    EXPECT_NE(root.Exchanges().at(0).request.find("<ServerSequence ServerID=\"30\" SequenceNumber=\"0\">"),
              std::string::npos);
}

}  // namespace

// The Replicate exchange against a scripted server on loopback.
#include "relay/register/replication_request.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/data_stages.h"
#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "net/started_socket_system.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

namespace {

const std::string kRecord =
    "<ReplicationRecord ClientID=\"21\" ParentID=\"0\" RegTime=\"Fri, 11 Dec 2026 01:00:00 +0000\" "
    "RegSequenceNumber=\"5\" OriginServer=\"3\" OriginSequence=\"40\" IsRelay=\"1\" />";

std::string Body(const std::string& request) { return request.substr(request.find("\r\n\r\n") + 4); }

class ReplicationRequestTest : public ::testing::Test {
  protected:
    void SetUp() override { StartedSocketSystem(); }

    // Runs the request against a server that answers every request with `reply`.
    ListPL<ReplicationRecord> Ask(const std::string& reply, const ServerSequenceMap& sequences = {}) {
        m_server = std::make_unique<ScriptedHTTPServer>(
            [reply](const std::string&) { return ScriptedHTTPServer::Reply{reply}; });
        ListPL<ReplicationRecord> records;
        GetStopFunctor never;
        ReplicationRequest(never, "127.0.0.1", m_server->Port(), sequences, records);
        return records;
    }
    std::string ErrorOf(const std::string& reply) {
        try {
            Ask(reply);
        } catch (const ExceptionPL& error) {
            return error.what();
        }
        return "no error";
    }

    TemporaryRegistry m_registry;
    std::unique_ptr<ScriptedHTTPServer> m_server;
};

TEST(ServerSequenceListTest, OneElementPerServerInAscendingOrder) {
    std::string written;
    StringReceiver out(written);
    WriteServerSequenceList({{9, 18446744073709551615u}, {2, 0}}, out);
    EXPECT_EQ(written,
              "<?xml version=\"1.0\"?>\r\n"
              "<ServerSequenceList>\r\n"
              "\t<ServerSequence ServerID=\"2\" SequenceNumber=\"0\"></ServerSequence>\r\n"
              "\t<ServerSequence ServerID=\"9\" SequenceNumber=\"18446744073709551615\"></ServerSequence>\r\n"
              "</ServerSequenceList>");

    std::string empty;
    StringReceiver emptyOut(empty);
    WriteServerSequenceList({}, emptyOut);
    EXPECT_EQ(empty, "<?xml version=\"1.0\"?>\r\n<ServerSequenceList></ServerSequenceList>");
}

TEST(ServerSequenceListTest, TheURLNamesTheServerAndTheRequestType) {
    EXPECT_EQ(ReplicationRequestURL("root.example", 52311),
              "http://root.example:52311/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=Replicate");
    EXPECT_EQ(ReplicationRequestURL("[::1]", 80), "http://[::1]:80/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=Replicate");
    EXPECT_EQ(ReplicationRequestURL("fe80::2", 8080),
              "http://[fe80::2]:8080/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=Replicate");
}

TEST_F(ReplicationRequestTest, PostsTheSequencesAndReadsTheRecordsOfTheAnswer) {
    ListPL<ReplicationRecord> records =
        Ask(MakeHTTPReply("<?xml version=\"1.0\"?><ReplicationRecordList>" + kRecord + kRecord +
                          "</ReplicationRecordList>"),
            {{3, 39}, {7, 2}});
    ASSERT_EQ(records.Count(), 2u);
    EXPECT_EQ(records.begin()->clientID, 21u);
    EXPECT_TRUE(records.begin()->isRelay);

    ASSERT_EQ(m_server->Exchanges().size(), 1u);
    const std::string request = m_server->Exchanges()[0].request;
    EXPECT_EQ(request.rfind("POST /cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=Replicate HTTP/1.0\r\n", 0), 0u)
        << request;
    EXPECT_EQ(Body(request),
              "<?xml version=\"1.0\"?>\r\n<ServerSequenceList>\r\n"
              "\t<ServerSequence ServerID=\"3\" SequenceNumber=\"39\"></ServerSequence>\r\n"
              "\t<ServerSequence ServerID=\"7\" SequenceNumber=\"2\"></ServerSequence>\r\n"
              "</ServerSequenceList>");
}

TEST_F(ReplicationRequestTest, FailuresOfTheExchangeAndOfTheAnswerAreReported) {
    const std::pair<std::string, std::string> cases[] = {
        {MakeHTTPReply("<L>" + kRecord + "</L>", "", "HTTP/1.0 500 Internal Error"),
         "ReplicationRequest: Server returned status code 500."},
        {MakeHTTPReply("<L>" + kRecord), "Invalid ReplicationRecords File: parsing error\n"},
        {MakeHTTPReply("<L><R ClientID=\"1\" /></L>"),
         "Invalid ReplicationRecords File: attribute \"ParentID\" missing\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n<L>", "ReplicationRequest: Unable to initiate POST operation (-10)"},
    };
    for (const auto& [reply, error] : cases) EXPECT_EQ(ErrorOf(reply), error) << reply;
    EXPECT_TRUE(Ask(MakeHTTPReply("<ReplicationRecordList></ReplicationRecordList>")).IsEmpty());
}

TEST_F(ReplicationRequestTest, AServerThatCannotBeReachedIsAnError) {
    const std::uint16_t port = ClosedLoopbackPort();
    ListPL<ReplicationRecord> records;
    GetStopFunctor never;
    try {
        ReplicationRequest(never, "127.0.0.1", port, {}, records);
        ADD_FAILURE() << "no error";
    } catch (const ExceptionPL& error) {
        EXPECT_EQ(std::string(error.what()), "ReplicationRequest: Unable to initiate POST operation (-8)");
    }
    EXPECT_TRUE(records.IsEmpty());
}

}  // namespace

// The client-register plug-in of a running relay, asked with curl as clients and child relays ask.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/relay_process.h"
#include "support/client_settings.h"
#include "support/program_runner.h"
#include "support/replication_answers.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
const std::string kVersionLine = "x-veltra-clientregister-version: 8.0.627.0\r\n";

std::string ListLine(std::uint64_t id, std::uint32_t regTime) {
    return std::to_string(id) + "\t10.0.0." + std::to_string(id) + "\t" + std::to_string(id) + "\t" +
           std::to_string(regTime) + "\n";
}

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string SequenceBody(std::uint32_t count, const std::string& records) {
    return "KVRSequenceUpdate 1.0" + BigEndian32(count) + records;
}

std::string Reply(const std::string& body, const std::string& headerLines = "") {
    return "HTTP/1.1 200 OK\r\nDate: <date>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + headerLines +
           "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nx-veltra-itclient-status: 1\r\n\r\n" + body;
}

std::string ErrorReply(const std::string& text) { return Reply("\r\nError: " + text + "\r\n"); }

std::string WithoutDate(const std::string& reply) {
    static const std::regex date("Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT\r\n");
    return std::regex_replace(reply, date, "Date: <date>\r\n", std::regex_constants::format_first_only);
}

// Field `index` (from 0) of the list line of the computer, empty when the file has no such line.
std::string ListField(const std::string& file, std::uint64_t id, std::size_t index) {
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (!fields.empty() && fields[0] == std::to_string(id) && index < fields.size()) return fields[index];
    }
    return "";
}

class ClientRegisterTest : public ::testing::Test {
  protected:
    void StartWithList(const std::string& lines) {
        WriteWholeFile(ListPath(), lines);
        m_relay.Start();
        ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }
    std::string ListPath() const { return m_relay.Folder() + "/registrationlist.txt"; }

    // The whole reply to curl --http1.0 (the server never answers 100-continue), its Date replaced;
    // a body makes the request a POST.
    std::string Curl(const std::string& method, const std::string& query, const std::string& body = "") {
        std::vector<std::string> arguments = {"-s", "-i", "--http1.0", "-X", method};
        if (method == "POST") {
            WriteWholeFile(m_relay.Folder() + "/body.bin", body);
            arguments.insert(arguments.end(), {"--data-binary", "@" + m_relay.Folder() + "/body.bin"});
        }
        arguments.push_back("http://127.0.0.1:" + std::to_string(m_relay.Port()) + kPath + query);
        const ProgramRun curl = RunProgram("curl", arguments);
        EXPECT_EQ(curl.exitStatus, 0) << query << ": " << curl.err;
        return WithoutDate(curl.out);
    }

    // Waits up to five seconds for the list file to hold the value in the computer's field.
    bool AwaitListField(std::uint64_t id, std::size_t index, const std::string& value) const {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (ListField(ReadWholeFile(ListPath()), id, index) != value) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    RelayProcess m_relay;
};

constexpr std::size_t kUpdateSequenceField = 6;
constexpr std::size_t kOriginServerField = 9;

}  // namespace

TEST_F(ClientRegisterTest, RequestTypesAnswerWithTheirExactReplies) {
    m_relay.Import("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerId\"=dword:0000002a\n");
    StartWithList(ListLine(5, NowInSecondsForTest() - 259'100) + ListLine(6, NowInSecondsForTest() - 259'200));

    auto descendant = [](const std::string& answer) {
        return Reply("Success\r\n" + answer + "\r\n",
                     "x-veltra-itclient-isdescendant-result: " + answer + "\r\n" + kVersionLine);
    };
    const struct {
        std::string method;
        std::string query;
        std::string body;
        std::string reply;
    } cases[] = {
        {"GET", "", "", ErrorReply("no query parameters specified -- unknown request type")},
        {"GET", "?RequestType=Nonsense", "", ErrorReply("unknown request type")},
        {"POST", "?RequestType=Nonsense", "x", ErrorReply("this request type only accepts GET operations")},
        {"GET", "?RequestType=Replicate", "", ErrorReply("this request type only accepts POST operations")},
        {"POST", "?RequestType=Replicate", "<ServerSequenceList></ServerSequenceList>",
         ErrorReply("Only root servers will provide client registration replication data.")},
        {"GET", "?RequestType=RegisterMe&ComputerID=5", "", ErrorReply("no parent relay configured")},
        {"GET", "?RequestType=GetComputerID", "",
         Reply("Success\r\n42\r\n", "x-veltra-itclient-getcomputerid-result: 42\r\n" + kVersionLine)},
        {"GET", "?RequestType=IsDescendant&ComputerID=5", "", descendant("true")},
        {"GET", "?RequestType=IsDescendant&ComputerID=6", "", descendant("false")},
        {"GET", "?RequestType=IsDescendant&ComputerID=7", "", descendant("false")},
        {"GET", "?RequestType=IsDescendant&ComputerID=6&ComputerID=5", "", descendant("true")},
        {"POST", "?RequestType=UpdateSequenceNumbers", SequenceBody(0, ""),
         Reply("Sequence number update successful.")},
        {"POST", "?RequestType=UpdateSequenceNumbers", "KVRSequenceUpdate 1.0",
         ErrorReply("class NoMoreData")},
    };
    for (const auto& c : cases) EXPECT_EQ(Curl(c.method, c.query, c.body), c.reply) << c.method << " " << c.query;
}

// The first request writes the list; within RegistrationListWritePeriod (300 s) no later one does,
// though the list in memory goes on changing.
TEST_F(ClientRegisterTest, TheListIsWrittenByTheFirstRequestThenOncePerPeriod) {
    StartWithList(ListLine(5, NowInSecondsForTest()));
    const std::string update = "?RequestType=UpdateSequenceNumbers";
    EXPECT_EQ(Curl("POST", update, SequenceBody(1, BigEndian32(5) + BigEndian32(7))),
              Reply("Sequence number update successful."));
    EXPECT_TRUE(AwaitListField(5, kUpdateSequenceField, "7")) << ReadWholeFile(ListPath());

    EXPECT_EQ(Curl("POST", update, SequenceBody(1, BigEndian32(5) + BigEndian32(8))),
              Reply("Sequence number update successful."));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ListField(ReadWholeFile(ListPath()), 5, kUpdateSequenceField), "7");
}

// The list cannot be written where it is configured: the request still gets its one reply.
TEST_F(ClientRegisterTest, AFailedListWriteAfterTheReplyAddsNoSecondReply) {
    m_relay.Import("[HKLM\\Software\\Veltra\\Daruravidu Server\\ClientRegister]\n\"RegistrationList Location\"=\"" +
                   m_relay.Folder() + "/missing/registrationlist.txt\"\n");
    m_relay.Start();
    ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    const std::string reply = WithoutDate(m_relay.Get(std::string(kPath) + "?RequestType=Nonsense"));
    EXPECT_EQ(reply, ErrorReply("unknown request type"));
}

// The list's folder is gone by the stop (as when a disk is taken away), so the last write fails:
// the log still runs at that point and keeps the failure at "critical", the one category it takes
// without "Verbose". A read-only folder would not stop a relay running as root.
TEST_F(ClientRegisterTest, AListWriteThatFailsAtShutdownIsLogged) {
    const std::string folder = m_relay.Folder() + "/lists";
    std::filesystem::create_directory(folder);
    WriteWholeFile(folder + "/registrationlist.txt", ListLine(5, NowInSecondsForTest()));
    m_relay.Import("[HKLM\\Software\\Veltra\\Daruravidu Server\\ClientRegister]\n\"RegistrationList Location\"=\"" +
                   folder + "/registrationlist.txt\"\n");
    m_relay.Start();
    ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    std::filesystem::remove_all(folder);
    EXPECT_EQ(m_relay.Stop(), 0);
    EXPECT_NE(m_relay.Log().find("Registration list write at shutdown failed: Client Registration List not available "
                                 "at expected location."),
              std::string::npos)
        << m_relay.Log();
}

// A posted server list is installed and its servers asked; one that cannot be reached is logged and
// the next one still gives its records. A list that does not read is refused and changes nothing.
TEST_F(ClientRegisterTest, TriggerReplicateInstallsTheListAndMergesWhatItsServersAnswer) {
    StartWithList("");
    const std::uint16_t unreachable = ClosedLoopbackPort();
    ScriptedHTTPServer root(
        [](const std::string&) { return ScriptedHTTPServer::Reply{ReplicationAnswer(ReplicationRecordElement(77, 1, 31, 9))}; });
    auto server = [](std::uint32_t id, std::uint16_t port) {
        return "<Server ServerID=\"" + std::to_string(id) + "\" ServerName=\"127.0.0.1\" ServerPort=\"" +
               std::to_string(port) + "\" Connected=\"Yes\" LastUpdateServerID=\"" + std::to_string(id) + "\" />";
    };
    const std::string posted = "<ReplicationServerList>" + server(30, unreachable) + server(31, root.Port()) +
                               "</ReplicationServerList>";

    EXPECT_EQ(Curl("POST", "?RequestType=TriggerReplicate", posted), Reply(""));
    EXPECT_EQ(root.AcceptedConnections(), 1u);
    EXPECT_TRUE(m_relay.AwaitLogLine("Replication from server 30 (127.0.0.1:" + std::to_string(unreachable) +
                                     ") failed: ReplicationRequest: Unable to initiate POST operation (-8)",
                                     5s))
        << m_relay.Log();
    EXPECT_TRUE(AwaitListField(77, kOriginServerField, "31")) << ReadWholeFile(ListPath());
    const std::string installed = m_relay.Folder() + "/ReplicationServerList.xml";
    EXPECT_EQ(ReadWholeFile(installed), posted);

    EXPECT_EQ(Curl("POST", "?RequestType=TriggerReplicate", "<ReplicationServerList>" + server(32, root.Port())),
              ErrorReply("Invalid ReplicationServerList File: parsing error\n"));
    EXPECT_EQ(ReadWholeFile(installed), posted);
    EXPECT_EQ(root.AcceptedConnections(), 1u);
}

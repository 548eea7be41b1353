// Registrations through a tree of real relays: a client (curl from 127.0.0.10, not a loopback
// client) registers with the child relay, which forwards to the parent relay, which forwards to the
// root. The root is played by a scripted server that answers RegisterMe and keeps every request.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "e2e/relay_process.h"
#include "support/program_runner.h"
#include "support/python_origin.h"
#include "support/temporary_registry.h"
#include "support/scripted_http_server.h"
#include "support/test_pki.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
constexpr const char* kClientAddress = "127.0.0.10";
constexpr std::uint32_t kParentID = 100;
constexpr std::uint32_t kChildID = 200;
constexpr std::uint32_t kChildUDPPort = 47001;
const std::string kAdapter = "00-1a-2b-3c-4d-5e_127.0.0.0/8_127.0.0.10_1";

std::string Body(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string ComputerIDSetting(std::uint32_t id) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", id);
    return "[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:" + std::string(hex) + "\n";
}

// The root's answer to RegisterMe: computer ID 4711, slot 3, its own UDP port and version 9.2.0.0.
ScriptedHTTPServer::Reply RootAnswer(const std::string&) {
    return {MakeHTTPReply("Success\r\n4711\r\n3\r\n52311\r\n9.2.0.0\r\n0\r\n0\r\n0\r\n",
                          "x-veltra-itclient-computerid: 4711,3,52311,0,0,0\r\n")};
}

class RegistrationForwardingTest : public ::testing::Test {
  protected:
    void StartRelay(RelayProcess& relay, std::uint32_t ownID, const std::string& parentURL,
                    std::uint32_t udpPort = 52311) {
        relay.Import(ComputerIDSetting(ownID));
        if (!parentURL.empty()) relay.SetClientSetting("_Daruravidu Server_ClientRegister_ParentRelayURL", parentURL);
        relay.SetClientSetting("_Daruravidu Server_ClientRegister_UDPMessagePort", std::to_string(udpPort));
        relay.Start();
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    }

    // curl from the client's own loopback address.
    std::string Register(const RelayProcess& relay, const std::string& query) {
        const ProgramRun curl = RunProgram(
            "curl", {"-s", "-i", "--http1.0", "--max-time", "30", "--interface", kClientAddress,
                     "http://127.0.0.1:" + std::to_string(relay.Port()) + kPath + "?" + query});
        EXPECT_EQ(curl.exitStatus, 0) << curl.err;
        return curl.out;
    }

    static std::string URLOf(std::uint16_t port) {
        return "http://127.0.0.1:" + std::to_string(port) + "/cgi-bin/vtdaruravidu/clientregister.exe";
    }
};

}  // namespace

TEST_F(RegistrationForwardingTest, ARegistrationThroughTwoRelaysReachesTheRootAndIsRecordedOnTheWay) {
    ScriptedHTTPServer root(RootAnswer);
    RelayProcess parent;
    StartRelay(parent, kParentID, URLOf(root.Port()));
    RelayProcess child;
    StartRelay(child, kChildID, URLOf(parent.Port()), kChildUDPPort);

    std::string reply = Register(child, "RequestType=RegisterMe&ClientVersion=9.2.0.0&AdapterInfo=" + kAdapter);
    EXPECT_NE(reply.find("x-veltra-itclient-computerid: 4711,3," + std::to_string(kChildUDPPort) + ",0,0,0\r\n"),
              std::string::npos)
        << reply;
    EXPECT_NE(reply.find("x-veltra-clientregister-version: 9.2.0.0\r\n"), std::string::npos) << reply;
    EXPECT_EQ(Body(reply), "Success\r\n4711\r\n3\r\n" + std::to_string(kChildUDPPort) + "\r\n9.2.0.0\r\n0\r\n0\r\n0\r\n" +
                               kAdapter + "\r\n");

    std::vector<ScriptedHTTPServer::Exchange> asked = root.Exchanges();
    ASSERT_EQ(asked.size(), 1u);
    const std::string& request = asked[0].request;
    std::string requestLine = request.substr(0, request.find("\r\n"));
    EXPECT_NE(requestLine.find("ParentID=" + std::to_string(kChildID)), std::string::npos) << requestLine;
    EXPECT_EQ(requestLine.find("AdapterInfo="), requestLine.rfind("AdapterInfo=")) << "one adapter: " << requestLine;
    EXPECT_NE(requestLine.find("AdapterInfo=00-1a-2b-3c-4d-5e_127.0.0.0%2f8_127.0.0.10_1"), std::string::npos)
        << requestLine;
    EXPECT_NE(request.find("User-Agent: KVRRelay\r\n"), std::string::npos);

    for (RelayProcess* relay : {&parent, &child}) {
        std::string descendant = Body(relay->Get(std::string(kPath) + "?RequestType=IsDescendant&ComputerID=4711"));
        EXPECT_EQ(descendant, "Success\r\ntrue\r\n") << relay->Port();
    }
    EXPECT_EQ(parent.Stop(), 0);
    EXPECT_EQ(child.Stop(), 0);
}

TEST_F(RegistrationForwardingTest, ARelayWithoutAParentRefusesAtOnceAndSaysSo) {
    RelayProcess relay;
    StartRelay(relay, kParentID, "");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Body(Register(relay, "RequestType=RegisterMe")), "\r\nError: no parent relay configured\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(relay.AwaitLogLine("Registration refused: no parent relay configured")) << relay.Log();
    EXPECT_EQ(relay.Stop(), 0);
}

// The root's answers reach the client as the relay passes them on; the root, a process of its own,
// logs each request it got.
TEST_F(RegistrationForwardingTest, TheRootsAnswersArePassedOnToTheClient) {
    PythonOrigin root;
    const struct {
        const char* scenario;
        std::string body;
    } cases[] = {
        {"success", "Success\r\n4711\r\n3\r\n52311\r\n9.2.0.0\r\n0\r\n0\r\n0\r\nNo WakeOnLAN adapter selected.\r\n"},
        {"invalidsequence", "Invalid Sequence Number\r\n"},
        {"badcomputerid",
         "\r\nError: (ForwardRegisterMe)\r\nBadly formatted x-veltra-itclient-computerid header in response from "
         "parent relay server.\r\nThe parent relay's response was as follows:\r\nHTTP/1.1 200 OK"},
        // Last: for ChildCountTestPeriod afterwards this relay answers its direct children itself.
        {"toomanychildren", "RelayRejectClient\r\nTooManyChildren\r\n25\r\n"},
    };
    RelayProcess relay;
    StartRelay(relay, kParentID, root.URL("/root/success/cgi-bin/vtdaruravidu/clientregister.exe"));
    for (const auto& c : cases) {
        relay.SetClientSetting("_Daruravidu Server_ClientRegister_ParentRelayURL",
                               root.URL("/root/" + std::string(c.scenario) + "/cgi-bin/vtdaruravidu/clientregister.exe"));
        std::string reply = Register(relay, "RequestType=RegisterMe");
        EXPECT_EQ(Body(reply).substr(0, c.body.size()), c.body) << c.scenario;
        if (std::string(c.scenario) != "badcomputerid") {
            std::size_t date = reply.find("Date: ");
            EXPECT_NE(date, std::string::npos) << reply;
            EXPECT_EQ(reply.find("Date: ", date + 1), std::string::npos) << "one Date line: " << reply;
        }
    }
    const std::string log = ReadWholeFile(root.Folder() + "/root-requests.log");
    for (const auto& c : cases)
        EXPECT_NE(log.find("GET /root/" + std::string(c.scenario) + "/cgi-bin/vtdaruravidu/clientregister.exe?"
                           "RequestType=RegisterMe&ParentID=100 HTTP/1.0\tUser-Agent: KVRRelay\n"),
                  std::string::npos)
            << log;
    EXPECT_EQ(relay.Stop(), 0);
}

// A relay that forwards to a root that never answers still stops promptly.
TEST_F(RegistrationForwardingTest, AStopEndsAForwardInFlight) {
    PythonOrigin root;
    RelayProcess relay;
    StartRelay(relay, kParentID, root.URL("/root/noanswer/cgi-bin/vtdaruravidu/clientregister.exe"));
    std::vector<std::string> arguments = {"-s", "--http1.0", "--max-time", "20", "--interface", kClientAddress,
                                          "http://127.0.0.1:" + std::to_string(relay.Port()) + kPath +
                                              "?RequestType=RegisterMe"};
    std::thread client([&] { RunProgram("curl", arguments); });
    std::this_thread::sleep_for(500ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(relay.Stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    client.join();
}

// The deployment is the agent's action-site masthead's: its gather URL's scheme and authority, exact.
TEST_F(RegistrationForwardingTest, TheAgentsMastheadDecidesTheDeployment) {
    const std::string mastheads = TestPKIFolder() + "/mastheads";
    ScriptedHTTPServer root(RootAnswer);
    RelayProcess relay;
    const std::string agent = relay.Folder() + "/agent";
    std::filesystem::create_directories(agent);
    std::filesystem::copy_file(mastheads + "/action.azqm", agent + "/ActionSite.azqm");
    relay.Import("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KVRClient.exe]\n"
                 "\"Path\"=\"" + agent + "\"\n");
    relay.SetClientSetting("_KVRClient_Cryptography_FipsMode", "none");
    relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath", mastheads + "/roots");
    StartRelay(relay, kParentID, URLOf(root.Port()));

    EXPECT_EQ(Body(Register(relay, "RequestType=RegisterMe&Root=http://RELAY.example:52311")),
              "RelayRejectClient\r\nError: Different Deployment.\r\n");
    EXPECT_EQ(root.Exchanges().size(), 0u);
    EXPECT_EQ(Body(Register(relay, "RequestType=RegisterMe&Root=http://relay.example:52311")).substr(0, 13),
              "Success\r\n4711");
    EXPECT_EQ(root.Exchanges().size(), 1u);
    EXPECT_NE(relay.Get(std::string(kPath) + "?RequestType=Version")
                  .find("x-mendle-site-gather-url: http://relay.example:52311/cgi-bin/bfgather.exe/actionsite\r\n"),
              std::string::npos);
    EXPECT_EQ(relay.Stop(), 0);
}

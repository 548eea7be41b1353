#include "relay/register/registration_decision.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "base/const_data_reader.h"
#include "foundation/critical_section.h"
#include "foundation/event.h"
#include "net/socket_system.h"
#include "foundation/process_setup.h"
#include "net/url_info.h"
#include "relay/register/registration_forwarding.h"
#include "relay/register/registration_request.h"
#include "relay/register/registration_test_support.h"
#include "support/captured_log.h"
#include "support/client_settings.h"
#include "support/kvrreg_runner.h"
#include "support/loopback_sockets.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/clientregister.exe";
constexpr std::uint64_t kOwnID = 5;
const std::string kAdapter = "00-1a-2b-3c-4d-5e_127.0.0.0/8_127.0.0.10_1";
const std::string kOtherAdapter = "00-1a-2b-3c-4d-5f_10.0.0.0/8_10.1.2.3_0";

std::string AgentServer1(const std::string& value) {
    return "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\__Relay_Control_Server1]\n\"value\"=\"" +
           value + "\"\n\n";
}

std::string BaseURL(std::uint16_t port) { return "http://127.0.0.1:" + std::to_string(port); }

// A parent that grants computer ID 1234, slot 7, sending its own UDP port, version and Date.
ScriptedHTTPServer::Reply GrantingParent(const std::string&) {
    return {MakeHTTPReply("Success\r\n1234\r\n7\r\n40000\r\n9.1.0.0\r\n",
                          "Date: Thu, 10 Dec 2026 01:02:03 GMT\r\nx-veltra-server: 1;http://root:52311/\r\n"
                          "x-veltra-itclient-computerid: 1234,7,40000,1,11,12\r\n")};
}

// The query of a request the parent received, decoded enough to look for pairs.
std::string RequestLine(const ScriptedHTTPServer::Exchange& exchange) {
    return exchange.request.substr(0, exchange.request.find("\r\n"));
}

struct Served {
    bool served = false;     // the dispatch's answer: false for an error reply
    bool forwarded = false;  // the parent was asked
    std::string reply;
    std::string Body() const { return reply.substr(reply.find("\r\n\r\n") + 4); }
    bool Has(const std::string& text) const { return reply.find(text) != std::string::npos; }
};

class RegistrationDecisionTest : public ::testing::Test {
  protected:
    RegistrationDecisionTest() {
        EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:00000005\n\n" +
                         ClientRegisterSetting("ParentRelayURL", BaseURL(m_parent.Port()) + kPath) +
                         ClientRegisterSetting("UDPMessagePort", "52999"));
    }

    Served Serve(const std::string& query, const IPAddress& client, std::optional<std::string> userAgent = {},
                 const std::string& method = "GET") {
        RecordingClientWriter writer;
        ConstDataReader body{ConstData(std::string_view())};
        const ClientRegisterConfiguration configuration(kClientRegisterComponent);
        EventStopFunctor stop(m_stop);
        RegistrationRequest request{.writer = writer,
                                    .body = body,
                                    .configuration = configuration,
                                    .list = m_list.List(),
                                    .url = std::string(kPath) + "?" + query,
                                    .method = method,
                                    .clientAddress = client,
                                    .userAgent = std::move(userAgent),
                                    .log = m_log,
                                    .stop = stop,
                                    .relayConfiguration = m_options,
                                    .notifications = m_notifications.Services(),
                                    .stopEvent = &m_stop,
                                    .siteGatherURL = m_siteGatherURL};
        std::size_t asked = m_parent.Exchanges().size();
        Served served;
        served.served = HandleRegistrationRequest(request);
        served.forwarded = m_parent.Exchanges().size() > asked;
        served.reply = writer.reply;
        return served;
    }

    TemporaryRegistry m_registry;
    ScriptedHTTPServer m_parent{GrantingParent};
    GatherOptionsManager m_options;
    StandInNotifications m_notifications{m_options};
    Event m_stop;
    ListInFolder m_list;
    RecordingLogFunctor m_log;
    std::function<std::string()> m_siteGatherURL;
};

const IPAddress kRemote(127, 0, 0, 10);

}  // namespace

// This relay is 8.0.627.0; versions compare over the parts both have.
TEST_F(RegistrationDecisionTest, TheClientsMinimumRelayVersion) {
    const struct {
        const char* minimum;
        bool accepted;
    } cases[] = {
        {"8.0.628", false}, {"8.0.627.0.1", true}, {"8.1", false}, {"8.0", true},
        {"8.0.627.0", true}, {"8.0.627.1", false}, {"7.99", true},
    };
    for (const auto& c : cases) {
        Served served = Serve("RequestType=RegisterMe&MinRelayVersion=" + std::string(c.minimum), kRemote);
        EXPECT_EQ(served.forwarded, c.accepted) << c.minimum;
        if (!c.accepted)
            EXPECT_EQ(served.Body(), "RelayRejectClient\r\nThis relay has version 8.0.627.0, which does not meet the "
                                     "version required by the client.\r\n")
                << c.minimum;
    }
}

TEST_F(RegistrationDecisionTest, HopLimitsApplyToClientsOtherThanTheLocalOne) {
    ImportWithKvrreg(ClientRegisterSetting("MinHopEstimateLimit", "3") + ClientRegisterSetting("MaxHopEstimateLimit", "6"));
    const std::string refusal =
        "RelayRejectClient\r\nThis relay only accepts clients with minhop counts <= 3 and maxhop counts <= 6\r\n";
    const struct {
        const char* hops;
        IPAddress client;
        bool accepted;
    } cases[] = {
        {"MinHops=4", IPAddress(127, 0, 0, 2), false}, {"MinHops=4", IPAddress(127, 0, 0, 1), true},
        {"MinHops=3", IPAddress(127, 0, 0, 2), true},  {"MaxHops=7", IPAddress(127, 0, 0, 2), false},
        {"MaxHops=7", IPAddress(127, 0, 0, 1), true},  {"MinHops=0&MaxHops=6", IPAddress(127, 0, 0, 2), true},
    };
    for (const auto& c : cases) {
        Served served = Serve("RequestType=RegisterMe60&" + std::string(c.hops), c.client);
        EXPECT_EQ(served.forwarded, c.accepted) << c.hops << " " << FormatIPAddress(c.client).View();
        if (!c.accepted) {
            EXPECT_EQ(served.Body(), refusal);
            EXPECT_TRUE(served.Has("x-veltra-clientregister-status: RelayRejectClient\r\n"));
        }
    }
}

TEST_F(RegistrationDecisionTest, ARootOfAnotherDeploymentIsRefusedExactly) {
    m_siteGatherURL = [] { return std::string("http://Root.example:52311/cgi-bin/vtdaruravidu/gather.exe"); };
    const struct {
        const char* root;
        IPAddress client;
        bool accepted;
    } cases[] = {
        {"http://root.example:52311", kRemote, false},
        {"http://Root.example:52311", kRemote, true},
        {"", kRemote, true},
        {"http://root.example:52311", IPAddress(127, 0, 0, 1), true},
    };
    for (const auto& c : cases) {
        Served served = Serve("RequestType=InvalidateAndReRegisterMe&Root=" + std::string(c.root), c.client);
        EXPECT_EQ(served.forwarded, c.accepted) << c.root;
        if (!c.accepted) EXPECT_EQ(served.Body(), "RelayRejectClient\r\nError: Different Deployment.\r\n");
    }
    ASSERT_EQ(m_log.lines.size(), 1u);
    EXPECT_EQ(m_log.lines[0], "Local client appears to have mismatched root server URL, allowing registration anyway.");

    m_siteGatherURL = [] { return std::string(); };
    EXPECT_TRUE(Serve("RequestType=RegisterMe&Root=http://elsewhere:1", kRemote).forwarded)
        << "without a known deployment nothing is refused";
}

// A direct child is forwarded with this relay as its parent and its own adapter; it gets the
// parent's grant with this relay's UDP port, the parent's version and one Date line.
TEST_F(RegistrationDecisionTest, ADirectChildIsForwardedAndRecorded) {
    ImportWithKvrreg(ClientRegisterSetting("MaxChildCount", "40"));
    Served served = Serve("RequestType=RegisterMe&ClientVersion=9.0&AdapterInfo=" + kOtherAdapter +
                              "&AdapterInfo=" + kAdapter,
                          kRemote, "Mozilla");
    EXPECT_TRUE(served.forwarded) << served.reply;

    std::vector<ScriptedHTTPServer::Exchange> exchanges = m_parent.Exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    std::string requestLine = RequestLine(exchanges[0]);
    EXPECT_NE(requestLine.find(std::string(kPath) + "?RequestType=RegisterMe&ClientVersion=9.0&ParentID=5&MaxChildren=40"
                                                    "&AdapterInfo=00-1a-2b-3c-4d-5e_127.0.0.0%2f8_127.0.0.10_1 "),
              std::string::npos)
        << requestLine;
    EXPECT_NE(exchanges[0].request.find("User-Agent: KVRRelay\r\n"), std::string::npos);

    EXPECT_TRUE(served.Has("x-veltra-clientregister-status: Success\r\n"
                           "x-veltra-itclient-computerid: 1234,7,52999,1,11,12\r\n"
                           "x-veltra-clientregister-version: 9.1.0.0\r\n"
                           "x-veltra-localrelay-version: 8.0.627.0\r\n"
                           "x-kvr-wakeonlan-adapterinfo: " + kAdapter + "\r\n"
                           "Date: Thu, 10 Dec 2026 01:02:03 GMT\r\n"
                           "x-veltra-server: 1;http://root:52311/\r\n"))
        << served.reply;
    EXPECT_EQ(served.reply.find("Date: "), served.reply.find("Date: Thu, 10 Dec 2026")) << "the parent's Date is the only one";
    EXPECT_EQ(served.Body(), "Success\r\n1234\r\n7\r\n52999\r\n9.1.0.0\r\n1\r\n11\r\n12\r\n" + kAdapter + "\r\n");

    ClientRegistrationListItem item = m_list.Item(1234);
    EXPECT_EQ(item.parentID, kOwnID);
    EXPECT_FALSE(item.relayAddress);
    EXPECT_EQ(item.address, kRemote);
}

TEST_F(RegistrationDecisionTest, ARegistrationFromAChildRelayPassesThroughUnchanged) {
    ImportWithKvrreg(ClientRegisterSetting("MaxChildCount", "40"));
    EXPECT_TRUE(Serve("RequestType=RegisterMe&ParentID=77&MaxChildren=3&AdapterInfo=" + kOtherAdapter, kRemote,
                      "kvrrelay/8.0")
                    .forwarded);
    std::string requestLine = RequestLine(m_parent.Exchanges().at(0));
    EXPECT_NE(requestLine.find("?RequestType=RegisterMe&ParentID=77&MaxChildren=3&AdapterInfo="), std::string::npos)
        << requestLine;
    EXPECT_EQ(requestLine.find("ParentID=5"), std::string::npos);
    ClientRegistrationListItem item = m_list.Item(1234);
    EXPECT_EQ(item.parentID, 77u);
    EXPECT_TRUE(item.relayAddress) << "reached through the child relay";
}

TEST_F(RegistrationDecisionTest, TheParentsRefusalsArePassedOn) {
    const struct {
        std::string parentHeaders;
        std::string headers;
        std::string body;
    } cases[] = {
        {"x-veltra-clientregister-status: Invalid Sequence Number\r\n",
         "x-veltra-clientregister-status: Invalid Sequence Number\r\nx-veltra-clientregister-version: 8.0.627.0\r\n"
         "Date: Thu, 10 Dec 2026 01:02:03 GMT\r\n",
         "Invalid Sequence Number\r\n"},
        {"x-veltra-clientregister-toomanychildren: 12\r\n",
         "x-veltra-clientregister-status: RelayRejectClient\r\nx-veltra-clientregister-version: 8.0.627.0\r\n"
         "x-veltra-clientregister-toomanychildren: 12\r\nDate: Thu, 10 Dec 2026 01:02:03 GMT\r\n",
         "RelayRejectClient\r\nTooManyChildren\r\n12\r\n"},
        {"x-veltra-clientregister-toomanychildrelays: 4\r\n",
         "x-veltra-clientregister-toomanychildrelays: 4\r\nDate: Thu, 10 Dec 2026 01:02:03 GMT\r\n",
         "RelayRejectClient\r\nTooManyChildRelays\r\n4\r\n"},
    };
    for (const auto& c : cases) {
        ScriptedHTTPServer parent([&](const std::string&) {
            return ScriptedHTTPServer::Reply{MakeHTTPReply("", "Date: Thu, 10 Dec 2026 01:02:03 GMT\r\n" + c.parentHeaders)};
        });
        ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", BaseURL(parent.Port()) + kPath));
        Served served = Serve("RequestType=RegisterMe&ParentID=77", kRemote);
        EXPECT_TRUE(served.Has(c.headers)) << served.reply;
        EXPECT_EQ(parent.Exchanges().size(), 1u);
        EXPECT_EQ(served.Body(), c.body);
    }
}

// After the parent's TooManyChildren, this relay's own count answers for ChildCountTestPeriod; the
// server line is left out while this server is not in the replication list.
TEST_F(RegistrationDecisionTest, ALocalChildCountRefusalDoesNotAskTheParent) {
    ImportWithKvrreg(ClientRegisterSetting("MaxChildCount", "1"));
    EXPECT_TRUE(Serve("RequestType=RegisterMe", kRemote).forwarded);  // child 1234 of this relay
    {
        ScriptedHTTPServer full([](const std::string&) {
            return ScriptedHTTPServer::Reply{MakeHTTPReply("", "x-veltra-clientregister-toomanychildren: 9\r\n")};
        });
        ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", BaseURL(full.Port()) + kPath));
        EXPECT_EQ(Serve("RequestType=RegisterMe", kRemote).Body(), "RelayRejectClient\r\nTooManyChildren\r\n9\r\n");
        EXPECT_EQ(full.Exchanges().size(), 1u);
    }
    Served local = Serve("RequestType=RegisterMe", kRemote);
    EXPECT_FALSE(local.forwarded);
    EXPECT_EQ(local.Body(), "RelayRejectClient\r\nTooManyChildren\r\n1\r\n");
    EXPECT_FALSE(local.Has("x-veltra-server")) << local.reply;
    EXPECT_EQ(m_parent.Exchanges().size(), 1u);
}

TEST_F(RegistrationDecisionTest, WithoutAParentTheRegistrationIsRefusedAtOnceAndLogged) {
    CapturedLog log;
    const std::string refusal = "\r\nError: no parent relay configured\r\n";
    RunKvrreg({"delete", "HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_Daruravidu "
                         "Server_ClientRegister_ParentRelayURL"});
    const ClientRegisterConfiguration configuration(kClientRegisterComponent);
    ASSERT_EQ(configuration.GetParentRelayURL(), "http://127.0.0.1:52311/cgi-bin/vtdaruravidu/clientregister.exe");
    EXPECT_EQ(Serve("RequestType=RegisterMe", kRemote).Body(), refusal);

    for (const char* own : {"http://127.0.0.1:52311", "http://localhost:52311", "http://127.0.0.7:52311"}) {
        ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", std::string(own) + kPath));
        Served served = Serve("RequestType=RegisterMe", kRemote);
        EXPECT_FALSE(served.forwarded) << own;
        EXPECT_EQ(served.Body(), refusal) << own;
    }
    EXPECT_EQ(m_parent.Exchanges().size(), 0u);
    EXPECT_EQ(log.LinesStartingWith("critical: Registration refused: no parent relay configured").size(), 1u)
        << "at most once a minute";
}

TEST_F(RegistrationDecisionTest, AnUnreachableParentIsAnErrorToTheClientAndLogged) {
    CapturedLog log;
    std::string url = BaseURL(ClosedLoopbackPort()) + kPath;
    ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", url));
    Served served = Serve("RequestType=RegisterMe", kRemote);
    EXPECT_FALSE(served.served);
    EXPECT_EQ(served.Body(), "\r\nError: (ForwardRegisterMe)\r\nHttp_err_SOCKET_CONNECT\r\n");
    Serve("RequestType=RegisterMe", kRemote);
    std::vector<std::string> lines = log.LinesStartingWith("critical: Registration forward to parent ");
    ASSERT_EQ(lines.size(), 1u) << "at most once a minute";
    EXPECT_NE(lines[0].find(url + " failed: Http_err_SOCKET_CONNECT"), std::string::npos) << lines[0];
}

TEST_F(RegistrationDecisionTest, TheParentsBadAnswerIsAnErrorWithTheAnswer) {
    ScriptedHTTPServer parent([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("details", "x-veltra-itclient-computerid: 1234,5\r\n")};
    });
    ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", BaseURL(parent.Port()) + kPath));
    std::string body = Serve("RequestType=RegisterMe", kRemote).Body();
    EXPECT_EQ(body.rfind("\r\nError: (ForwardRegisterMe)\r\nBadly formatted x-veltra-itclient-computerid header in "
                         "response from parent relay server.  UDPPort is missing.\r\nThe parent relay's response was as "
                         "follows:\r\nHTTP/1.0 200 OK",
                         0),
              0u)
        << body;
    EXPECT_NE(body.find("details\r\n"), std::string::npos) << "the body follows the head";
    EXPECT_EQ(m_list.List().CountChildren(kOwnID), 0u);
}

// The local agent brings a new parent: the registration goes there with IsRelay=1 and every adapter,
// and the parent settings follow it, and so does whoever is connected to hear of it.
TEST_F(RegistrationDecisionTest, ALoopbackRegistrationWithServer1MovesThisRelayToTheNewParent) {
    ScriptedHTTPServer newParent(GrantingParent);
    std::string base = BaseURL(newParent.Port());
    std::vector<std::string> toldParents;
    const ParentChangeConnection parentChange([&](const std::string& newBase) { toldParents.push_back(newBase); });
    ImportWithKvrreg(AgentServer1(base) +
                     NamedSetting("KVRRelay", "PostResults", "ParentRelayURL",
                                  "http://old:52311/cgi-bin/vtdaruravidu/PostResults.exe"));
    Served served = Serve("RequestType=RegisterMe&AdapterInfo=" + kAdapter + "&AdapterInfo=" + kOtherAdapter,
                          IPAddress(127, 0, 0, 1));
    EXPECT_TRUE(served.served);
    EXPECT_EQ(m_parent.Exchanges().size(), 0u);
    ASSERT_EQ(newParent.Exchanges().size(), 1u);
    std::string requestLine = RequestLine(newParent.Exchanges()[0]);
    EXPECT_NE(requestLine.find(std::string(kPath) + "?RequestType=RegisterMe&AdapterInfo=00-1a-2b-3c-4d-5e_127.0.0.0%2f8"
                                                    "_127.0.0.10_1&AdapterInfo=00-1a-2b-3c-4d-5f_10.0.0.0%2f8_10.1.2.3_0"
                                                    "&IsRelay=1 "),
              std::string::npos)
        << requestLine;
    EXPECT_FALSE(RegistrationUpdateInProgress().load());

    KvrregRun exported = RunKvrreg({"export"});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;
    for (const std::string& expected : {base + "/cgi-bin/vtdaruravidu/clientregister.exe",
                                        base + "/cgi-bin/vtdaruravidu/PostResults.exe",
                                        base + "/vtmirror/downloads/",
                                        base + "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe"})
        EXPECT_NE(exported.out.find("\"" + expected + "\""), std::string::npos) << expected << "\n" << exported.out;
    EXPECT_NE(exported.out.find("_KVRRelay_UploadManager_ParentRelayHost]\n\"value\"=\"" + base + "\""),
              std::string::npos);
    EXPECT_EQ(toldParents, std::vector<std::string>{base});
}

TEST_F(RegistrationDecisionTest, TheGateRefusesRegistrationsWhileANewParentIsTakenOver) {
    MakeFlagTrueInScope gate(RegistrationUpdateInProgress());
    Served served = Serve("RequestType=RegisterMe", kRemote);
    EXPECT_FALSE(served.forwarded);
    EXPECT_EQ(served.Body(), "\r\nRelay is temporarily rejecting registration requests as it updates its parent "
                             "registration information.\r\n");
    EXPECT_EQ(m_parent.Exchanges().size(), 0u);
}

TEST(MakeFlagTrueInScope, PutsTheFormerValueBack) {
    for (bool former : {false, true}) {
        std::atomic<bool> flag{former};
        {
            MakeFlagTrueInScope guard(flag);
            EXPECT_TRUE(flag.load());
        }
        EXPECT_EQ(flag.load(), former);
    }
}

TEST_F(RegistrationDecisionTest, AStopEndsAForwardToAParentThatNeverAnswers) {
    SilentTCPListener silent;
    ImportWithKvrreg(ClientRegisterSetting("ParentRelayURL", BaseURL(silent.Port()) + kPath));
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_stop.Set();
    });
    auto start = std::chrono::steady_clock::now();
    Served served = Serve("RequestType=RegisterMe", kRemote);
    auto elapsed = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_FALSE(served.served);
    EXPECT_LT(elapsed, std::chrono::seconds(1) + std::chrono::milliseconds(200));
}

TEST_F(RegistrationDecisionTest, TheVersionPageNamesTheDeploymentsGatherURL) {
    m_siteGatherURL = [] { return std::string("http://root.example:52311/cgi-bin/vtdaruravidu/gather.exe"); };
    Served served = Serve("RequestType=Version", kRemote, {}, "get");
    EXPECT_TRUE(served.served);
    EXPECT_EQ(WithoutDate(served.reply),
              PlainTextReply("\r\nClientRegister\r\nVersion 8.0.627.0\r\n",
                             "Server: VeltraHTTPServer/8.0.627.0\r\nx-veltra-clientregister-version: 8.0.627.0\r\n"
                             "x-mendle-site-gather-url: http://root.example:52311/cgi-bin/vtdaruravidu/gather.exe\r\n"));
}

// A second takeover that passed the gate while the first was starting is refused under the lock.
TEST_F(RegistrationDecisionTest, ATakeoverThatFindsAnotherUnderWayIsRefused) {
    ImportWithKvrreg(AgentServer1(BaseURL(m_parent.Port())));
    CapturedLog log;
    CriticalSectionLock held = LockCriticalSection(ClientRegistrationLock());
    Served served;
    std::thread request([&] { served = Serve("RequestType=RegisterMe", IPAddress(127, 0, 0, 1)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    {
        MakeFlagTrueInScope other(RegistrationUpdateInProgress());
        held = CriticalSectionLock();
        request.join();
    }
    EXPECT_EQ(served.Body(), "\r\nAll registrations rejected.  Server is checking new configuration received from "
                             "another client on 127.0.0.1.\r\n");
    EXPECT_FALSE(served.forwarded);
    EXPECT_EQ(log.LinesStartingWith("critical: REQUIREMENT FAILURE: ").size(), 1u);
}

// All four URLs are checked before any is written: one without a path leaves every one as it was.
TEST_F(RegistrationDecisionTest, AParentURLThatCannotBeRewrittenChangesNone) {
    ImportWithKvrreg(NamedSetting("KVRGather", "Comm", "ParentRelayURL", "http://old.example"));
    const std::string before = RunKvrreg({"export"}).out;
    bool told = false;
    const ParentChangeConnection parentChange([&](const std::string&) { told = true; });
    EXPECT_THROW(RewriteParentURLs("http://new.example:52311"), NoPathError);
    RewriteParentURLs("");
    EXPECT_FALSE(told);
    EXPECT_EQ(RunKvrreg({"export"}).out, before);
    EXPECT_EQ(before.find("new.example"), std::string::npos);
}

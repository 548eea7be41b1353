#include "relay/post/post_results_plugin.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../../http/http_test_support.h"
#include "crypto/openssl_startup.h"
#include "net/started_socket_system.h"
#include "relay/post/post_results_test_support.h"
#include "support/program_runner.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kClient = "127.0.0.2";  // not the relay's own machine to the plug-in
constexpr const char* kLocalClient = "127.0.0.1";

// A connection from the source address to the relay on 127.0.0.1.
SocketHandle ConnectFrom(const char* source, std::uint16_t port) {
    SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, source, &address.sin_addr);
    EXPECT_EQ(::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    address.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    EXPECT_EQ(::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return socket;
}

std::string PostHead(std::size_t length) {
    return "POST /cgi-bin/vtdaruravidu/PostResults.exe HTTP/1.0\r\nContent-Length: " +
           std::to_string(length) + "\r\n\r\n";
}

struct Reply {
    std::string status;        // "200 OK"
    std::string clientStatus;  // the "x-veltra-itclient-status" value, "" when absent
    std::string body;
};

Reply ParseReply(const std::string& reply) {
    Reply parsed;
    const std::size_t firstLine = reply.find("\r\n");
    parsed.status = reply.substr(std::min<std::size_t>(9, reply.size()),
                                 firstLine == std::string::npos ? 0 : firstLine - 9);
    const std::size_t field = reply.find("x-veltra-itclient-status: ");
    if (field != std::string::npos) parsed.clientStatus = reply.substr(field + 26, 1);
    parsed.body = BodyOf(reply);
    return parsed;
}

Reply Post(std::uint16_t port, const std::string& body, const char* source = kClient) {
    SocketHandle client = ConnectFrom(source, port);
    SendAll(client.Get(), PostHead(body.size()) + body);
    return ParseReply(ReceiveUntilClosed(client.Get()));
}

class PostResultsPlugInTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        StartedSocketSystem();
    }

    // The plug-in, started and served; settings that it reads at construction come first. The
    // forwarder passes every second.
    void Serve(ReportLimits limits = {}, const char* resultTimeLimit = "1") {
        machine.SetNamed("_KVRRelay_PostResults_ResultTimeLimit", resultTimeLimit);
        plugIn = std::make_unique<PostResultsPlugIn>(
            counters, plugInStop, [] { return TestEncryptionCertificate(); }, limits);
        plugIn->Start();
        RegisterPlugInNames(table, *plugIn);
        server = std::make_unique<RunningServer>(settings, table);
    }
    // For tests that look at the buffer: the forwarder makes its first pass at once and then waits an
    // hour, so it neither packs the reports away nor uses the temporary folder meanwhile.
    void ServeWithForwarderAside() {
        Serve({}, "3600");
        std::this_thread::sleep_for(300ms);
    }
    std::uint16_t Port() const { return server->Port(); }

    PostResultsMachine machine;
    HTTPServerSettings settings = TestServerSettings();
    LockedCounters counters;
    Event plugInStop;
    PlugInPathTable table;
    std::unique_ptr<PostResultsPlugIn> plugIn;
    std::unique_ptr<RunningServer> server;  // after the plug-in: the server goes first
};

// Each report of an accepted post lands at the parent once, whatever wrapped it on the way.
std::vector<std::string> ReportsAtParent(const ScriptedParent& parent) {
    std::vector<std::string> reports;
    for (const std::string& batch : parent.Bodies())
        for (const std::string& report : ReportsOfBatch(batch)) reports.push_back(report);
    return reports;
}

std::string EncryptedWithOpenSSL(const std::string& content, const std::string& folder) {
    std::ofstream(folder + "/plain", std::ios::binary) << content;
    const ProgramRun cms =
        RunProgram("openssl", {"cms", "-encrypt", "-binary", "-stream", "-outform", "DER", "-aes256", "-in",
                               folder + "/plain", "-out", folder + "/sealed",
                               TestPKIFolder() + "/mastheads/encryption.pem"});
    EXPECT_EQ(cms.exitStatus, 0) << cms.err;
    return std::string("##SE001\0", 8) + ReadWholeFile(folder + "/sealed");
}

}  // namespace

// Test labels: PostResultsPlugInTest tsan
TEST_F(PostResultsPlugInTest, IsNamedForItsPathAndRunsOnTheLoopThread) {
    PostResultsPlugIn postResults(counters, plugInStop);
    EXPECT_EQ(postResults.Names(),
              (std::vector<std::string>{"PostResults", "cgi-bin/vtdaruravidu/PostResults.exe"}));
    EXPECT_FALSE(postResults.IsThreaded());
}

TEST_F(PostResultsPlugInTest, StartMakesTheFolders) {
    machine.SetMachineValue("CarbonCopyPath", "\"CarbonCopyPath\"=\"" + machine.Folder("copies") + "\"");
    Serve();
    for (const std::string& folder : {machine.BufferDir(), machine.ForwardingDir(), machine.TemporaryDir(),
                                      machine.RejectedDir(), machine.Folder("copies")})
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
}

TEST_F(PostResultsPlugInTest, AGetIsAnsweredWithTheVersionText) {
    Serve();
    const Reply reply = ParseReply(
        Exchange(Port(), "GET /cgi-bin/vtdaruravidu/PostResults.exe HTTP/1.0\r\nHost: relay\r\n\r\n"));
    EXPECT_EQ(reply.status, "200 OK");
    EXPECT_EQ(reply.clientStatus, "1");
    EXPECT_EQ(reply.body, "PostResults\r\nVersion 8.0.627.0\r\nUse POST to submit results.");
}

// The buffer and its carbon copy get one file per report under the same consecutive names; the raw
// copy holds the body exactly as posted, under its own numbering.
TEST_F(PostResultsPlugInTest, AnAcceptedPostLeavesItsReportsAndTheCopiesOnDisk) {
    machine.SetMachineValue("CarbonCopyPath", "\"CarbonCopyPath\"=\"" + machine.Folder("copies") + "\"");
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", machine.Folder("raw"));
    ServeWithForwarderAside();
    const std::string body = Stored(ArchiveOf({"one", "two", std::string("thr\0ee", 6)}));
    const Reply reply = Post(Port(), body);
    EXPECT_EQ(reply.status, "200 OK");
    EXPECT_EQ(reply.clientStatus, "1");
    EXPECT_EQ(reply.body, "");
    const std::vector<std::string> reports{"one", "two", std::string("thr\0ee", 6)};
    const std::vector<std::string> names{"0000000000000001", "0000000000000002", "0000000000000003"};
    EXPECT_EQ(FileNamesIn(machine.BufferDir()), names);
    EXPECT_EQ(FilesIn(machine.BufferDir()), reports);
    EXPECT_EQ(FileNamesIn(machine.Folder("copies")), names);
    EXPECT_EQ(FilesIn(machine.Folder("copies")), reports);
    EXPECT_EQ(FileNamesIn(machine.Folder("raw")), std::vector<std::string>{"0000000000000001"});
    EXPECT_EQ(FilesIn(machine.Folder("raw")), std::vector<std::string>{body});
    EXPECT_TRUE(FileNamesIn(machine.TemporaryDir()).empty());
}

// The failure's text is the body, with client status 0; the raw copy of a failed body is dropped.
TEST_F(PostResultsPlugInTest, AFailedPostIsAnsweredWithItsReasonAndKeepsWhatWasCompleted) {
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", machine.Folder("raw"));
    ServeWithForwarderAside();
    const Reply reply = Post(Port(), ArchiveOf({"whole"}) + SectionHeader(100) + "cut short");
    EXPECT_EQ(reply.status, "200 OK");
    EXPECT_EQ(reply.clientStatus, "0");
    EXPECT_EQ(reply.body, "class ArchiveSectionCutShort");
    EXPECT_EQ(FilesIn(machine.BufferDir()), std::vector<std::string>{"whole"});
    EXPECT_TRUE(FileNamesIn(machine.Folder("raw")).empty());
    EXPECT_TRUE(FileNamesIn(machine.TemporaryDir()).empty());
}

TEST_F(PostResultsPlugInTest, AFullForwardingBufferRefusesPostsWith503) {
    machine.SetMachineValue("BufferDirectoryMaxCount", "\"BufferDirectoryMaxCount\"=dword:00000000");
    std::filesystem::create_directories(machine.ForwardingDir());
    std::ofstream(machine.ForwardingDir() + "/0000000000000001") << "waiting for the parent";
    Serve();
    const Reply reply = Post(Port(), "report");
    EXPECT_EQ(reply.status, "503 Service Unavailable");
    EXPECT_EQ(reply.clientStatus, "0");
    EXPECT_EQ(reply.body, "Error: Overloaded buffer directory. Try again later.");
    EXPECT_TRUE(FileNamesIn(machine.BufferDir()).empty());
}

// While the parent can't be reached, the relay's own agent (a loopback client) is sent elsewhere with
// 500; other clients are still served, and their reports reach the parent once it is back.
TEST_F(PostResultsPlugInTest, WhileForwardingFailsALocalClientIsRefusedAndOthersAreKeptForLater) {
    machine.SetNamed("_KVRRelay_PostResults_ParentRelayURL",
                     "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/PostResults.exe");
    Serve();
    EXPECT_EQ(Post(Port(), "before", kLocalClient).status, "200 OK");
    ASSERT_TRUE(AwaitCondition([&] { return plugIn->IsForwardingFailed(); }));
    EXPECT_EQ(Post(Port(), "local", kLocalClient).status, "500 Internal Server Error");
    EXPECT_EQ(Post(Port(), "remote").status, "200 OK");

    ScriptedParent parent(kAccepted);
    machine.SetNamed("_KVRRelay_PostResults_ParentRelayURL", parent.URL());
    ASSERT_TRUE(AwaitCondition([&] { return !plugIn->IsForwardingFailed(); }, 90s));
    EXPECT_EQ(ReportsAtParent(parent), (std::vector<std::string>{"before", "remote"}));
    EXPECT_EQ(Post(Port(), "local again", kLocalClient).status, "200 OK");
}

// The parent gets each report once, unwrapped from whatever carried it here.
TEST_F(PostResultsPlugInTest, PostedReportsReachTheParentInOrder) {
    machine.InstallKey();
    ScriptedParent parent(kAccepted);
    machine.SetNamed("_KVRRelay_PostResults_ParentRelayURL", parent.URL());
    Serve();
    struct Case {
        const char* name;
        std::string body;
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases = {
        {"a plain report", "plain report", {"plain report"}},
        {"an archive of three", ArchiveOf({"first", "second", "third"}), {"first", "second", "third"}},
        {"a report encrypted with openssl cms",
         EncryptedWithOpenSSL("sealed report", machine.Folder("")),
         {"sealed report"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = ReportsAtParent(parent).size();
        ASSERT_EQ(Post(Port(), c.body).clientStatus, "1");
        ASSERT_TRUE(
            AwaitCondition([&] { return ReportsAtParent(parent).size() >= before + c.reports.size(); }));
        const std::vector<std::string> all = ReportsAtParent(parent);
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
                  c.reports);
    }
}

// Hostile posts get an error reply or 503, and the relay serves on.
TEST_F(PostResultsPlugInTest, HostilePostsAreRefusedAndTheRelayServesOn) {
    machine.InstallKey();
    machine.SetNamed("_HTTPServer_ThreadLimit_PostResults", "2");
    Serve({ReportLimits::kMostNestedReports, 1 << 20});
    std::string nested;
    for (std::size_t level = 0; level < 100'000; ++level)
        nested += SectionHeader(15 * (100'000 - level - 1) + 4);
    nested += "core";
    struct Case {
        const char* name;
        std::string body;
        std::string reply;
    };
    for (const Case& c : {Case{"100,000 nested sections", nested, "class ReportNestingTooDeep"},
                          Case{"a compressed bomb", Encrypted(Compressed(std::string(16 << 20, '\0'))),
                               "class ReportBytesOverLimit"}}) {
        SCOPED_TRACE(c.name);
        const Reply reply = Post(Port(), c.body);
        EXPECT_EQ(reply.clientStatus, "0");
        EXPECT_EQ(reply.body, c.reply);
        EXPECT_EQ(Post(Port(), "next").clientStatus, "1");
    }

    // The server holds a body of up to 64 KiB before the plug-in sees it: posts of a longer body whose
    // rest is still to come each keep one of the plug-in's threads waiting.
    SCOPED_TRACE("more posts at once than ThreadLimit");
    ASSERT_TRUE(AwaitCondition([&] { return plugIn->RunningThreads() == 0; }));
    const std::string first(80 * 1024, 'a');
    const std::string rest(20 * 1024, 'z');
    std::vector<SocketHandle> slow;
    for (int i = 0; i < 2; ++i) {
        slow.push_back(ConnectFrom(kClient, Port()));
        SendAll(slow.back().Get(), PostHead(first.size() + rest.size()) + first);
    }
    ASSERT_TRUE(AwaitCondition([&] { return plugIn->RunningThreads() == 2; }));
    EXPECT_EQ(Post(Port(), "third").status, "503 Service Unavailable");
    for (SocketHandle& client : slow) {
        SendAll(client.Get(), rest);
        EXPECT_EQ(ParseReply(ReceiveUntilClosed(client.Get())).clientStatus, "1");
    }
    EXPECT_EQ(Post(Port(), "after").clientStatus, "1");
}

// File uploads through real relays: a client sends a file in ranges to a child relay, whose upload
// manager carries it on to the parent (another relay, or a scripted parent that takes the ranges and
// answers registrations); and web uploads, which the relay serves from "Uploads".
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/relay_process.h"
#include "support/program_runner.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"
#include "support/upload_parent.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPostFilePath = "/cgi-bin/vtdaruravidu/PostFile.exe";
constexpr std::size_t kTenMiB = 10 * 1024 * 1024;
constexpr std::size_t kClientChunk = 256 * 1024;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// One POST over loopback; the whole reply (empty when the relay could not be reached).
std::string Post(std::uint16_t port, const std::string& target, const std::string& body) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            "POST " + target + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        for (std::size_t sent = 0; sent < request.size();) {
            const ssize_t n = ::send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        char buffer[4096];
        for (ssize_t got; (got = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    }
    ::close(socket);
    return reply;
}

// Sends the file in ranges, each from where the relay's last answer said, until the relay holds all
// of it; the last reply.
std::string Upload(const RelayProcess& relay, const std::string& keys, const std::string& content) {
    std::uint64_t held = 0;
    std::string reply;
    for (int request = 0; request < 1000; ++request) {
        const std::uint64_t last = std::min<std::uint64_t>(held + kClientChunk, content.size()) - 1;
        const std::string range =
            "range=" + std::to_string(held) + "," + std::to_string(last) + "," + std::to_string(content.size());
        reply = Post(relay.Port(), std::string(kPostFilePath) + "?" + keys + "&" + range,
                     content.substr(held, last - held + 1));
        std::smatch numbers;
        if (!std::regex_search(reply, numbers, std::regex("\r\nx-kvr-upload-result: Success=([0-9]+),"))) break;
        held = std::stoull(numbers[1]);
        if (held == content.size()) break;
    }
    return reply;
}

bool Await(const std::function<bool()>& condition, std::chrono::seconds limit = 120s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string BufferOf(const RelayProcess& relay) {
    return relay.Folder() + "/storage/UploadManagerData/BufferDir";
}

std::uint64_t SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::string ReadFile(const std::string& path) {
    return ReadWholeFile(path);
}

void StartRelay(RelayProcess& relay) {
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
}

// The ranges of one upload the relay's access log in the folder names: "<first>,<last>".
std::vector<std::string> LoggedRanges(const std::string& folder, const std::string& sha1) {
    std::vector<std::string> ranges;
    const std::regex range("sha1=" + sha1 + "&range=([0-9]+,[0-9]+),");
    for (const auto& day : std::filesystem::directory_iterator(folder)) {
        const std::string log = ReadWholeFile(day.path());
        for (std::sregex_iterator it(log.begin(), log.end(), range), end; it != end; ++it)
            ranges.push_back((*it)[1]);
    }
    return ranges;
}

// The root's answer to RegisterMe: computer ID 4711, slot 3, its own UDP port and version 9.2.0.0.
ScriptedHTTPServer::Reply GrantRegistration(const std::string&) {
    return {MakeHTTPReply("Success\r\n4711\r\n3\r\n52311\r\n9.2.0.0\r\n0\r\n0\r\n0\r\n",
                          "x-veltra-itclient-computerid: 4711,3,52311,0,0,0\r\n")};
}

}  // namespace

// 10 MiB from a client to a child relay, on to its parent relay: the parent ends up with the file
// under its SHA-1, the child with nothing. The parent keeps it (its own parent host is empty).
TEST(FileUploadTest, ABufferedUploadReachesTheParentRelayWhole) {
    RelayProcess parent;
    StartRelay(parent);
    RelayProcess child;
    child.SetClientSetting("_KVRRelay_UploadManager_ParentRelayHost", "http://127.0.0.1:" + std::to_string(parent.Port()));
    StartRelay(child);

    const std::string content = Pattern(kTenMiB);
    const std::string sha1 = Sha1Hex(content);
    EXPECT_NE(Upload(child, "sha1=" + sha1, content).find("Success: 10485760,0,0\r\n"), std::string::npos);
    const std::string atParent = BufferOf(parent) + "/sha1/" + sha1;
    ASSERT_TRUE(Await([&] { return SizeOf(atParent) == kTenMiB && !std::filesystem::exists(BufferOf(child) + "/sha1/" + sha1); }))
        << child.Log();
    EXPECT_EQ(Sha1Hex(ReadFile(atParent)), sha1);
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

// The parent stops while the child's manager is half-way through an upload. Once it is back, the
// child asks where the parent's copy ends (the 200-byte first range) and goes on from there.
TEST(FileUploadTest, AParentRestartedMidwayIsResumedWhereItsCopyEnds) {
    TemporaryFolder accessLogs;
    std::filesystem::create_directories(accessLogs / "before");
    std::filesystem::create_directories(accessLogs / "after");
    RelayProcess parent;
    parent.SetClientSetting("_KVRRelay_HTTPServer_HttpLogDirectoryPath", accessLogs / "before");
    StartRelay(parent);
    RelayProcess child;
    child.SetClientSetting("_KVRRelay_UploadManager_ParentRelayHost", "http://127.0.0.1:" + std::to_string(parent.Port()));
    child.SetClientSetting("_KVRRelay_UploadManager_ThrottleKBPS", "2048");
    StartRelay(child);

    const std::string content = Pattern(kTenMiB);
    const std::string sha1 = Sha1Hex(content);
    Upload(child, "sha1=" + sha1, content);
    const std::string partial = BufferOf(parent) + "/Temp/_" + sha1;
    ASSERT_TRUE(Await([&] { return SizeOf(partial) >= 2 * 1024 * 1024; })) << child.Log();
    EXPECT_EQ(parent.Stop(), 0);
    const std::uint64_t held = SizeOf(partial);
    ASSERT_LT(held, kTenMiB);

    parent.SetClientSetting("_KVRRelay_HTTPServer_HttpLogDirectoryPath", accessLogs / "after");
    StartRelay(parent);
    const std::string atParent = BufferOf(parent) + "/sha1/" + sha1;
    ASSERT_TRUE(Await([&] { return SizeOf(atParent) == kTenMiB; })) << child.Log();
    EXPECT_EQ(Sha1Hex(ReadFile(atParent)), sha1);
    const std::vector<std::string> after = LoggedRanges(accessLogs / "after", sha1);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], "0,199");
    EXPECT_EQ(after[1].substr(0, after[1].find(',')), std::to_string(held));
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

TEST(FileUploadTest, AWebUploadIsServedFromUploads) {
    RelayProcess relay;
    StartRelay(relay);
    const std::string content = Pattern(700 * 1024);
    const std::string sha1 = Sha1Hex(content);
    EXPECT_NE(Upload(relay, "sha1=" + sha1 + "&wwwname=notes.bin", content).find("Success: 716800,0,0"),
              std::string::npos);
    const std::string reply = relay.Get("/Uploads/" + sha1 + "/notes.bin");
    ASSERT_TRUE(reply.starts_with("HTTP/1.0 200")) << reply.substr(0, 200);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), content);
    EXPECT_EQ(relay.Stop(), 0);
}

// The relay's own agent registers through it and brings a new parent ("Server1"): once the new parent
// has answered, buffered uploads go there, without a restart.
TEST(FileUploadTest, AfterARegistrationMovesTheRelayUploadsGoToTheNewParent) {
    UploadParent oldParent;
    UploadParent newParent(GrantRegistration);
    RelayProcess relay;
    relay.SetClientSetting("_KVRRelay_UploadManager_ParentRelayHost", oldParent.Host());
    relay.SetClientSetting("_Daruravidu Server_ClientRegister_ParentRelayURL",
                           oldParent.Host() + "/cgi-bin/vtdaruravidu/clientregister.exe");
    relay.SetClientSetting("__Relay_Control_Server1", newParent.Host());
    StartRelay(relay);

    const std::string first = Pattern(300 * 1024);
    Upload(relay, "sha1=" + Sha1Hex(first), first);
    ASSERT_TRUE(Await([&] { return oldParent.Held(Sha1Hex(first)) == first; })) << relay.Log();

    const ProgramRun curl =
        RunProgram("curl", {"-s", "-i", "--http1.0", "--max-time", "60", "--interface", "127.0.0.1",
                            "http://127.0.0.1:" + std::to_string(relay.Port()) +
                                "/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=RegisterMe"});
    ASSERT_EQ(curl.exitStatus, 0) << curl.err;
    ASSERT_NE(curl.out.find("4711"), std::string::npos) << curl.out;
    EXPECT_EQ(relay.Read("HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\"
                         "_KVRRelay_UploadManager_ParentRelayHost",
                         "value"),
              newParent.Host());

    const std::string second = Pattern(400 * 1024);
    Upload(relay, "sha1=" + Sha1Hex(second), second);
    EXPECT_TRUE(Await([&] { return newParent.Held(Sha1Hex(second)) == second; })) << relay.Log();
    EXPECT_EQ(oldParent.Held(Sha1Hex(second)), "");
    EXPECT_EQ(relay.Stop(), 0);
}

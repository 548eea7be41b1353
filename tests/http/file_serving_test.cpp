// The file server end to end: a real HTTPServer on a loopback port over a temporary root, driven by
// curl and by raw sockets.
#include "http/file_response_connection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "foundation/data_stages.h"
#include "http/file_serving_fixture.h"
#include "http/http_client_test_support.h"
#include "http/http_test_support.h"
#include "http/http_client_session.h"
#include "http/socket_http_client.h"
#include "net/arrival_time.h"
#include "net/started_socket_system.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

int StatusOf(const std::string& reply) {
    return reply.size() >= 12 ? std::stoi(reply.substr(9, 3)) : 0;
}

std::string HeadOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n\r\n") + 4);
}
std::string BodyOf(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

TEST_F(FileServing, FilesOfEverySizeArriveByteIdentical) {
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1024}, std::size_t{5} << 20, std::size_t{100} << 20}) {
        WriteFile(std::to_string(size), Pattern(size));
    }
    StartServer();
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1024}, std::size_t{5} << 20, std::size_t{100} << 20}) {
        std::string name = std::to_string(size);
        ProgramRun run = Curl({"-f", "-o", scratch / name, URL("/" + name)});
        ASSERT_EQ(run.exitStatus, 0) << name << " " << run.err;
        ProgramRun compare = RunProgram("cmp", {root / name, scratch / name});
        EXPECT_EQ(compare.exitStatus, 0) << name << " " << compare.out;
    }
}

TEST_F(FileServing, ReplyHeadByteForByte) {
    WriteFile("a.txt", "hello");
    StartServer();
    std::string reply = Exchange(Port(), "GET /a.txt HTTP/1.0\r\nHost: x\r\n\r\n");
    std::string head = HeadOf(reply);
    // Dates vary: check the lines around them exactly, and the dates' form.
    std::istringstream lines(head);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 6u) << head;
    EXPECT_EQ(got[0], "HTTP/1.0 200 OK\r");
    EXPECT_EQ(got[1], "Server: VeltraHTTPServer/8.0.627.0\r");
    EXPECT_TRUE(got[2].starts_with("Date: ") && got[2].ends_with(" +0000\r")) << got[2];
    EXPECT_EQ(got[3], "Content-Length: 5\r");
    EXPECT_TRUE(got[4].starts_with("Last-Modified: ") && got[4].ends_with(" +0000\r")) << got[4];
    EXPECT_EQ(got[5], "\r");
    EXPECT_EQ(BodyOf(reply), "hello");
}

TEST_F(FileServing, AFileFromTheFutureIsLastModifiedNow) {
    WriteFile("future.txt", "f");
    std::filesystem::last_write_time(root / "future.txt",
                                     std::filesystem::file_time_type::clock::now() + std::chrono::hours(48));
    StartServer();
    std::string head = HeadOf(Exchange(Port(), "GET /future.txt HTTP/1.0\r\nHost: x\r\n\r\n"));
    std::size_t date = head.find("\r\nDate: ") + 8;
    std::size_t modified = head.find("\r\nLast-Modified: ") + 17;
    EXPECT_EQ(head.substr(date, 31), head.substr(modified, 31)) << head;
}

// A refused request that asked for dynamic throttling gets its status at once; the connection then
// waits for a back channel that never comes, until the write time-out.
TEST_F(FileServing, ARefusedDynamicRequestIsAnsweredAndHeldUntilTheWriteTimeOut) {
    StartServer({{"DynamicThrottleEnabled", "1"}, {"WriteTimeOut", "1"}});
    SocketHandle client = ConnectTo("127.0.0.1", Port());
    SendAll(client.Get(), "GET /missing HTTP/1.0\r\nx-kvr-dynamic-enabled: 1\r\n\r\n");
    ASSERT_TRUE(ReadableWithin(client.Get(), 5000));
    char buffer[1024];
    ssize_t got = ::recv(client.Get(), buffer, sizeof buffer, 0);
    ASSERT_GT(got, 0);
    EXPECT_TRUE(std::string(buffer, static_cast<std::size_t>(got)).starts_with("HTTP/1.0 404 Not Found\r\n"));
    auto answered = Clock::now();
    EXPECT_FALSE(ReadableWithin(client.Get(), 500));
    EXPECT_TRUE(ReadableWithin(client.Get(), 5000));
    EXPECT_EQ(::recv(client.Get(), buffer, sizeof buffer, 0), 0);
    EXPECT_GT(Clock::now() - answered, std::chrono::milliseconds(900));
}

TEST_F(FileServing, RangeStartsGive206WithContentRange) {
    std::string content = Pattern(1000);
    WriteFile("r.bin", content);
    WriteFile("empty", "");
    StartServer();
    ProgramRun run = Curl({"-r", "100-", "-D", scratch / "head", "-o", scratch / "body", URL("/r.bin")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::string head = ReadWholeFile(scratch / "head");
    EXPECT_TRUE(head.starts_with("HTTP/1.0 206 Partial Content\r\n")) << head;
    EXPECT_NE(head.find("\r\nContent-Range: bytes 100-999/1000\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nContent-Length: 900\r\n"), std::string::npos) << head;
    EXPECT_EQ(ReadWholeFile(scratch / "body"), content.substr(100));

    struct Case {
        const char* path;
        const char* range;
        int status;
        std::size_t bodyLength;
    };
    for (const Case& test : {Case{"/r.bin", "bytes=100-199", 206, 900}, Case{"/r.bin", "bytes=999-", 206, 1},
                             Case{"/r.bin", "bytes=1000-", 206, 0}, Case{"/r.bin", "bytes=1001-", 416, 0},
                             Case{"/r.bin", "bytes=5000-", 416, 0},
                             Case{"/r.bin", "bytes=-500", 200, 1000}, Case{"/r.bin", "bytes=x-", 200, 1000},
                             Case{"/r.bin", "items=100-", 200, 1000}, Case{"/empty", "bytes=0-", 200, 0},
                             Case{"/empty", "bytes=1-", 416, 0}}) {
        std::string reply = Exchange(
            Port(), std::string("GET ") + test.path + " HTTP/1.0\r\nRange: " + test.range + "\r\n\r\n");
        EXPECT_EQ(StatusOf(reply), test.status) << test.path << " " << test.range;
        EXPECT_EQ(BodyOf(reply).size(), test.bodyLength) << test.path << " " << test.range;
    }
    EXPECT_TRUE(Exchange(Port(), "GET /r.bin HTTP/1.0\r\nRange: bytes=1001-\r\n\r\n")
                    .starts_with("HTTP/1.0 416 Requested Range Not Satisfiable\r\n"));
    // A start at the end: the whole file is already there, and the range says how long it is.
    const std::string atEnd = Exchange(Port(), "GET /r.bin HTTP/1.0\r\nRange: bytes=1000-\r\n\r\n");
    EXPECT_NE(atEnd.find("\r\nContent-Range: bytes 1000-999/1000\r\n"), std::string::npos) << atEnd;
    EXPECT_NE(atEnd.find("\r\nContent-Length: 0\r\n"), std::string::npos) << atEnd;
}

TEST_F(FileServing, PathRuleTable) {
    WriteFile("a.txt", "a");
    WriteFile("dir/b.txt", "b");
    WriteFile("secret.txt", "s");
    std::filesystem::permissions(root / "secret.txt", std::filesystem::perms::none);
    std::filesystem::create_directory(root / "linked");
    std::filesystem::create_symlink(root / "dir/b.txt", root / "linked/b.txt");
    StartServer();
    struct Case {
        std::string request;
        int status;
    };
    bool isRoot = ::geteuid() == 0;
    for (const Case& test : {
             Case{"GET /a.txt", 200},
             Case{"GET /dir/b.txt", 200},
             Case{"GET /dir;v=1/b.txt;x", 200},
             Case{"GET /%64ir/b.txt", 200},
             Case{"GET /linked/b.txt", 200},
             Case{"GET /./a.txt", 200},
             Case{"GET /missing", 404},
             Case{"GET /dir", 404},
             Case{"GET /dir/", 404},
             Case{"GET /", 404},
             Case{"GET /../a.txt", 400},
             Case{"GET /%2e%2e/a.txt", 400},
             Case{"GET /dir/..%2fa.txt", 400},
             Case{"GET /dir%2fb.txt", 400},
             Case{"GET /dir%5cb.txt", 400},
             Case{"GET /a.txt%00.jpg", 400},
             Case{"GET /a%0d%0a.txt", 400},
             Case{"POST /a.txt", 405},
             Case{"GET /secret.txt", isRoot ? 200 : 403},
         }) {
        std::string reply = Exchange(Port(), test.request + " HTTP/1.0\r\nHost: x\r\n\r\n");
        EXPECT_EQ(StatusOf(reply), test.status) << test.request;
    }
}

// The server keeps its root open between requests, but serves whatever folder the root's path names,
// looked up again 10 ms after the last look-up at most.
TEST_F(FileServing, ARootReplacedWhileServingIsFollowedWithinTenMilliseconds) {
    const std::string site = scratch / "site";
    std::filesystem::create_directory(site);
    std::ofstream(site + "/f", std::ios::binary) << "old";
    StartServerOver(site);
    const std::string request = "GET /f HTTP/1.0\r\nHost: x\r\n\r\n";
    EXPECT_EQ(BodyOf(Exchange(Port(), request)), "old");

    std::filesystem::rename(site, scratch / "site-old");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(StatusOf(Exchange(Port(), request)), 404);
    std::filesystem::create_directory(site);
    std::ofstream(site + "/f", std::ios::binary) << "new";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string reply = Exchange(Port(), request);
    EXPECT_EQ(StatusOf(reply), 200);
    EXPECT_EQ(BodyOf(reply), "new");
}

// The root receives files from the network, links included: a link is followed only as long as the
// file it finally names lies inside the root, however the link is written and however many links it
// takes. One that leads outside is answered like a missing file, and the debug log says where it led.
TEST_F(FileServing, SymbolicLinkTable) {
    TemporaryFolder outside;
    WriteFile("dir/b.txt", "b");
    std::ofstream(outside / "secret.txt") << "s";
    std::filesystem::create_symlink(root / "dir/b.txt", outside / "back");
    const std::pair<std::string, std::string> links[] = {
        {"in.txt", "dir/b.txt"},
        {"absolute.txt", root / "dir/b.txt"},
        {"folder", "dir"},
        {"dir/sibling.txt", "../in.txt"},
        {"pw", "/etc/passwd"},
        {"etc", "/etc"},
        {"out.txt", outside / "secret.txt"},
        {"dir/climb.txt",
         "../../" + std::filesystem::path(outside.Path()).filename().string() + "/secret.txt"},
        {"reentering.txt", outside / "back"},
        {"dangling.txt", "missing.txt"},
        {"loop.txt", "loop.txt"},
    };
    for (const auto& [link, target] : links) std::filesystem::create_symlink(target, root / link);
    struct Case {
        std::string path;
        int status;
        std::string body;
        const char* ledTo;  // where an outward link led, named in the debug line; null for none
    };
    const Case cases[] = {
        {"/in.txt", 200, "b", nullptr},
        {"/absolute.txt", 200, "b", nullptr},
        {"/folder/b.txt", 200, "b", nullptr},
        {"/dir/sibling.txt", 200, "b", nullptr},
        {"/reentering.txt", 200, "b", nullptr},
        {"/folder", 404, "", nullptr},
        {"/pw", 404, "", "/etc/passwd"},
        {"/etc/passwd", 404, "", "/etc/passwd"},
        {"/etc/shadow", 404, "", "/etc/shadow"},
        {"/out.txt", 404, "", "secret.txt"},
        {"/dir/climb.txt", 404, "", "secret.txt"},
        {"/dangling.txt", 404, "", nullptr},
        {"/loop.txt", 404, "", nullptr},
    };
    TemporaryFolder linkFolder;
    const std::string linkedRoot = linkFolder / "root";
    std::filesystem::create_symlink(root.Path(), linkedRoot);
    // The root that the setting names may itself be a link: the folder it names is the root.
    for (const std::string& rootPath : {root.Path(), linkedRoot}) {
        CapturedLog log;
        StartServerOver(rootPath);
        for (const Case& test : cases) {
            std::string reply = Exchange(Port(), "GET " + test.path + " HTTP/1.0\r\nHost: x\r\n\r\n");
            EXPECT_EQ(StatusOf(reply), test.status) << rootPath << test.path;
            if (test.status == 200) EXPECT_EQ(BodyOf(reply), test.body) << rootPath << test.path;
            std::vector<std::string> why =
                log.LinesStartingWith("debug: Not serving " + rootPath + test.path + ":");
            if (test.ledTo == nullptr) {
                EXPECT_TRUE(why.empty()) << rootPath << test.path;
            } else {
                ASSERT_EQ(why.size(), 1u) << rootPath << test.path;
                EXPECT_NE(why[0].find(test.ledTo), std::string::npos) << why[0];
                EXPECT_NE(why[0].find("outside the server root"), std::string::npos) << why[0];
            }
        }
    }
}

TEST_F(FileServing, AThrottleHeaderGivenTwiceEndsTheConnectionWithoutReply) {
    WriteFile("a.txt", "a");
    StartServer();
    EXPECT_EQ(Exchange(Port(),
                       "GET /a.txt HTTP/1.0\r\nx-kvr-download-bytespersecond: "
                       "1\r\nX-KVR-Download-BytesPerSecond: 2\r\n\r\n"),
              "");
}

TEST_F(FileServing, ARequestedRateAndAGroupSharingItPaceTheTransfers) {
    std::string content = Pattern(256 * 1024);
    WriteFile("t.bin", content);
    StartServer();
    std::string request = "GET /t.bin HTTP/1.0\r\nx-kvr-download-bytespersecond: 262144\r\n";
    auto started = Clock::now();
    EXPECT_EQ(BodyOf(Exchange(Port(), request + "\r\n")), content);
    double alone = std::chrono::duration<double>(Clock::now() - started).count();
    // About one second at 256 KiB/s (the last write goes out early): generous bounds for loaded machines.
    EXPECT_GT(alone, 0.6);
    EXPECT_LT(alone, 5.0);

    // Two transfers of one group share its rate: each takes about twice as long.
    std::string grouped = request + "x-kvr-download-throttlegroup: site\r\n\r\n";
    std::string first, second;
    started = Clock::now();
    std::thread other([&] { second = BodyOf(Exchange(Port(), grouped)); });
    first = BodyOf(Exchange(Port(), grouped));
    other.join();
    double shared = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_EQ(first, content);
    EXPECT_EQ(second, content);
    EXPECT_GT(shared, 1.4);
    EXPECT_LT(shared, 10.0);
}

// A client that asks for dynamic throttling reports each read through the back channel, as the
// relay's own downloader does; the server ends the reply once every byte it sent is reported.
TEST_F(FileServing, ADynamicClientWritingTheBackChannelCompletes) {
    std::string content = Pattern(3 << 20);
    WriteFile("d.bin", content);
    StartServer({{"DynamicThrottleEnabled", "1"}});

    SocketHandle socket = ConnectTo("127.0.0.1", Port());
    std::string request = "GET /d.bin HTTP/1.0\r\nx-kvr-dynamic-enabled: 1\r\n\r\n";
    ASSERT_EQ(::send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));

    std::string channel;
    StringReceiver channelBytes(channel);
    ArrivalTimeWriter reports(channelBytes);
    reports.StartArrivals();
    std::string reply;
    char buffer[16384];
    bool closed = false;
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && WaitReadable(socket.Get(), 5000)) {
        ssize_t got = ::recv(socket.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            closed = got == 0;
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(got));
        auto micros = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch());
        reports.ReceiveArrival(reports.GetTotal(), static_cast<std::uint64_t>(got),
                               static_cast<std::uint64_t>(micros.count()));
        ASSERT_EQ(::send(socket.Get(), channel.data(), channel.size(), MSG_NOSIGNAL),
                  ssize_t(channel.size()));
        channel.clear();
    }
    EXPECT_TRUE(closed);
    EXPECT_NE(HeadOf(reply).find("\r\nx-kvr-sendbackchannel: 1\r\n"), std::string::npos) << HeadOf(reply);
    EXPECT_EQ(BodyOf(reply), content);
}

// A client that sends a byte after its head while a long reply is on its way gets the whole reply
// and then the end: the byte lies unread when the reply is done, so the socket lingers instead of
// closing with a reset that would drop the reply's last bytes, still in the server's send queue. The
// file is larger than the system lets a socket queue, so the reply ends only after the byte came.
TEST_F(FileServing, AByteSentDuringALongReplyStillLetsTheWholeReplyArrive) {
    const std::string content = Pattern(16 << 20);
    WriteFile("long.bin", content);
    StartServer();

    SocketHandle client = ConnectTo("127.0.0.1", Port());
    SendAll(client.Get(), "GET /long.bin HTTP/1.0\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(ReadableWithin(client.Get(), 5000));
    SendAll(client.Get(), "x");

    std::string reply;
    char buffer[16 * 1024];
    ssize_t got = 0;
    while (ReadableWithin(client.Get(), 5000) && (got = ::recv(client.Get(), buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(got, 0) << std::strerror(errno);
    EXPECT_EQ(StatusOf(reply), 200);
    EXPECT_TRUE(BodyOf(reply) == content) << reply.size();
}

// The relay's own outgoing client against its own server: a plain fetch, and a dynamic one where
// the server asks for the back channel and holds the end of its reply until the client has reported
// the arrival of every byte.
TEST_F(FileServing, OurSocketClientFetchesFilesAndReportsTheirArrivalWhenAsked) {
    StartedSocketSystem();
    const std::string content = TenMebibytes();
    WriteFile("ten.bin", content);
    StartServer({{"DynamicThrottleEnabled", "1"}});
    HTTPClientSession session;

    RecordingHttpHandler plain(URL("/ten.bin"));
    PerformHTTPRequest(plain, session, 60'000'000);
    EXPECT_TRUE(plain.body == content);
    EXPECT_FALSE(plain.IsBackChannel());

    RecordingHttpHandler reported(URL("/ten.bin"));
    reported.requestFields = {{"x-kvr-dynamic-enabled", "1"}};
    PerformHTTPRequest(reported, session, 60'000'000);
    EXPECT_NE(reported.head.find("x-kvr-sendbackchannel: 1"), std::string::npos) << reported.head;
    EXPECT_TRUE(reported.IsBackChannel());
    EXPECT_TRUE(reported.body == content);
}

TEST_F(FileServing, EveryRequestWithAPathIsLoggedToTheDaysAccessLog) {
    WriteFile("a.txt", "a");
    StartServer({{"HttpLogDirectoryPath", scratch.Path()}});
    Exchange(Port(), "GET /a.txt?x=1 HTTP/1.0\r\nHost: x\r\n\r\n");
    Exchange(Port(), "GET /missing HTTP/1.0\r\nHost: x\r\n\r\n");
    std::vector<std::string> logs;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path()))
        logs.push_back(entry.path());
    ASSERT_EQ(logs.size(), 1u);
    std::string log = ReadWholeFile(logs[0]);
    EXPECT_NE(log.find(" -- 127.0.0.1 GET /a.txt?x=1\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" -- 127.0.0.1 GET /missing\n"), std::string::npos) << log;
}

}  // namespace

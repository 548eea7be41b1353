#include "relay/register/notification_forwarder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/interruptor.h"
#include "net/socket_system.h"
#include "relay/register/ping_request_http_handler.h"
#include "support/loopback_sockets.h"
#include "support/scripted_http_server.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string SilentRelayURL(const SilentTCPListener& relay) {
    return "http://127.0.0.1:" + std::to_string(relay.Port()) + "/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=x";
}

std::size_t ThreadCount() {
    std::size_t count = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = ::readdir(tasks))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(tasks);
    return count;
}

// Test labels: NotificationForwarderTest tsan
class NotificationForwarderTest : public ::testing::Test {
  protected:
    NotificationForwarderTest() { EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {})); }
};

TEST_F(NotificationForwarderTest, AStopEndsForwardsInFlightWithinASecondAndLeavesNoThread) {
    SilentTCPListener relay;
    // A sanitizer's runtime may start a thread of its own with the first thread the process makes:
    // count after one has come and gone.
    std::thread([] {}).join();
    std::size_t before = ThreadCount();
    Event stop;
    auto forwarder = std::make_unique<NotificationForwarder>(stop, 2, 8);
    for (int forward = 0; forward < 5; ++forward) EXPECT_TRUE(forwarder->Forward({SilentRelayURL(relay)}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    Clock::time_point start = Clock::now();
    stop.Set();
    forwarder.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(ThreadCount(), before);
}

TEST_F(NotificationForwarderTest, DestroyingThePoolBreaksOffItsWorkWithoutAStop) {
    SilentTCPListener relay;
    Event stop;
    auto forwarder = std::make_unique<NotificationForwarder>(stop, 1, 8);
    EXPECT_TRUE(forwarder->Forward({SilentRelayURL(relay)}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Clock::time_point start = Clock::now();
    forwarder.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(NotificationForwarderTest, AFullQueueOrAStoppedPoolDropsTheForward) {
    SilentTCPListener relay;
    Event stop;
    NotificationForwarder forwarder(stop, 1, 2);
    std::size_t accepted = 0;
    for (int forward = 0; forward < 6; ++forward) accepted += forwarder.Forward({SilentRelayURL(relay)}) ? 1 : 0;
    EXPECT_LE(accepted, 3u) << "one in progress and two waiting at most";
    stop.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(forwarder.Forward({SilentRelayURL(relay)}));
}

TEST_F(NotificationForwarderTest, SendsTheRequestAsAGETFromKVRRelay) {
    ScriptedHTTPServer relay([](const std::string&) { return ScriptedHTTPServer::Reply{MakeHTTPReply("Success\r\n1\r\n")}; });
    Event stop;
    {
        NotificationForwarder forwarder(stop);
        forwarder.Forward({"http://127.0.0.1:" + std::to_string(relay.Port()) + "/cgi-bin/vtdaruravidu/ClientRegister.exe?A=1"});
        EXPECT_TRUE(relay.WaitForClosedConnections(1));
    }
    ASSERT_EQ(relay.Exchanges().size(), 1u);
    std::string request = relay.Exchanges()[0].request;
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /cgi-bin/vtdaruravidu/ClientRegister.exe?A=1 HTTP/1.0");
    EXPECT_NE(request.find("\r\nUser-Agent: KVRRelay\r\n"), std::string::npos);
}

struct ReplyCase {
    std::vector<std::string> chunks;
    std::uint32_t count;
    const char* error;
};

TEST(PingRequestHttpHandlerTest, ReadsThePingCountOfTheReply) {
    const ReplyCase cases[] = {
        {{"Success\r\n3\r\n"}, 3, ""},
        {{"Success  12"}, 12, ""},
        {{"Succ", "ess\t\n 7x"}, 7, ""},
        {{"Success"}, 0, "Could not convert ping count to integer"},
        {{"Success\r\nmany"}, 0, "Could not convert ping count to integer"},
        {{"success 1"}, 0, "Message body does not start with 'Success'"},
        {{"\r\nError: Client notification relay loop detected.\r\n"}, 0, "Message body does not start with 'Success'"},
        {{"Success ", std::string(1020, '1')}, 0, "Message body is too long (exceeds 1K)"},
        {{std::string(1024, ' ')}, 0, "Message body does not start with 'Success'"},
    };
    Event stop;
    for (const ReplyCase& c : cases) {
        PingRequestHttpHandler handler("http://127.0.0.1/", stop);
        handler.BeginBody();
        for (const std::string& chunk : c.chunks) handler.ReceiveBody(ConstData(std::string_view(chunk)));
        handler.EndBody();
        EXPECT_EQ(handler.PingCount(), c.count) << c.chunks[0];
        EXPECT_EQ(handler.HasError(), *c.error != 0) << c.chunks[0];
        EXPECT_EQ(handler.ErrorText().substr(0, std::string_view(c.error).size()), c.error) << c.chunks[0];
    }
}

TEST(PingRequestHttpHandlerTest, AStopAbandonsTheRequest) {
    Event stop;
    PingRequestHttpHandler handler("http://127.0.0.1/", stop);
    EXPECT_NO_THROW(handler.CheckForStop());
    stop.Set();
    EXPECT_THROW(handler.CheckForStop(), StopRequest);
}

}  // namespace

#include "net/socket_system.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

// A kernel stand-in that refuses every socket for the first `failures` tries, then offers what
// `offerIPv6` says.
struct ScriptedKernel {
    int failures = 0;
    bool offerIPv6 = true;
    int tries = 0;

    SocketSystem::ProtocolProbe Probe() {
        return [this](int family, int type, int protocol) {
            if (family == AF_INET && type == SOCK_STREAM) ++tries;
            if (tries <= failures) return EMFILE;
            return family == AF_INET6 && !offerIPv6 ? EAFNOSUPPORT : 0;
        };
    }
};

TEST(SocketSystem, StartsOnTheRealKernel) {
    SocketSystem system;
    EXPECT_FALSE(system.IsIPv4Available());
    ASSERT_TRUE(system.Start(0, 0, {}));
    EXPECT_EQ(system.GetState(), SocketSystem::State::Success);
    EXPECT_EQ(system.Describe(), "");
    EXPECT_TRUE(system.IsAvailable(AF_INET, IPPROTO_TCP, SOCK_STREAM));
    EXPECT_TRUE(system.IsAvailable(AF_INET, 0, SOCK_RAW));
    EXPECT_FALSE(system.IsAvailable(AF_INET, IPPROTO_TCP, SOCK_DGRAM));
}

TEST(SocketSystem, NoRetriesMeansOneTryAndNoStopCheck) {
    ScriptedKernel kernel{.failures = 100};
    SocketSystem system(kernel.Probe());
    int checks = 0;
    EXPECT_FALSE(system.Start(0, 5000, [&] { return ++checks, false; }));
    EXPECT_EQ(kernel.tries, 1);
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(system.GetState(), SocketSystem::State::Error);
    EXPECT_EQ(system.Describe(), "Error with error code 24");
    EXPECT_FALSE(system.IsIPv4Available());
}

TEST(SocketSystem, RetriesUntilATrySucceeds) {
    ScriptedKernel kernel{.failures = 2};
    SocketSystem system(kernel.Probe());
    EXPECT_TRUE(system.Start(5, 1, {}));
    EXPECT_EQ(kernel.tries, 3);
    EXPECT_TRUE(system.IsStarted());
}

TEST(SocketSystem, GivesUpAfterTheLastRetry) {
    ScriptedKernel kernel{.failures = 100};
    SocketSystem system(kernel.Probe());
    EXPECT_FALSE(system.Start(3, 1, {}));
    EXPECT_EQ(kernel.tries, 4);
    EXPECT_EQ(system.GetState(), SocketSystem::State::Error);
}

TEST(SocketSystem, AStopRequestDuringTheRetriesEndsStartUpPromptly) {
    ScriptedKernel kernel{.failures = 100};
    SocketSystem system(kernel.Probe());
    std::atomic<bool> stop{false};
    std::thread requester([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop = true;
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(system.Start(25, 5000, [&] { return stop.load(); }));
    auto elapsed = std::chrono::steady_clock::now() - started;
    requester.join();
    EXPECT_EQ(system.GetState(), SocketSystem::State::Stopped);
    EXPECT_EQ(kernel.tries, 1);
    EXPECT_LT(elapsed, std::chrono::seconds(2)) << "the whole start-up would take 125 s";
    EXPECT_EQ(system.Describe(), "Stopped with error code 24");
}

TEST(SocketSystem, FamilyOrderKeepsOnlyAvailableFamilies) {
    ScriptedKernel dualStack;
    SocketSystem both(dualStack.Probe());
    ASSERT_TRUE(both.Start(0, 0, {}));
    EXPECT_TRUE(both.IsIPv6Preferred());
    ScriptedKernel ipv4Only{.offerIPv6 = false};
    SocketSystem justIPv4(ipv4Only.Probe());
    ASSERT_TRUE(justIPv4.Start(0, 0, {}));
    EXPECT_FALSE(justIPv4.IsIPv6Preferred());

    struct Case {
        int choice;
        std::vector<int> withBoth, withIPv4Only;
    } cases[] = {
        {1, {AF_INET6, AF_INET}, {AF_INET}}, {2, {AF_INET6}, {}},
        {3, {AF_INET}, {AF_INET}},           {0, {AF_INET, AF_INET6}, {AF_INET}},
        {7, {AF_INET, AF_INET6}, {AF_INET}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddressFamilyOrder(c.choice, both), c.withBoth) << c.choice;
        EXPECT_EQ(AddressFamilyOrder(c.choice, justIPv4), c.withIPv4Only) << c.choice;
    }
    EXPECT_TRUE(AddressFamilyOrder(1, SocketSystem()).empty());
}

}  // namespace

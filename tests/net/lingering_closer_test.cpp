#include "net/lingering_closer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "loopback_client.h"
#include "net/listening_socket.h"

namespace {

// A connected pair: the client end and the accepted server end with its sending side shut down, as
// a connection hands it to the closer.
struct ClosingPair {
    ListeningSocket listener;
    SocketHandle client;
    SocketHandle server;

    ClosingPair() {
        listener.Open(0, true);
        client = ConnectTo("127.0.0.1", listener.LocalPort());
        EXPECT_TRUE(WaitReadable(listener.Handle(), 5000));
        sockaddr_storage peer{};
        server = AcceptConnection(listener.Handle(), peer);
        ShutdownSocket(server.Get(), 1);
    }

    // True when the client sees the end of the stream (the server side has shut down or closed).
    bool ClientSeesEnd() {
        char byte;
        return WaitReadable(client.Get(), 5000) && ::recv(client.Get(), &byte, 1, 0) == 0;
    }
};

TEST(LingeringCloser, ClosesAtOnceWhenThePeerHasClosedAlready) {
    ClosingPair pair;
    pair.client.Close();
    ASSERT_TRUE(WaitReadable(pair.server.Get(), 5000));  // the peer's end has arrived
    LingeringCloser closer;
    closer.Close(std::move(pair.server));
    EXPECT_EQ(closer.Count(), 0u);
}

TEST(LingeringCloser, LingersUntilThePeerCloses) {
    ClosingPair pair;
    LingeringCloser closer;
    closer.Close(std::move(pair.server));
    EXPECT_EQ(closer.Count(), 1u);
    EXPECT_TRUE(pair.ClientSeesEnd());

    std::string late(100000, 'x');  // bytes arriving after the close are dropped, not answered by a reset
    ASSERT_EQ(::send(pair.client.Get(), late.data(), late.size(), MSG_NOSIGNAL), ssize_t(late.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    closer.Pump();
    EXPECT_EQ(closer.Count(), 1u);

    pair.client.Close();
    // The peer's end arrives behind the late bytes, which a loaded machine may deliver over several pumps.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (closer.Count() != 0 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        closer.Pump();
    }
    EXPECT_EQ(closer.Count(), 0u);
}

TEST(LingeringCloser, ClosesAPeerThatNeverClosesAfterTheLingerTime) {
    ClosingPair pair;
    LingeringCloser closer(50'000);
    closer.Close(std::move(pair.server));
    closer.Pump();
    EXPECT_EQ(closer.Count(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    closer.Pump();
    EXPECT_EQ(closer.Count(), 0u);
}

}  // namespace

#include "net/listening_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "loopback_client.h"
#include "net/socket_errors.h"
#include "net/tls_hooks.h"

namespace {

SocketConnection AcceptWhenReady(ListeningSocket& listener) {
    EXPECT_TRUE(WaitReadable(listener.Handle(), 5000));
    return listener.Accept();
}

TEST(ListeningSocket, DualStackAcceptsBothFamiliesAndReportsIPv4PeersUnmapped) {
    if (!HasIPv6Loopback()) GTEST_SKIP() << "no IPv6 on this host";
    ListeningSocket listener;
    listener.Open(0, false);
    std::uint16_t port = listener.LocalPort();
    ASSERT_NE(port, 0);

    SocketHandle ipv4Client = ConnectTo("127.0.0.1", port);
    SocketConnection ipv4Peer = AcceptWhenReady(listener);
    EXPECT_FALSE(ipv4Peer.Peer().IsIPv6());
    EXPECT_EQ(ipv4Peer.Peer(), IPAddress(127, 0, 0, 1));
    EXPECT_TRUE(ipv4Peer.Peer().IsLoopback());

    SocketHandle ipv6Client = ConnectTo("::1", port);
    SocketConnection ipv6Peer = AcceptWhenReady(listener);
    EXPECT_EQ(ipv6Peer.Peer(), IPv6Loopback());
}

TEST(ListeningSocket, LoopbackOnlyListensOnIPv4LoopbackAlone) {
    ListeningSocket listener;
    listener.Open(0, true);
    std::uint16_t port = listener.LocalPort();
    SocketHandle client = ConnectTo("127.0.0.1", port);
    EXPECT_EQ(AcceptWhenReady(listener).Peer(), IPAddress(127, 0, 0, 1));
    if (HasIPv6Loopback()) {
        EXPECT_THROW(ConnectTo("::1", port), std::runtime_error);
    }
}

TEST(ListeningSocket, TakenPortThrowsAddrInUse) {
    ListeningSocket first;
    first.Open(0, false);
    for (bool loopbackOnly : {false, true}) {
        ListeningSocket second;
        EXPECT_THROW(second.Open(first.LocalPort(), loopbackOnly), SocketAddrInUse);
        EXPECT_FALSE(second.IsOpen());
    }
}

TEST(ListeningSocket, AcceptWithoutPendingConnectionIsASocketError) {
    ListeningSocket listener;
    listener.Open(0, true);
    EXPECT_THROW(listener.Accept(), SocketError);
}

TEST(SocketConnection, ReadsWritesAndReportsThePeersClose) {
    ListeningSocket listener;
    listener.Open(0, true);
    SocketHandle client = ConnectTo("127.0.0.1", listener.LocalPort());
    SocketConnection connection = AcceptWhenReady(listener);

    std::string request = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(::send(client.Get(), request.data(), request.size(), 0), ssize_t(request.size()));
    char buffer[64];
    OutputRange into(buffer, sizeof buffer);
    ASSERT_TRUE(WaitReadable(connection.Handle(), 5000));
    EXPECT_EQ(connection.Read(into), request.size());
    EXPECT_EQ(std::string(buffer, into.begin - reinterpret_cast<Byte*>(buffer)), request);

    OutputRange empty(buffer, buffer);
    EXPECT_EQ(connection.Read(empty), 0u);
    ConstData nothing;
    EXPECT_EQ(connection.Write(nothing), 0u);

    ConstData reply("OK", 2);
    EXPECT_EQ(connection.Write(reply), 2u);
    EXPECT_TRUE(reply.IsEmpty());
    EXPECT_EQ(::recv(client.Get(), buffer, sizeof buffer, 0), 2);

    client.Close();
    ASSERT_TRUE(WaitReadable(connection.Handle(), 5000));
    OutputRange rest(buffer, sizeof buffer);
    EXPECT_THROW(connection.Read(rest), SocketClosedError);
}

// Stands in for the crypto subsystem's TLS session: passes bytes through the socket unchanged and
// records what the connection asked of it.
struct PassThroughSession : TLSConnection {
    int socket;
    std::vector<std::string>* calls;
    std::size_t pending = 0;
    PassThroughSession(int s, std::vector<std::string>* c) : socket(s), calls(c) {}
    std::size_t PendingBytes() override { return pending; }
    std::size_t Read(OutputRange& range) override {
        calls->push_back("read");
        std::size_t count = ReceiveFromSocket(socket, range);
        if (count == 0) throw SocketClosedError();
        return count;
    }
    std::size_t Write(ConstData& range) override {
        calls->push_back("write");
        return SendOnSocket(socket, range);
    }
    void Shutdown() override { calls->push_back("shutdown"); }
};

struct PassThroughContext : TLSServerContext {
    std::vector<std::string> calls;
    std::unique_ptr<TLSConnection> CreateConnection(int socket) override {
        calls.push_back("session");
        return std::make_unique<PassThroughSession>(socket, &calls);
    }
};

TEST(SocketConnection, GoesThroughTheTLSSessionWhenTheListenerHasOne) {
    auto context = std::make_shared<PassThroughContext>();
    ListeningSocket listener;
    listener.Open(0, true, context);
    SocketHandle client = ConnectTo("127.0.0.1", listener.LocalPort());
    SocketConnection connection = AcceptWhenReady(listener);
    EXPECT_FALSE(connection.HasPendingTLSData());

    ConstData reply("hi", 2);
    EXPECT_EQ(connection.Write(reply), 2u);
    char buffer[8];
    EXPECT_EQ(::recv(client.Get(), buffer, sizeof buffer, 0), 2);
    client.Close();
    ASSERT_TRUE(WaitReadable(connection.Handle(), 5000));
    OutputRange into(buffer, sizeof buffer);
    EXPECT_THROW(connection.Read(into), SocketClosedError);
    connection.Close();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(context->calls, (std::vector<std::string>{"session", "write", "read", "shutdown"}));
}

// The server writes a 10 MiB reply and closes at once, with request bytes of the client still unread
// and most of the reply still in the kernel's buffers. The client must still receive every byte and
// then the end of the stream, never a reset.
TEST(SocketConnection, CloseRightAfterTheLastWriteLosesNoReplyBytes) {
    constexpr std::size_t kReplySize = 10 * 1024 * 1024;
    ListeningSocket listener;
    listener.Open(0, true);
    SocketHandle client = ConnectTo("127.0.0.1", listener.LocalPort());
    std::string unreadRequest(4096, 'r');
    ASSERT_EQ(::send(client.Get(), unreadRequest.data(), unreadRequest.size(), 0),
              ssize_t(unreadRequest.size()));

    std::vector<Byte> reply(kReplySize);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<Byte>(i * 7 + i / 4093);

    std::thread server([&] {
        SocketConnection connection = AcceptWhenReady(listener);
        ConstData rest(reply.data(), reply.size());
        while (!rest.IsEmpty()) {
            ASSERT_TRUE(WaitWritable(connection.Handle(), 10000));
            connection.Write(rest);
        }
        connection.Close();
    });

    std::vector<Byte> received;
    received.reserve(kReplySize);
    Byte buffer[65536];
    for (;;) {
        ssize_t count = ::recv(client.Get(), buffer, sizeof buffer, 0);
        ASSERT_GE(count, 0) << "receive failed: " << std::strerror(errno);
        if (count == 0) break;
        received.insert(received.end(), buffer, buffer + count);
        if (received.size() < kReplySize / 2) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    server.join();
    ASSERT_EQ(received.size(), reply.size());
    EXPECT_TRUE(received == reply);

    client.Close();
    for (int i = 0; i < 500 && listener.ClosingConnections().Count() > 0; ++i) {
        listener.ClosingConnections().Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(listener.ClosingConnections().Count(), 0u);
}

// A socket closes at once only when the peer can send nothing more and has left nothing unread;
// otherwise it stays open for the lingering close.
TEST(SocketConnection, ClosesAtOnceOnlyWhenNothingMoreCanComeAndNothingIsUnread) {
    struct Case {
        bool nothingMoreExpected;
        std::string unread;
        bool closesAtOnce;
    };
    for (const Case& test : {Case{false, "", false}, Case{true, "more", false}, Case{true, "", true}}) {
        ListeningSocket listener;
        listener.Open(0, true);
        SocketHandle client = ConnectTo("127.0.0.1", listener.LocalPort());
        SocketConnection connection = AcceptWhenReady(listener);
        if (!test.unread.empty()) {
            ASSERT_EQ(::send(client.Get(), test.unread.data(), test.unread.size(), 0), ssize_t(test.unread.size()));
            ASSERT_TRUE(WaitReadable(connection.Handle(), 5000));
        }
        if (test.nothingMoreExpected) connection.ExpectNothingMore();
        ConstData reply("OK", 2);
        ASSERT_EQ(connection.Write(reply), 2u);

        EXPECT_EQ(connection.CloseIfDone(), test.closesAtOnce) << test.unread;
        EXPECT_EQ(connection.IsOpen(), !test.closesAtOnce) << test.unread;
        char buffer[8];
        EXPECT_EQ(::recv(client.Get(), buffer, sizeof buffer, 0), 2);
        if (test.closesAtOnce) EXPECT_EQ(::recv(client.Get(), buffer, sizeof buffer, 0), 0);  // the end, no reset
    }
}

}  // namespace

#include "net/client_socket.h"

#include <gtest/gtest.h>

#include "loopback_client.h"
#include "net/listening_socket.h"
#include "started_socket_system.h"

namespace {

TEST(SocketAddressEntry, IPv4IsMappedOnlyWhenAskedAndIPv6IsPreferred) {
    bool preferred = StartedSocketSystem().IsIPv6Preferred();
    SocketAddressEntry mapped(IPAddress(10, 0, 0, 1), 80, true);
    EXPECT_EQ(mapped.IsMapped(), preferred);
    EXPECT_EQ(mapped.Family(), preferred ? AF_INET6 : AF_INET);
    EXPECT_EQ(mapped.Length(), preferred ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    EXPECT_EQ(mapped.Port(), 80);
    EXPECT_TRUE(mapped.IsNumericHost());
    if (preferred) EXPECT_EQ(IPAddress(mapped.Address()), ParseIPAddress("::ffff:10.0.0.1"));
    if (preferred)
        EXPECT_EQ(IPAddress(reinterpret_cast<const sockaddr*>(&mapped.Alternate())), IPAddress(10, 0, 0, 1));

    SocketAddressEntry plain(IPAddress(10, 0, 0, 1), 80, false);
    EXPECT_FALSE(plain.IsMapped());
    EXPECT_EQ(plain.Family(), AF_INET);

    SocketAddressEntry literal(ParseIPAddress("::ffff:192.0.2.1"), 443, false);
    EXPECT_TRUE(literal.IsMapped());
    EXPECT_EQ(IPAddress(reinterpret_cast<const sockaddr*>(&literal.Alternate())), IPAddress(192, 0, 2, 1));

    SocketAddressEntry scoped(ParseIPAddress("fe80::1%7"), 1, false);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6*>(scoped.Address())->sin6_scope_id, 7u);
    EXPECT_EQ(IPAddress(scoped.Address()), ParseIPAddress("fe80::1%7"));
}

TEST(Socket, ConnectsOverTheDualStackSocketToIPv4AndIPv6Listeners) {
    const SocketSystem& system = StartedSocketSystem();
    ListeningSocket listener;
    listener.Open(0, false);
    std::vector<IPAddress> targets = {IPAddress(127, 0, 0, 1)};
    if (HasIPv6Loopback()) targets.push_back(IPv6Loopback());
    for (const IPAddress& target : targets) {
        std::unique_ptr<Socket> socket = SocketOptions().TimeOut(5'000'000).Make();
        EXPECT_EQ(socket->LastError(), ENOTSOCK);
        ASSERT_TRUE(socket->Connect(SocketAddressEntry(target, listener.LocalPort(), true)))
            << socket->LastError();
        EXPECT_EQ(socket->IsDualStack(), system.IsIPv6Preferred());
        ASSERT_TRUE(WaitReadable(listener.Handle(), 5000));
        EXPECT_EQ(listener.Accept().Peer(), target);
        EXPECT_TRUE(socket->Close());
        EXPECT_FALSE(socket->IsConnected());
    }
}

TEST(Socket, FailedConnectKeepsTheError) {
    StartedSocketSystem();
    ListeningSocket listener;
    listener.Open(0, true);
    std::uint16_t closedPort = listener.LocalPort();
    listener.Close();
    std::unique_ptr<Socket> socket = SocketOptions().PreferIPv6(false).Make();
    EXPECT_FALSE(socket->Connect(SocketAddressEntry(IPAddress(127, 0, 0, 1), closedPort, false)));
    EXPECT_EQ(socket->LastError(), ECONNREFUSED);
    EXPECT_EQ(socket->Family(), AF_INET);
}

TEST(Socket, EnsureFamilyReopensOnlyWhenTheFamilyChanges) {
    StartedSocketSystem();
    std::unique_ptr<Socket> socket = SocketOptions().PreferIPv6(false).Make();
    ASSERT_TRUE(socket->Open());
    int first = socket->Handle();
    EXPECT_TRUE(socket->EnsureFamily(AF_INET));
    EXPECT_EQ(socket->Handle(), first);
    if (!StartedSocketSystem().IsIPv6Available()) return;
    EXPECT_TRUE(socket->EnsureFamily(AF_INET6));
    EXPECT_EQ(socket->Family(), AF_INET6);
}

TEST(Socket, SendsDatagrams) {
    StartedSocketSystem();
    SocketHandle receiver(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(receiver.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(receiver.Get(), reinterpret_cast<sockaddr*>(&address), &length);

    std::unique_ptr<Socket> sender = SocketOptions().UDP().Make();
    SocketAddressEntry target(IPAddress(127, 0, 0, 1), ntohs(address.sin_port), true);
    EXPECT_EQ(sender->SendTo(ConstData("ping", 4), 0, target), -1);
    EXPECT_EQ(sender->LastError(), ENOTSOCK);
    ASSERT_TRUE(sender->EnsureFamily(target.Family()));
    EXPECT_EQ(sender->SendTo(ConstData("ping", 4), 0, target), 4);
    char buffer[8];
    ASSERT_TRUE(WaitReadable(receiver.Get(), 5000));
    EXPECT_EQ(::recv(receiver.Get(), buffer, sizeof buffer, 0), 4);
}

}  // namespace

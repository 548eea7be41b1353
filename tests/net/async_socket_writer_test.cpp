#include "net/async_socket_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/file_errors.h"
#include "loopback_client.h"
#include "net/listening_socket.h"
#include "net/socket_errors.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// A client socket and the server's non-blocking end of the same connection.
struct LoopbackConnection {
    ListeningSocket listener;
    SocketHandle client;
    SocketConnection server;

    LoopbackConnection() {
        listener.Open(0, true);
        client = ConnectTo("127.0.0.1", listener.LocalPort());
        EXPECT_TRUE(WaitReadable(listener.Handle(), 5000));
        server = listener.Accept();
    }

    // Reads until `count` bytes came or the stream ended.
    std::string Receive(std::size_t count) {
        std::string received;
        char buffer[65536];
        while (received.size() < count) {
            ssize_t n = ::recv(client.Get(), buffer, std::min(sizeof buffer, count - received.size()), 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
        return received;
    }
};

std::string Pattern(std::size_t length) {
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i * 7 % 26);
    return text;
}

// Takes at most `limit` bytes a call into a string, as a slow socket would.
class SlowWriter : public AsyncDataWriter {
  public:
    explicit SlowWriter(std::size_t limit) : m_limit(limit) {}
    std::size_t Write(ConstData range) override {
        std::size_t taken = std::min(m_limit, range.Length());
        written.append(range.Chars(), taken);
        return taken;
    }
    std::string written;

  private:
    std::size_t m_limit;
};

TEST(AsyncSocketWriter, AFullSocketTakesNothingAndDoesNotThrow) {
    LoopbackConnection connection;
    AsyncSocketWriter writer(connection.server);
    std::string block = Pattern(1 << 20);
    std::string expected;
    bool full = false;
    for (int attempt = 0; attempt < 1000 && !full; ++attempt) {
        std::size_t taken = writer.Write(ConstData(block));
        expected.append(block, 0, taken);
        full = taken == 0;
    }
    // (A further write may find room again: the kernel moves queued bytes to the peer in its own time.)
    EXPECT_TRUE(full);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(connection.Receive(expected.size()), expected);
}

TEST(AsyncSocketWriter, AClosedPeerIsASocketError) {
    LoopbackConnection connection;
    AsyncSocketWriter writer(connection.server);
    connection.client.Close();
    std::string block = Pattern(65536);
    EXPECT_THROW(
        {
            for (int attempt = 0; attempt < 100; ++attempt) {
                writer.Write(ConstData(block));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        },
        SocketError);
}

TEST(AsyncSocketWriter, SendsAStretchOfAFileAndReportsItsEnd) {
    TemporaryFolder folder;
    std::string content = Pattern(300'000);
    WriteWholeFile(folder / "file", content);
    PosixPlatform::FileReadingPath file(FileLocation((folder / "file").c_str()));

    LoopbackConnection connection;
    AsyncSocketWriter writer(connection.server);
    ASSERT_TRUE(writer.CanSendFiles());
    std::uint64_t position = 1000;
    std::string received;
    while (position < content.size()) {
        ASSERT_TRUE(WaitWritable(connection.server.Handle(), 5000));
        std::size_t sent = writer.SendFile(file, position, content.size() - position);
        position += sent;
        received += connection.Receive(sent);
    }
    EXPECT_EQ(received, content.substr(1000));
    EXPECT_THROW(writer.SendFile(file, content.size(), 10), EndOfFileError);
    EXPECT_EQ(writer.SendFile(file, 0, 0), 0u);
}

TEST(AsyncDataReceiver, PumpsWithinTheBudgetAndKeepsTheOrderAcrossGrowth) {
    AsyncDataReceiver buffer;
    buffer.Begin();
    std::string content = Pattern(100'000);
    SlowWriter writer(3000);
    std::size_t fed = 0;
    while (fed < content.size() || !buffer.IsEmpty()) {
        if (fed < content.size()) {
            std::size_t piece = std::min<std::size_t>(7000, content.size() - fed);
            buffer.Receive(ConstData(content.data() + fed, piece));
            fed += piece;
        }
        std::size_t before = buffer.GetSize();
        std::size_t pumped = buffer.Pump(writer, 5000);
        EXPECT_LE(pumped, 3000u);
        EXPECT_EQ(buffer.GetSize(), before - pumped);
    }
    EXPECT_EQ(writer.written, content);
    EXPECT_EQ(buffer.Pump(writer, 5000), 0u);
}

TEST(AsyncDataReceiver, BeginEmptiesAndAZeroBudgetWritesNothing) {
    AsyncDataReceiver buffer;
    buffer.Begin();
    buffer.Receive(ConstData(std::string_view("hello")));
    SlowWriter writer(100);
    EXPECT_EQ(buffer.Pump(writer, 0), 0u);
    EXPECT_EQ(buffer.Pump(writer, 2), 2u);
    EXPECT_EQ(writer.written, "he");
    buffer.Begin();
    EXPECT_TRUE(buffer.IsEmpty());
}

}  // namespace

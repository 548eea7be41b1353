// Request bodies of plug-ins: held by the loop before a plug-in takes the request, and clients that
// send them too slowly dropped, before and after the plug-in took the request.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/http_test_support.h"

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kHeld = HTTPRequest::kMostHeldBodyBytes;

std::string PostHead(const char* path, std::size_t contentLength) {
    return "POST " + std::string(path) + " HTTP/1.0\r\nContent-Length: " + std::to_string(contentLength) + "\r\n\r\n";
}

// Reads each body whole and notes what came of it: "body <length>" or the class of the failure.
class BodyReaderPlugIn : public HTTPPlugIn {
  public:
    BodyReaderPlugIn() : HTTPPlugIn("reader", true) {}

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
        std::string outcome;
        try {
            outcome = "body " + std::to_string(InspectPlugIn::ReadBody(*interface).size());
            HTTPClientWriter writer(*interface);
            SendPlainTextResponse(writer, outcome, 200, false, false);
        } catch (...) {
            outcome = CurrentExceptionText();
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_outcomes.push_back(outcome);
    }

    std::vector<std::string> Outcomes() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_outcomes;
    }

  private:
    std::mutex m_lock;
    std::vector<std::string> m_outcomes;
};

class SlowRequestBodyTest : public ::testing::Test {
  protected:
    TemporaryRegistry m_registry;
    HTTPServerSettings m_settings = TestServerSettings();
    PlugInPathTable m_table;
};

// A client that sends its request in steps: `first` at once, then `perTick` bytes of `rest` every
// tick, until it has sent everything or the server closed the connection.
struct PacedClient {
    const char* name;
    std::string first;
    std::string rest;
    std::size_t perTick;
    SocketHandle socket;
    std::string reply;
    bool closed = false;
    std::chrono::steady_clock::duration closedAfter{};
};

// Drives the clients every 100 ms until all of them were closed or the time ran out.
void DriveUntilClosed(std::vector<PacedClient>& clients, std::uint16_t port, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    for (PacedClient& client : clients) {
        client.socket = ConnectTo("127.0.0.1", port);
        SendAll(client.socket.Get(), client.first);
    }
    for (bool open = true; open && std::chrono::steady_clock::now() - start < limit;) {
        std::this_thread::sleep_for(100ms);
        open = false;
        for (PacedClient& client : clients) {
            if (client.closed) continue;
            char buffer[4096];
            while (ReadableWithin(client.socket.Get(), 0) && !client.closed) {
                const ssize_t got = ::recv(client.socket.Get(), buffer, sizeof buffer, 0);
                if (got > 0) {
                    client.reply.append(buffer, static_cast<std::size_t>(got));
                } else {
                    client.closed = true;
                    client.closedAfter = std::chrono::steady_clock::now() - start;
                }
            }
            if (client.closed) continue;
            open = true;
            const std::size_t count = std::min(client.perTick, client.rest.size());
            if (count == 0) continue;
            ::send(client.socket.Get(), client.rest.data(), count, MSG_NOSIGNAL);
            client.rest.erase(0, count);
        }
    }
}

}  // namespace

// Test labels: SlowRequestBodyTest tsan
// Each silent client would otherwise hold one of the plug-in's threads for as long as it stays.
TEST_F(SlowRequestBodyTest, ClientsThatSendNoBodyTakeNoThread) {
    WriteNamedSettings(m_registry, {{"_HTTPServer_ThreadLimit_inspect", "1"}});
    InspectPlugIn inspect;
    RegisterPlugInNames(m_table, inspect);
    RunningServer server(m_settings, m_table);

    std::vector<SocketHandle> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(ConnectTo("127.0.0.1", server.Port()));
        SendAll(silent.back().Get(), PostHead("/inspect", 1000) + "part");
    }
    ASSERT_TRUE(Eventually([&] { return server.Server().connections == 3; }));
    EXPECT_EQ(inspect.RunningThreads(), 0);

    const std::string reply = Exchange(server.Port(), PostHead("/inspect", 5) + "hello");
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), "method=POST\nurl=/inspect\nx-a=\nbody=hello");

    // A body that comes in the end is served as ever.
    SendAll(silent[0].Get(), std::string(996, 's'));
    const std::string late = ReceiveUntilClosed(silent[0].Get());
    EXPECT_EQ(late.substr(late.find("\r\n\r\n") + 4),
              "method=POST\nurl=/inspect\nx-a=\nbody=part" + std::string(996, 's'));
}

// Without a usable length there is no body to wait for: the plug-in gets the request at once and meets
// a malformed length itself, long before the read time-out.
TEST_F(SlowRequestBodyTest, ARequestWithoutAUsableLengthGoesToThePlugInAtOnce) {
    InspectPlugIn inspect;
    RegisterPlugInNames(m_table, inspect);
    RunningServer server(m_settings, m_table);
    struct Case {
        const char* lengthField;
        const char* reply;
    };
    for (const Case& c : {Case{"", "HTTP/1.1 200 OK"}, Case{"Content-Length: 0\r\n", "HTTP/1.1 200 OK"},
                          Case{"Content-Length: ten\r\n", ""}}) {
        SCOPED_TRACE(c.lengthField);
        const auto start = std::chrono::steady_clock::now();
        const std::string reply =
            Exchange(server.Port(), "POST /inspect HTTP/1.0\r\nHost: h\r\n" + std::string(c.lengthField) + "\r\n");
        EXPECT_EQ(StatusLineOf(reply), c.reply);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    }
}

// An inline plug-in runs on the loop: a client slow to send its body would stop the whole server.
TEST_F(SlowRequestBodyTest, AnInlinePlugInRunsOnlyOnceItsBodyIsIn) {
    InspectPlugIn inlinePlugIn("inline", false);
    InspectPlugIn threaded;
    RegisterPlugInNames(m_table, inlinePlugIn);
    RegisterPlugInNames(m_table, threaded);
    RunningServer server(m_settings, m_table);

    SocketHandle slow = ConnectTo("127.0.0.1", server.Port());
    SendAll(slow.Get(), PostHead("/inline", 6) + "ab");
    ASSERT_TRUE(Eventually([&] { return server.Server().connections == 1; }));
    EXPECT_EQ(StatusLineOf(Exchange(server.Port(), "GET /inspect HTTP/1.0\r\nHost: h\r\n\r\n")), "HTTP/1.1 200 OK");

    SendAll(slow.Get(), "cdef");
    const std::string reply = ReceiveUntilClosed(slow.Get());
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), "method=POST\nurl=/inline\nx-a=\nbody=abcdef");
}

// With a read time-out of 1 s and the default minimum of 1024 bytes per second: silent and trickling
// clients are closed without a reply whether they stall within the held bytes (on the loop) or after
// them (on the plug-in's thread, which then sees HTTPPlugInTimeoutException and is freed), while a
// client at 20 KiB/s sends 100 KiB across both and is answered.
TEST_F(SlowRequestBodyTest, SilentAndTricklingClientsAreDroppedAndASteadyOneCompletes) {
    CapturedLog log;
    m_settings.readTimeOut = 1'000'000;
    ASSERT_EQ(m_settings.minimumBodyBytesPerSecond, 1024u);
    BodyReaderPlugIn reader;
    RegisterPlugInNames(m_table, reader);
    RunningServer server(m_settings, m_table);

    const std::string held(kHeld, 'h');
    std::vector<PacedClient> clients;
    clients.push_back({"silent before the plug-in", PostHead("/reader", 1000), "", 0});
    clients.push_back({"trickling before the plug-in", PostHead("/reader", 1000), std::string(1000, 't'), 1});
    clients.push_back({"silent on the plug-in's thread", PostHead("/reader", kHeld + 1000) + held, "", 0});
    clients.push_back(
        {"trickling on the plug-in's thread", PostHead("/reader", kHeld + 1000) + held, std::string(1000, 't'), 1});
    clients.push_back({"steady at 20 KiB/s", PostHead("/reader", 100 * 1024), std::string(100 * 1024, 's'), 2048});
    DriveUntilClosed(clients, server.Port(), 15s);

    for (const PacedClient& client : clients) {
        SCOPED_TRACE(client.name);
        EXPECT_TRUE(client.closed);
        if (std::string(client.name).starts_with("steady")) {
            EXPECT_EQ(client.reply.substr(client.reply.find("\r\n\r\n") + 4), "body 102400");
        } else {
            EXPECT_EQ(client.reply, "");
            EXPECT_GE(client.closedAfter, 900ms);
            EXPECT_LT(client.closedAfter, 5s);
        }
    }
    EXPECT_TRUE(Eventually([&] { return reader.Outcomes().size() == 3; }));
    std::vector<std::string> outcomes = reader.Outcomes();
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes, (std::vector<std::string>{"body 102400", "class HTTPPlugInTimeoutException",
                                                  "class HTTPPlugInTimeoutException"}));
    EXPECT_TRUE(Eventually([&] { return reader.RunningThreads() == 0; }));

    std::vector<std::string> closings = log.LinesStartingWith("debug: Closing HTTP connection on ");
    std::sort(closings.begin(), closings.end());
    const std::string silent =
        "debug: Closing HTTP connection on 127.0.0.1: no request body bytes for longer than the read time-out";
    const std::string slow = "debug: Closing HTTP connection on 127.0.0.1: request body slower than 1024 bytes per second";
    EXPECT_EQ(closings, (std::vector<std::string>{silent, silent, slow, slow}));
}

// One attempt at a download target's file from a scripted source, over each transport.
#include "relay/download/source_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "relay/download/download_files.h"
#include "relay/download/download_test_support.h"
#include "net/started_socket_system.h"
#include "relay/download/relay_download_http_handler.h"
#include "support/scripted_http_server.h"

namespace {

using Reply = ScriptedHTTPServer::Reply;
using Clock = std::chrono::steady_clock;

// The file of the tests: 2000 bytes whose every byte tells its position.
std::string FileBytes(std::size_t from = 0, std::size_t to = 2000) {
    std::string bytes;
    for (std::size_t at = from; at < to; ++at) bytes += static_cast<char>('a' + at % 23);
    return bytes;
}

std::string RangeReply(std::size_t from, std::size_t total = 2000) {
    return MakeHTTPReply(FileBytes(from, total),
                         "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(total - 1) + "/" +
                             std::to_string(total) + "\r\n",
                         "HTTP/1.0 206 Partial Content");
}

// The value of a request field as the server received it; "absent" without one.
std::string FieldOf(const std::string& request, const std::string& name) {
    const std::size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "absent";
    const std::size_t begin = at + name.size() + 4;
    return request.substr(begin, request.find("\r\n", begin) - begin);
}

// Test labels: SourceTransferTest tsan
// A relay's download settings and state, and a dynamic target of the 2000-byte file whose progress
// file lies in the active-downloads folder. The parameter chooses the transport: true the libcurl
// one, false the socket client.
class SourceTransferTest : public DownloadSettingsFixture, public ::testing::WithParamInterface<bool> {
  protected:
    static void SetUpTestSuite() { StartedSocketSystem(); }

    SourceTransferTest() {
        UseSettings({});
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
        std::filesystem::create_directories(std::filesystem::path(Progress()).parent_path());
    }

    void UseSettings(std::vector<std::pair<std::string, std::string>> settings) {
        settings.push_back({"_KVRGather_Comm_UseUrlMoniker", GetParam() ? "1" : "0"});
        WriteSettings(settings);
    }

    std::string Progress() const { return m_settings.GetActiveDownloadsFolder().GetPathString() + "/part"; }
    std::string Held() const { return ReadWholeFile(Progress()); }

    // Runs the transfer against the server: "done", or the failure's text.
    std::string Transfer(const ScriptedHTTPServer& server, const DownloadRequestTarget& target) {
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/vtmirror/downloads/sha1/x";
        const FileLocation progress = Location(Progress());
        const ParentRelayConfiguration parent;
        try {
            TransferFromSource({
                .target = target,
                .url = url,
                .progressFile = progress,
                .settings = m_settings,
                .parent = parent,
                .state = *m_state,
                .interruptor = m_interruptor,
                .stopEvent = m_stop,
            });
            return "done";
        } catch (const std::exception& failure) {
            return failure.what();
        }
    }
    std::string Transfer(const ScriptedHTTPServer& server) { return Transfer(server, m_target); }

    const DownloadRequestTarget m_target =
        DownloadRequestTarget::Dynamic(7, FilledDigest(1), 2000, "http://site/file.bin");
    std::unique_ptr<DownloadState> m_state;
    ThreadInterruptor m_interruptor;
    Event m_stop;
};

TEST_P(SourceTransferTest, AFreshFileAsksFromByteZeroAndTakesTheWholeBody) {
    ScriptedHTTPServer server([](const std::string&) { return Reply{MakeHTTPReply(FileBytes())}; });
    EXPECT_EQ(Transfer(server), "done");
    EXPECT_EQ(Held(), FileBytes());
    const std::string request = server.Exchanges().at(0).request;
    EXPECT_TRUE(request.starts_with("GET /vtmirror/downloads/sha1/x HTTP/1.")) << request;
    EXPECT_EQ(FieldOf(request, "Range"), "bytes=0-");
    EXPECT_EQ(FieldOf(request, "User-Agent"), "Veltra KVRGather 8.0.627.0");
}

// A partial file of 1000 bytes asks for the rest; how the reply is taken depends on its head.
TEST_P(SourceTransferTest, APartialFileIsResumedOrReplacedAsTheReplySays) {
    const struct {
        const char* name;
        std::string reply;
        std::string outcome;
        std::string held;
    } cases[] = {
        {"the rest, appended", RangeReply(1000), "done", FileBytes()},
        {"a range from another byte", RangeReply(500), "Received bad content-range header from server",
         FileBytes(0, 1000)},
        {"a range whose last byte is not the end",
         MakeHTTPReply(FileBytes(1000, 1010), "Content-Range: bytes 1000-1009/2001\r\n", "HTTP/1.0 206 Partial Content"),
         "Received bad content-range header from server", FileBytes(0, 1000)},
        {"the whole file without a range", MakeHTTPReply(FileBytes()), "done", FileBytes()},
        {"the download service's whole file",
         MakeHTTPReply(FileBytes(), "x-kvr-downloadservice-contentlength: 2000\r\n", "HTTP/1.0 206 Partial Content"),
         "done", FileBytes()},
        {"a download service length that is no number",
         MakeHTTPReply(FileBytes(), "x-kvr-downloadservice-contentlength: 2k\r\n"),
         "Received bad content-length header from server", FileBytes(0, 1000)},
        {"a 206 that says neither where nor how long",
         MakeHTTPReply(FileBytes(1000), "", "HTTP/1.0 206 Partial Content"),
         "Received bad content-range header from server", FileBytes(0, 1000)},
        {"a total other than the target's size", RangeReply(1000, 2001),
         "Requested size 2000 does not match actual size 2001", FileBytes(0, 1000)},
        {"a refusal", MakeHTTPReply("gone", "", "HTTP/1.0 404 Not Found"), "Unexpected HTTP response: 404 Not Found",
         FileBytes(0, 1000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(Progress(), FileBytes(0, 1000));
        ScriptedHTTPServer server([&](const std::string&) { return Reply{c.reply}; });
        EXPECT_EQ(Transfer(server), c.outcome);
        EXPECT_EQ(FieldOf(server.Exchanges().at(0).request, "Range"), "bytes=1000-");
        EXPECT_EQ(Held(), c.held);
    }
}

// The head promises the rest of the file but the body stops half-way: the transfer fails, what came
// stays, and the next attempt asks from where it stopped.
TEST_P(SourceTransferTest, ABodyThatStopsShortOfTheTotalFailsAndIsResumedLater) {
    ScriptedHTTPServer cut([](const std::string&) {
        return Reply{MakeHTTPReply(FileBytes(0, 1000), "Content-Range: bytes 0-1999/2000\r\n")};
    });
    EXPECT_EQ(Transfer(cut), "The download ended at byte 1000 of 2000");
    EXPECT_EQ(Held(), FileBytes(0, 1000));

    ScriptedHTTPServer rest([](const std::string&) { return Reply{RangeReply(1000)}; });
    EXPECT_EQ(Transfer(rest), "done");
    EXPECT_EQ(FieldOf(rest.Exchanges().at(0).request, "Range"), "bytes=1000-");
    EXPECT_EQ(Held(), FileBytes());
}

TEST_P(SourceTransferTest, AConnectionLostMidBodyKeepsWhatArrived) {
    ScriptedHTTPServer lost([](const std::string&) {
        const std::string whole = RangeReply(0);
        return Reply{whole.substr(0, whole.size() - 1000), false, true};
    });
    EXPECT_NE(Transfer(lost), "done");
    EXPECT_EQ(Held(), FileBytes(0, 1000));
}

// A file already whole asks for the range at its end. A relay answers it with an empty 206; a server
// that refuses it with 416 leaves the file to its size.
TEST_P(SourceTransferTest, AWholeProgressFileFinishesWithoutItsBytesAgain) {
    const std::string emptyAtEnd = MakeHTTPReply("", "Content-Range: bytes 2000-1999/2000\r\n", "HTTP/1.0 206 Partial Content");
    const std::string refused = MakeHTTPReply("", "", "HTTP/1.0 416 Requested Range Not Satisfiable");
    for (const std::string& reply : {emptyAtEnd, refused}) {
        WriteWholeFile(Progress(), FileBytes());
        ScriptedHTTPServer server([&](const std::string&) { return Reply{reply}; });
        EXPECT_EQ(Transfer(server), "done");
        EXPECT_EQ(server.Exchanges().size(), 1u);
        EXPECT_EQ(FieldOf(server.Exchanges().at(0).request, "Range"), "bytes=2000-");
        EXPECT_EQ(Held(), FileBytes());
    }
}

// A refused range on a file that is not known to be whole (a URL request has no size; a file longer
// than its target) drops the file and asks for all of it once more.
TEST_P(SourceTransferTest, ARefusedRangeOfAnUnknownFileStartsAgainFromByteZero) {
    const DownloadRequestTarget list = DownloadRequestTarget::URLRequest(7);
    for (const DownloadRequestTarget& target : {list, m_target}) {
        WriteWholeFile(Progress(), FileBytes(0, 2100));
        ScriptedHTTPServer server([](const std::string& request) {
            if (FieldOf(request, "Range") != "bytes=0-")
                return Reply{MakeHTTPReply("", "", "HTTP/1.0 416 Requested Range Not Satisfiable")};
            return Reply{MakeHTTPReply(FileBytes())};
        });
        EXPECT_EQ(Transfer(server, target), "done");
        ASSERT_EQ(server.Exchanges().size(), 2u);
        EXPECT_EQ(FieldOf(server.Exchanges().at(0).request, "Range"), "bytes=2100-");
        EXPECT_EQ(Held(), FileBytes());
    }
    // Refused again from byte 0: the attempt fails.
    WriteWholeFile(Progress(), FileBytes(0, 10));
    ScriptedHTTPServer refusing(
        [](const std::string&) { return Reply{MakeHTTPReply("", "", "HTTP/1.0 416 Requested Range Not Satisfiable")}; });
    EXPECT_EQ(Transfer(refusing), "Unexpected HTTP response: 416 Requested Range Not Satisfiable");
    EXPECT_EQ(refusing.Exchanges().size(), 2u);
}

TEST_P(SourceTransferTest, ThrottleWishesGoWithTheRequest) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> settings;
        std::string rate, group;
    } cases[] = {
        {"no rate: no group either", {{"_KVRGather_Download_ThrottleGroup", "site"}}, "absent", "absent"},
        {"a rate without group",
         {{"_KVRGather_Download_LimitBytesPerSecond", "5000"}, {"_KVRGather_Download_ThrottleGroup", ""}},
         "5000",
         "absent"},
        {"a rate and its group",
         {{"_KVRGather_Download_LimitBytesPerSecond", "5000"}, {"_KVRGather_Download_ThrottleGroup", "site"}},
         "5000",
         "site"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UseSettings(c.settings);
        std::filesystem::remove(Progress());
        ScriptedHTTPServer server([](const std::string&) { return Reply{MakeHTTPReply(FileBytes())}; });
        ASSERT_EQ(Transfer(server), "done");
        const std::string request = server.Exchanges().at(0).request;
        EXPECT_EQ(FieldOf(request, "x-kvr-download-bytespersecond"), c.rate);
        EXPECT_EQ(FieldOf(request, "x-kvr-download-throttlegroup"), c.group);
    }
}

// The stop comes while the source has not answered yet. The socket client asks the worker's
// interruptor only between its steps, so there only the stop event ends the wait.
TEST_P(SourceTransferTest, AStopEndsTheTransferAtOnce) {
    std::atomic<bool> released{false};
    ScriptedHTTPServer silent([&](const std::string&) {
        for (int wait = 0; wait < 500 && !released; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Reply{MakeHTTPReply(FileBytes())};
    });
    for (bool byEvent : {false, true}) {
        if (!byEvent && !GetParam()) continue;
        SCOPED_TRACE(byEvent ? "the stop event" : "the worker's interruptor");
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (byEvent)
                m_stop.Set();
            else
                m_interruptor.SetStopFlag(true);
        });
        const auto started = Clock::now();
        EXPECT_EQ(Transfer(silent), "class StopRequest");
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2000));
        stopper.join();
        m_interruptor.SetStopFlag(false);
    }
    released = true;
}

// The socket client also carries the dynamic-throttle wishes, which libcurl leaves out.
TEST_P(SourceTransferTest, DynamicThrottleWishesGoWithTheRequest) {
    UseSettings({{"_KVRGather_Download_DynamicThrottleEnabled", "1"},
                 {"_KVRGather_Download_DynamicThrottleMaxBytesPerSecond", "90000"},
                 {"_KVRGather_Download_DynamicThrottleMinBytesPerSecond", "1000"},
                 {"_KVRGather_Download_DynamicThrottlePercentage", "40"}});
    ScriptedHTTPServer server([](const std::string&) { return Reply{MakeHTTPReply(FileBytes())}; });
    ASSERT_EQ(Transfer(server), "done");
    const std::string request = server.Exchanges().at(0).request;
    const bool carried = !GetParam();
    EXPECT_EQ(FieldOf(request, "x-kvr-dynamic-enabled"), carried ? "1" : "absent");
    EXPECT_EQ(FieldOf(request, "x-kvr-dynamic-maxbytespersecond"), carried ? "90000" : "absent");
    EXPECT_EQ(FieldOf(request, "x-kvr-dynamic-minbytespersecond"), carried ? "1000" : "absent");
    EXPECT_EQ(FieldOf(request, "x-kvr-dynamic-percentage"), carried ? "40" : "absent");
}

INSTANTIATE_TEST_SUITE_P(BothTransports, SourceTransferTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Curl" : "SocketClient";
                         });

}  // namespace

#include "relay/download/relay_upstream_download_requester.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net/started_socket_system.h"
#include "relay/download/download_manager_fixture.h"
#include "relay/download/versioned_object_list.h"
#include "support/captured_log.h"
#include "support/scripted_http_server.h"

using namespace std::chrono_literals;

namespace {

using Reply = ScriptedHTTPServer::Reply;

DownloadRequestTarget Indexed(std::uint32_t index) {
    return DownloadRequestTarget::Indexed(7, index, "http://site/" + std::to_string(index));
}

std::string Available(std::uint32_t index) { return "aid=7,index=" + std::to_string(index) + ",hash=null,status=Available\n"; }
std::string InProcess(std::uint32_t index) { return "aid=7,index=" + std::to_string(index) + ",hash=null,status=InProcess\n"; }

// Test labels: RelayUpstreamDownloadRequesterTest tsan
// The fixture's manager, whose added downloads show in what its downloader started; the requester
// runs its exchanges on a thread group of the test's, joined before they are looked at.
class RelayUpstreamDownloadRequesterTest : public DownloadManagerFixture {
  protected:
    static void SetUpTestSuite() {
        DownloadManagerFixture::SetUpTestSuite();
        StartedSocketSystem();
    }

    // The parent answers every post with `reply`.
    void ParentAnswers(std::string reply) {
        m_parent = std::make_unique<ScriptedHTTPServer>([reply](const std::string&) { return Reply{reply}; });
        WriteSettings({{"__Relay_Control_Server1", "http://127.0.0.1:" + std::to_string(m_parent->Port())}});
    }

    // One exchange for the targets, then the work pass that starts what it handed back; the texts
    // of the targets started.
    std::vector<std::string> Request(const std::vector<DownloadRequestTarget>& targets) {
        Downloader().started.clear();
        ThreadGroup threads;
        m_requester.RequestDownloads(targets, threads, m_interruptor);
        threads.JoinAll();
        Manager().DoWork();
        return Downloader().started;
    }
    std::string PostedBody(std::size_t exchange) const {
        const std::string request = m_parent->Exchanges().at(exchange).request;
        return request.substr(request.find("\r\n\r\n") + 4);
    }

    RelayUpstreamDownloadRequester m_requester{Manager(), m_stop};
    ThreadInterruptor m_interruptor;
    std::unique_ptr<ScriptedHTTPServer> m_parent;
};

TEST_F(RelayUpstreamDownloadRequesterTest, StartsTheTargetsTheParentHasInItsOrder) {
    ParentAnswers(MakeHTTPReply("0\n" + Available(3) + InProcess(1) + Available(2) + Available(9)));
    EXPECT_EQ(Request({Indexed(1), Indexed(2), Indexed(3)}),
              (std::vector<std::string>{downloadRequestTargetText(Indexed(3)), downloadRequestTargetText(Indexed(2))}));
    std::string expected;
    StringReceiver text(expected);
    WriteDownloadRequestTargetList({Indexed(1), Indexed(2), Indexed(3)}, text);
    EXPECT_EQ(PostedBody(0), expected);
    EXPECT_TRUE(m_parent->Exchanges().at(0).request.starts_with("POST /DownloadRequest HTTP/1.")) ;
}

TEST_F(RelayUpstreamDownloadRequesterTest, ATargetAskedTwiceIsSentTwiceAndStartedOnce) {
    ParentAnswers(MakeHTTPReply("0\n" + Available(1) + Available(1)));
    EXPECT_EQ(Request({Indexed(1), Indexed(1)}), std::vector<std::string>{downloadRequestTargetText(Indexed(1))});
    EXPECT_EQ(PostedBody(0), "0\n" + downloadRequestTargetText(Indexed(1)) + "\n" +
                                 downloadRequestTargetText(Indexed(1)) + "\n");
}

TEST_F(RelayUpstreamDownloadRequesterTest, ARefusingParentStartsNothing) {
    ParentAnswers(MakeHTTPReply("0\n" + Available(1), "", "HTTP/1.0 500 Internal Server Error"));
    EXPECT_TRUE(Request({Indexed(1)}).empty());
}

// Without a parent to ask, the children hear InProcess for ever: that must reach the log, once a
// minute rather than at every exchange.
TEST_F(RelayUpstreamDownloadRequesterTest, AMissingParentURLIsLoggedOnceAMinute) {
    CapturedLog log;
    WriteSettings({{"__Relay_Control_Server1", ""}});
    EXPECT_TRUE(Request({Indexed(1)}).empty());
    EXPECT_TRUE(Request({Indexed(2)}).empty());
    EXPECT_EQ(log.LinesStartingWith("critical: Download requests to the parent failed: "),
              std::vector<std::string>{"critical: Download requests to the parent failed: The parent relay URL "
                                       "(\"Server1\") is not a URL: \"\""});
}

TEST_F(RelayUpstreamDownloadRequesterTest, TheManagersInterruptorEndsAnExchange) {
    std::atomic<bool> answered{false};
    ScriptedHTTPServer silent([&](const std::string&) {
        for (int wait = 0; wait < 1000 && !answered; ++wait) std::this_thread::sleep_for(10ms);
        return Reply{MakeHTTPReply("0\n" + Available(1))};
    });
    WriteSettings({{"__Relay_Control_Server1", "http://127.0.0.1:" + std::to_string(silent.Port())}});
    ThreadGroup threads;
    m_requester.RequestDownloads({Indexed(1)}, threads, m_interruptor);
    std::this_thread::sleep_for(300ms);
    const auto stopped = std::chrono::steady_clock::now();
    m_interruptor.SetStopFlag(true);
    threads.JoinAll();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
    answered = true;
    Manager().DoWork();
    EXPECT_TRUE(Downloader().started.empty());
}

}  // namespace

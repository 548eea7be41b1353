// Clients slow to send their reports to the post-results plug-in of a running relay: they must never
// keep other clients from posting or the relay from answering.
//
// The run is short, with a read time-out of 10 s (tests/e2e/slow_body_run.h).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e/relay_process.h"
#include "e2e/slow_body_run.h"
#include "support/scripted_http_server.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/PostResults.exe";

}  // namespace

// 500 clients send the head of a report and nothing more, 500 send one byte every 5 s. Meanwhile the
// plug-in's version page and the probe file are answered within a second every second, the slow
// connections are closed without a reply, and a client that posts a 512 KiB report at 20 KiB/s gets
// it accepted. The parent takes every batch, so the relay's own loopback clients are never refused.
TEST(SlowPostResultsTest, SlowReportsNeverKeepOtherClientsFromPosting) {
    ScriptedHTTPServer root([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("", "x-veltra-itclient-status: 1\r\n")};
    });
    RelayProcess relay;
    relay.SetClientSetting("_KVRRelay_HTTPServer_ReadTimeOut", "10");
    relay.SetClientSetting("_KVRRelay_PostResults_ParentRelayURL",
                           "http://127.0.0.1:" + std::to_string(root.Port()) + kPath);
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    SlowBodyRunOptions options;
    options.slowTarget = kPath;
    options.duration = 30s;
    options.checkedTargets = {kPath, "/vtmirror/downloads/0"};
    options.steadyTarget = kPath;
    options.steadyBody = std::string(512 * 1024, 'r');
    const SlowBodyRunResult result = RunSlowBodies(relay, options);

    EXPECT_GE(result.checks, 2 * static_cast<int>(options.duration.count()));
    EXPECT_EQ(result.failedChecks, std::vector<std::string>());
    EXPECT_EQ(result.slowAnswered, 0);
    EXPECT_EQ(result.slowStillOpen, 0);
    EXPECT_NE(result.steadyReply.find("x-veltra-itclient-status: 1\r\n"), std::string::npos)
        << result.steadyReply;
    EXPECT_EQ(relay.Stop(), 0);
}

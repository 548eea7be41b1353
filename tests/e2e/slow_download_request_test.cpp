// Child relays slow to send their download requests to the DownloadRequest plug-in of a running
// relay: they must never keep other clients waiting.
//
// The run is short, with a read time-out of 10 s (tests/e2e/slow_body_run.h).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e/relay_process.h"
#include "e2e/slow_body_run.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/DownloadRequest";

// A request for `count` files known by their SHA-1 alone.
std::string DynamicTargets(int count) {
    std::string body = "0\n";
    for (int target = 0; target < count; ++target) {
        char sha1[41];
        std::snprintf(sha1, sizeof sha1, "%040x", target + 1);
        body += "aid=30,index=null,sha1=" + std::string(sha1) + ",size=100,url=http%3A%2F%2Fsite.invalid%2F" +
                std::to_string(target) + "\n";
    }
    return body;
}

}  // namespace

// 500 relays send the head of a download request and nothing more, 500 send one byte every 5 s.
// Meanwhile the probe file is served within a second every second, the slow connections are closed
// without a reply, and a relay that posts 5,000 targets (about 540 KiB) at 20 KiB/s has each answered.
TEST(SlowDownloadRequestTest, SlowRequestsNeverKeepOtherClientsWaiting) {
    RelayProcess relay;
    relay.SetClientSetting("_KVRRelay_HTTPServer_ReadTimeOut", "10");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    SlowBodyRunOptions options;
    options.slowTarget = kPath;
    options.duration = 30s;
    options.checkedTargets = {"/vtmirror/downloads/0"};
    options.steadyTarget = kPath;
    options.steadyBody = DynamicTargets(5000);
    const SlowBodyRunResult result = RunSlowBodies(relay, options);

    EXPECT_GE(result.checks, static_cast<int>(options.duration.count()));
    EXPECT_EQ(result.failedChecks, std::vector<std::string>());
    EXPECT_EQ(result.slowAnswered, 0);
    EXPECT_EQ(result.slowStillOpen, 0);
    EXPECT_TRUE(result.steadyReply.starts_with("HTTP/1.1 200 OK\r\n")) << result.steadyReply.substr(0, 300);
    EXPECT_NE(result.steadyReply.find(",status=InProcess\n", result.steadyReply.size() - 100), std::string::npos);
    EXPECT_EQ(relay.Stop(), 0);
}

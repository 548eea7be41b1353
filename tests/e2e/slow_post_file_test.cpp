// Clients slow to send their upload ranges to the post-file plug-in of a running relay: they must
// never keep other clients from uploading or the relay from answering.
//
// The run is short, with a read time-out of 10 s (tests/e2e/slow_body_run.h).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e/relay_process.h"
#include "e2e/slow_body_run.h"
#include "support/site_content.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/PostFile.exe";

}  // namespace

// 500 clients send the head of a range of one upload and nothing more, 500 send one byte every 5 s.
// Meanwhile the plug-in (answering a GET with its refusal) and the probe
// file are answered within a second every second, the slow connections are closed without a reply,
// and a client that sends a 512 KiB range at 20 KiB/s gets it taken.
TEST(SlowPostFileTest, SlowRangesNeverKeepOtherClientsFromUploading) {
    RelayProcess relay;
    relay.SetClientSetting("_KVRRelay_HTTPServer_ReadTimeOut", "10");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    SlowBodyRunOptions options;
    options.slowTarget = std::string(kPath) + "?sha1=" + Sha1Hex("slow") + "&range=0,999,1000";
    options.duration = 30s;
    options.checkedTargets = {kPath, "/vtmirror/downloads/0"};
    options.steadyBody = std::string(512 * 1024, 's');
    options.steadyTarget = std::string(kPath) + "?sha1=" + Sha1Hex(options.steadyBody) + "&range=0," +
                           std::to_string(options.steadyBody.size() - 1) + "," +
                           std::to_string(options.steadyBody.size());
    const SlowBodyRunResult result = RunSlowBodies(relay, options);

    EXPECT_GE(result.checks, 2 * static_cast<int>(options.duration.count()));
    EXPECT_EQ(result.failedChecks, std::vector<std::string>());
    EXPECT_EQ(result.slowAnswered, 0);
    EXPECT_EQ(result.slowStillOpen, 0);
    EXPECT_NE(result.steadyReply.find("\r\nx-kvr-upload-result: Success=524288,"), std::string::npos)
        << result.steadyReply;
    EXPECT_EQ(relay.Stop(), 0);
}

// The gather service loop driving a real download manager (the download tests' fixture) and its
// download plug-ins: its passes take the plug-ins' inbox messages and a running download to its end,
// and a stop ends the loop at once, whatever its sleep.
#include "relay/gather/download_relay_work.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "relay/download/download_manager_fixture.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "support/captured_log.h"
#include "support/eventually.h"
#include "support/file_bytes.h"
#include "support/test_download_plugin.h"

namespace {

using namespace std::chrono_literals;

class DownloadRelayWorkTest : public DownloadManagerFixture {
  protected:
    // The loop on a thread of its own until the stop event is set.
    std::future<void> StartLoop() {
        return std::async(std::launch::async, [this] {
            GatherServiceLoop({.options = m_settings,
                               .stop = m_stop,
                               .gatherMap = m_map,
                               .gatherState = m_gatherState,
                               .downloads = m_work});
        });
    }

    DownloadPluginManager m_plugins = DownloadPluginManager::Open(m_settings, m_settings.GetInboxFolder(), Manager());
    URLToGatherIDMap m_map{m_settings};
    GatherState m_gatherState{m_settings, m_map, m_stop};
    DownloadRelayWork m_work{Manager(), m_plugins};
};

}  // namespace

// Test labels: DownloadRelayWorkTest tsan

// While the download runs the loop comes back after the active delay to take its completion; with
// none running it sleeps the inactive delay (an hour here), which the stop ends at once.
TEST_F(DownloadRelayWorkTest, TheLoopsPassesCompleteADownloadAndAStopEndsItsSleep) {
    WriteSettings({{"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "3600000"},
                   {"_KVRGather_Mirror_ActiveLoopDelayMilliseconds", "1"},
                   {"_KVRGather_Download_CheckInternetFlag", "0"}});
    AtParent("7/1", "bytes");
    Downloader().hold = true;
    const DownloadRequestTarget target = DownloadRequestTarget::Indexed(7, 1, "http://site/1");
    Manager().AddDownloads({target}, false);
    std::future<void> loop = StartLoop();
    ASSERT_TRUE(Eventually([&] { return StateOf(target) == "DOWNLOADING"; }, 10s));
    Downloader().release = true;
    EXPECT_TRUE(Eventually([&] { return StateOf(target) == "COMPLETED"; }, 10s));

    const auto start = std::chrono::steady_clock::now();
    m_stop.Set();
    EXPECT_EQ(loop.wait_for(5s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// Each pass takes the plug-ins' inbox messages before the manager's work.
TEST_F(DownloadRelayWorkTest, TheLoopServesTheDownloadPlugInsInbox) {
    CapturedLog log;
    WriteSettings({{"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "1"},
                   {"_KVRGather_Download_CheckInternetFlag", "0"}});
    const TestDownloadPlugin plugin(m_folder / "plugin");
    const std::string message = m_settings.GetInboxFolder().GetPathString() + "/plugin_add";
    WriteFileBytes(message, plugin.AddMessage("test"));
    std::future<void> loop = StartLoop();
    EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(message); }));
    EXPECT_EQ(log.LinesStartingWith("critical: DownloadPluginManager: Adding plugin for protocol: "),
              std::vector<std::string>{"critical: DownloadPluginManager: Adding plugin for protocol: \"test\" "
                                       "Plugin file: " +
                                       plugin.Program()});
    m_stop.Set();
}

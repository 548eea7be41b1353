#include "relay/download/download_work_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "relay/download/download_manager_fixture.h"
#include "support/captured_log.h"
#include "support/eventually.h"
#include "support/file_bytes.h"
#include "support/test_download_plugin.h"

namespace {

using namespace std::chrono_literals;

// The download plug-ins that the loop serves before each pass, reporting to the fixture's manager.
class DownloadWorkLoopTest : public DownloadManagerFixture {
  protected:
    DownloadPluginManager m_plugins =
        DownloadPluginManager::Open(m_settings, m_settings.GetInboxFolder(), Manager());
};

}  // namespace

// Test labels: DownloadWorkLoopTest tsan

// The loop does the manager's work between its sleeps, and ends at once when it goes, even with the
// stop event never set and an hour's sleep before it.
TEST_F(DownloadWorkLoopTest, WorksThePassesAndEndsPromptlyWhenDestroyed) {
    WriteSettings({{"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "3600000"},
                   {"_KVRGather_Mirror_ActiveLoopDelayMilliseconds", "1"}});
    AtParent("7/1", "bytes");
    Downloader().hold = true;
    const DownloadRequestTarget target = DownloadRequestTarget::Indexed(7, 1, "http://site/1");
    Manager().AddDownloads({target}, false);
    auto loop = std::make_unique<DownloadWorkLoop>(Manager(), m_plugins, m_settings, m_stop);
    ASSERT_TRUE(Eventually([&] { return StateOf(target) == "DOWNLOADING"; }, 10s));
    Downloader().release = true;
    // While the download runs, the loop comes back after the active delay to take its completion.
    EXPECT_TRUE(Eventually([&] { return StateOf(target) == "COMPLETED"; }, 10s));

    const auto start = std::chrono::steady_clock::now();
    loop.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(DownloadWorkLoopTest, AFailedPassIsLoggedAndTheLoopGoesOnUntilTheStop) {
    CapturedLog log;
    ServiceDownloadManager unwired(m_settings, m_stop);
    WriteSettings({{"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "1"}});
    DownloadWorkLoop loop(unwired, m_plugins, m_settings, m_stop);
    EXPECT_TRUE(Eventually([&] {
        return log.LinesStartingWith(
                      "critical: Exception in ServiceDownloadManager::DoWork: Requirement failure")
                   .size() >= 2;
    }));
    m_stop.Set();
}

// Each pass first takes the plug-ins' inbox messages.
TEST_F(DownloadWorkLoopTest, ServesTheDownloadPlugInsInboxBeforeEachPass) {
    CapturedLog log;
    WriteSettings({{"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "1"}});
    const TestDownloadPlugin plugin(m_folder / "plugin");
    const std::string message = m_settings.GetInboxFolder().GetPathString() + "/plugin_add";
    WriteFileBytes(message, plugin.AddMessage("test"));
    DownloadWorkLoop loop(Manager(), m_plugins, m_settings, m_stop);
    EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(message); }));
    EXPECT_EQ(
        log.LinesStartingWith("critical: DownloadPluginManager: Adding plugin for protocol: "),
        std::vector<std::string>{"critical: DownloadPluginManager: Adding plugin for protocol: \"test\" "
                                 "Plugin file: " +
                                 plugin.Program()});
    m_stop.Set();
}

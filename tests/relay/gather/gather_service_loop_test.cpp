#include "relay/gather/gather_service_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "relay/gather/connectivity_check.h"
#include "relay/gather/site_gather_run_fixture.h"
#include "relay/gather/url_fetcher.h"
#include "support/python_origin.h"

namespace {

using namespace std::chrono_literals;

// The download relay's part of a pass, counted; DoWork may be made to fail.
class CountingDownloadWork : public GatherLoopDownloadWork {
  public:
    void ServePlugins(const FileLocation&) override {
        if (m_workPasses != m_pluginPasses) m_outOfOrder = true;
        ++m_pluginPasses;
    }
    void DoWork() override {
        ++m_workPasses;
        if (m_failing) throw std::runtime_error("the work pass broke");
    }
    bool HasDownloadsInProgress() override { return m_inProgress; }

    std::atomic<int> m_pluginPasses{0};
    std::atomic<int> m_workPasses{0};
    std::atomic<bool> m_outOfOrder{false};
    std::atomic<bool> m_inProgress{false};
    std::atomic<bool> m_failing{false};
};

class GatherServiceLoopTest : public SiteGatherRunTest {
  protected:
    GatherServiceLoopTest() {
        SetClientSetting("_KVRGather_Download_CheckInternetFlag", "0");
        SetClientSetting("_KVRGather_Mirror_ActiveLoopDelayMilliseconds", "10");
        SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "60000");
    }
    ~GatherServiceLoopTest() override { StopLoop(); }

    void StartLoop() {
        State();
        m_loop = std::async(std::launch::async, [this] {
            GatherServiceLoop({.options = m_options,
                               .stop = m_stop,
                               .gatherMap = Map(),
                               .gatherState = State(),
                               .downloads = m_downloads});
        });
    }
    // Sets the stop event; true when the loop returned within the time.
    bool StopLoop(std::chrono::milliseconds limit = 1s) {
        if (!m_loop.valid()) return true;
        m_stop.Set();
        const bool ended = m_loop.wait_for(limit) == std::future_status::ready;
        m_loop.wait();
        return ended;
    }
    template <class Condition>
    static bool AwaitTrue(Condition condition, std::chrono::milliseconds limit = 30s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    CountingDownloadWork m_downloads;
    std::future<void> m_loop;
};

// Test labels: GatherServiceLoopTest tsan

// With no downloads in progress the loop sleeps the inactive delay (a minute here), which a stop
// ends at once; the pass before it ran the gather it launched to its end.
TEST_F(GatherServiceLoopTest, APassGathersRunsTheDownloadStepsAndAStopEndsItsSleep) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    State().QueueSiteGatherRequest(kDemoSiteURL, SiteVersion());
    StartLoop();
    ASSERT_TRUE(AwaitTrue([this] { return State().HasCommittedLocation(kDemoSiteURL); }));
    EXPECT_TRUE(StopLoop());
    EXPECT_EQ(m_downloads.m_workPasses, 1);
    EXPECT_EQ(m_downloads.m_pluginPasses, 1);
    EXPECT_FALSE(m_downloads.m_outOfOrder);
}

// Downloads in progress: the short active delay; a failing step is logged and the passes go on.
TEST_F(GatherServiceLoopTest, ActiveDownloadsKeepThePassesComingAndAFailingStepIsLogged) {
    m_downloads.m_inProgress = true;
    m_downloads.m_failing = true;
    StartLoop();
    EXPECT_TRUE(AwaitTrue([this] { return m_downloads.m_workPasses >= 3; }, 10s));
    EXPECT_TRUE(StopLoop());
    EXPECT_GE(Logged("critical", "Exception in ServiceDownloadManager::DoWork: the work pass broke").size(), 3u);
}

// The test at the start passed; with a success interval of 0 it is not repeated.
TEST_F(GatherServiceLoopTest, AZeroIntervalNeverRepeatsTheConnectivityTest) {
    m_parent.Serve("/internet", "ok");
    SetClientSetting("_KVRGather_Download_CheckInternetFlag", "1");
    SetClientSetting("_KVRGather_ConnectivityTest_InternetTestURL", m_parent.URL("/internet"));
    SetClientSetting("_KVRGather_ConnectivityTest_SuccessInterval", "0");
    m_downloads.m_inProgress = true;
    StartLoop();
    EXPECT_TRUE(AwaitTrue([this] { return m_downloads.m_workPasses >= 5; }, 10s));
    EXPECT_TRUE(StopLoop());
    EXPECT_EQ(m_parent.RequestsFor("/internet"), 1u);
    EXPECT_EQ(m_options.GetConnectivityTestResult(), kConnectivityParentChecked | kConnectivityInternetChecked |
                                                      kConnectivityInternetReached);
}

// The loop returns only once its gathers have ended; a stop ends them at once.
TEST_F(GatherServiceLoopTest, AStopEndsTheLoopWithItsGathers) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    m_parent.Hold(kParentGatherPath);
    State().QueueSiteGatherRequest(kDemoSiteURL, SiteVersion());
    StartLoop();
    ASSERT_TRUE(m_parent.AwaitArrivals(kParentGatherPath, 1));
    EXPECT_TRUE(StopLoop());
    EXPECT_EQ(Logged("critical", "1: Gather cancelled by stop request.").size(), 1u);
}

// The URL-moniker flag from its setting, and the gather service's credentials for the fetches.
TEST_F(GatherServiceLoopTest, TheCommSettingsSetTheFlagAndTheCredentials) {
    PythonOrigin origin;
    SetClientSetting("_KVRGather_Comm_UseUrlMoniker", "0");
    ApplyCommSettings(m_options);
    EXPECT_FALSE(GetUseUrlMoniker());

    SetClientSetting("_KVRGather_Comm_UseUrlMoniker", "1");
    ImportWithKvrreg("[HKLM\\Software\\Veltra\\Daruravidu Server\\GatherService]\n\"URLMonAuthName\"=\"" +
                     std::string(PythonOrigin::kUser) + "\"\n\"URLMonAuthPhrase\"=\"" + PythonOrigin::kPassword +
                     "\"\n");
    ApplyCommSettings(m_options);
    EXPECT_TRUE(GetUseUrlMoniker());
    const bool reached = TestConnectivityURL(origin.URL("/basic"), m_options, m_stop);
    SetUrlMonikerCredentials("", "");
    EXPECT_TRUE(reached);
}

}  // namespace

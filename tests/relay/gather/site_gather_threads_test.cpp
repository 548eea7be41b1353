#include "relay/gather/site_gather_threads.h"

#include <gtest/gtest.h>

#include <chrono>

#include "relay/gather/site_gather_run_fixture.h"

namespace {

using namespace std::chrono_literals;

std::string SiteURL(int number) {
    return "http://relay.example:52311/cgi-bin/bfgather.exe/Site" + std::to_string(number);
}

// The parent holds every directory request until the test releases them.
class SiteGatherThreadsTest : public SiteGatherRunTest {
  protected:
    SiteGatherThreadsTest() { m_parent.Hold(kParentGatherPath); }

    // Launches until LaunchSiteGather starts nothing; answers how many it started.
    std::size_t LaunchAll() {
        std::size_t started = 0;
        while (m_threads.LaunchSiteGather(m_options, m_stop, State())) ++started;
        return started;
    }

    SiteGatherThreads m_threads;
};

// Test labels: SiteGatherThreadsTest tsan

TEST_F(SiteGatherThreadsTest, AtMostTheLimitRunAndASitesSecondRequestWaitsForItsFirst) {
    const std::size_t sites = SiteGatherThreads::kMaxConcurrentGathers + 1;
    for (std::size_t site = 1; site <= sites; ++site) State().QueueSiteGatherRequest(SiteURL(site), SiteVersion());
    State().QueueSiteGatherRequest(SiteURL(1), SiteVersion::Integral(5));

    EXPECT_EQ(LaunchAll(), SiteGatherThreads::kMaxConcurrentGathers);
    ASSERT_TRUE(m_parent.AwaitArrivals(kParentGatherPath, SiteGatherThreads::kMaxConcurrentGathers));
    EXPECT_EQ(m_threads.RunningSites().size(), SiteGatherThreads::kMaxConcurrentGathers);

    // The parent answers: each gather ends (the parent has no such site), and the next run.
    m_parent.Release(kParentGatherPath);
    m_threads.JoinAll();
    EXPECT_TRUE(m_threads.RunningSites().empty());
    m_parent.Hold(kParentGatherPath);
    EXPECT_EQ(LaunchAll(), 2u);
    EXPECT_TRUE(m_parent.AwaitArrivals(kParentGatherPath, sites + 1));
    EXPECT_EQ(m_threads.RunningSites(), (std::set<std::uint32_t>{SiteID(SiteURL(1)), SiteID(SiteURL(sites))}));
    m_parent.Release(kParentGatherPath);
}

TEST_F(SiteGatherThreadsTest, ASecondRequestOfARunningSiteLetsOtherSitesPass) {
    State().QueueSiteGatherRequest(SiteURL(1), SiteVersion());
    EXPECT_EQ(LaunchAll(), 1u);
    State().QueueSiteGatherRequest(SiteURL(1), SiteVersion::Integral(5));
    State().QueueSiteGatherRequest(SiteURL(2), SiteVersion());
    EXPECT_EQ(LaunchAll(), 1u);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{SiteURL(1) + " (Integral: 5)"});
    m_parent.Release(kParentGatherPath);
}

TEST_F(SiteGatherThreadsTest, AStopEndsEveryRunningGatherPromptly) {
    for (int site = 1; site <= 3; ++site) State().QueueSiteGatherRequest(SiteURL(site), SiteVersion());
    LaunchAll();
    ASSERT_TRUE(m_parent.AwaitArrivals(kParentGatherPath, 3));
    const auto stopped = std::chrono::steady_clock::now();
    m_stop.Set();
    m_threads.JoinAll();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
    EXPECT_EQ(Logged("critical", ": Gather cancelled by stop request.").size(), 3u);
}

}  // namespace

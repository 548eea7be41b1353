#include "relay/download/download_report_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/event.h"
#include "support/captured_log.h"

using namespace std::chrono_literals;

namespace {

using Form = DownloadReportCache::Form;

constexpr std::int64_t kSecond = 1'000'000;

// Waits up to five seconds for the condition.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Test labels: DownloadReportCacheTest tsan
// A cache over a builder that counts its builds ("report <n>", compressed "z<n>") on a clock of the
// test's own; a build may take clock time, wait for a release or fail.
class DownloadReportCacheTest : public ::testing::Test {
  protected:
    DownloadReportCacheTest() {
        m_cache = std::make_unique<DownloadReportCache>([this] { return Build(); },
                                                        [this] { return m_now.load(); });
    }

    XMLDownloadReport Build() {
        const int build = ++m_builds;
        if (m_holdRebuilds && build > 1) m_release.Wait(kWaitWithoutLimit);
        m_now += m_buildTime;
        if (m_failures > 0) {
            --m_failures;
            throw std::runtime_error("disk full");
        }
        return {"report " + std::to_string(build), "z" + std::to_string(build)};
    }

    std::string Plain() { return m_cache->Text(Form::Plain); }

    std::atomic<std::int64_t> m_now{1000 * kSecond};
    std::atomic<std::int64_t> m_buildTime{0};
    std::atomic<int> m_builds{0};
    std::atomic<int> m_failures{0};
    std::atomic<bool> m_holdRebuilds{false};
    Event m_release;
    std::unique_ptr<DownloadReportCache> m_cache;
};

}  // namespace

TEST_F(DownloadReportCacheTest, RequestsWithinTheIntervalShareOneBuild) {
    EXPECT_EQ(Plain(), "report 1");
    m_now += 5 * kSecond;
    EXPECT_EQ(m_cache->Text(Form::Compressed), "z1");
    EXPECT_EQ(Plain(), "report 1");
    EXPECT_EQ(m_builds.load(), 1);
}

TEST_F(DownloadReportCacheTest, AnOlderReportIsServedWhileOneRebuildRuns) {
    m_holdRebuilds = true;
    EXPECT_EQ(Plain(), "report 1");
    m_now += 5 * kSecond + 1;
    EXPECT_EQ(Plain(), "report 1");
    ASSERT_TRUE(Eventually([this] { return m_builds == 2; }));
    EXPECT_EQ(Plain(), "report 1");
    EXPECT_EQ(m_builds.load(), 2) << "a second rebuild while one runs";

    m_release.Set();
    EXPECT_TRUE(Eventually([this] { return Plain() == "report 2"; }));
    EXPECT_EQ(m_cache->Text(Form::Compressed), "z2");
    EXPECT_EQ(m_builds.load(), 2);
}

// A build that took 6 seconds makes the report last 12.
TEST_F(DownloadReportCacheTest, ALongBuildStretchesTheInterval) {
    m_buildTime = 6 * kSecond;
    EXPECT_EQ(Plain(), "report 1");
    m_now += 11 * kSecond;
    EXPECT_EQ(Plain(), "report 1");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(m_builds.load(), 1);

    m_now += 2 * kSecond;
    Plain();
    EXPECT_TRUE(Eventually([this] { return Plain() == "report 2"; }));
}

TEST_F(DownloadReportCacheTest, AFailedFirstBuildFailsTheRequestAndIsTriedAgain) {
    m_failures = 1;
    EXPECT_THROW(Plain(), std::runtime_error);
    EXPECT_EQ(Plain(), "report 2");
}

TEST_F(DownloadReportCacheTest, AFailedRebuildIsLoggedAndTheReportKept) {
    CapturedLog log;
    EXPECT_EQ(Plain(), "report 1");
    m_failures = 1;
    m_now += 6 * kSecond;
    Plain();
    ASSERT_TRUE(Eventually(
        [&] { return !log.LinesStartingWith("critical: Download report rebuild failed: ").empty(); }));
    EXPECT_EQ(log.LinesStartingWith("critical: Download report rebuild failed: "),
              std::vector<std::string>{"critical: Download report rebuild failed: disk full"});
    EXPECT_EQ(Plain(), "report 1");
    // The failed rebuild no longer counts as running: the next due request starts another.
    EXPECT_TRUE(Eventually([this] { return Plain() == "report 3"; }));
}

TEST_F(DownloadReportCacheTest, TheCacheWaitsForItsRebuildWhenItGoes) {
    m_holdRebuilds = true;
    Plain();
    m_now += 6 * kSecond;
    Plain();
    ASSERT_TRUE(Eventually([this] { return m_builds == 2; }));
    std::thread release([this] {
        std::this_thread::sleep_for(100ms);
        m_release.Set();
    });
    m_cache.reset();
    EXPECT_TRUE(m_release.Wait(0)) << "the cache went before its rebuild ended";
    release.join();
}

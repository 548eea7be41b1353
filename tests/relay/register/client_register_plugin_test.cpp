#include "relay/register/client_register_plugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "relay/register/registration_test_support.h"
#include "support/captured_log.h"
#include "support/temporary_registry.h"

using namespace std::chrono_literals;

namespace {

// Test labels: ClientRegisterPlugInTest tsan
class ClientRegisterPlugInTest : public ::testing::Test {
  protected:
    // Waits up to five seconds for the count to reach the value.
    static bool AwaitCount(const std::atomic<int>& count, int value) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (count.load() < value) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    TemporaryRegistry m_registry;
    GatherOptionsManager m_relayConfiguration;
    StandInNotifications m_notifications{m_relayConfiguration};
    Event m_stop;
};

}  // namespace

TEST_F(ClientRegisterPlugInTest, IsNamedForItsPathAndRunsThreaded) {
    ClientRegisterPlugIn plugIn(m_relayConfiguration, m_notifications.Services(), m_stop);
    EXPECT_EQ(plugIn.Names(), (std::vector<std::string>{"ClientRegister", "cgi-bin/vtdaruravidu/ClientRegister.exe"}));
    EXPECT_TRUE(plugIn.IsThreaded());
}

TEST_F(ClientRegisterPlugInTest, TheWorkerRunsStepAfterStepUntilTheStop) {
    std::atomic<int> steps{0};
    auto plugIn = std::make_unique<ClientRegisterPlugIn>(m_relayConfiguration, m_notifications.Services(), m_stop,
                                                         [&](const ClientRegisterConfiguration&, Event&) {
                                                             ++steps;
                                                             std::this_thread::sleep_for(1ms);
                                                         });
    plugIn->Start();
    EXPECT_TRUE(AwaitCount(steps, 3));
    m_stop.Set();
    const int afterStop = steps.load();
    plugIn.reset();
    EXPECT_LE(steps.load(), afterStop + 1);
}

// A failing step pauses the worker for ten seconds; the stop ends the pause at once.
TEST_F(ClientRegisterPlugInTest, AFailingStepPausesTheWorkerUntilTheStop) {
    std::atomic<int> steps{0};
    auto plugIn = std::make_unique<ClientRegisterPlugIn>(m_relayConfiguration, m_notifications.Services(), m_stop,
                                                         [&](const ClientRegisterConfiguration&, Event&) {
                                                             ++steps;
                                                             throw std::runtime_error("no socket");
                                                         });
    plugIn->Start();
    ASSERT_TRUE(AwaitCount(steps, 1));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(steps.load(), 1);

    const auto stopAsked = std::chrono::steady_clock::now();
    plugIn.reset();  // sets the stop event and joins the worker
    EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, 2s);
    EXPECT_TRUE(m_stop.Wait(0));
    EXPECT_EQ(steps.load(), 1);
}

// A step that keeps failing the same way is logged once, not at every retry.
TEST_F(ClientRegisterPlugInTest, AFailingStepIsLoggedOnceAMinuteNotAtEveryRetry) {
    CapturedLog log;
    std::atomic<int> steps{0};
    auto plugIn = std::make_unique<ClientRegisterPlugIn>(
        m_relayConfiguration, m_notifications.Services(), m_stop,
        [&](const ClientRegisterConfiguration&, Event&) {
            ++steps;
            throw std::runtime_error("no socket");
        },
        1'000);
    plugIn->Start();
    ASSERT_TRUE(AwaitCount(steps, 20));
    plugIn.reset();
    EXPECT_EQ(log.LinesStartingWith("critical: ClientRegister worker step failed: "),
              std::vector<std::string>{"critical: ClientRegister worker step failed: no socket"});
}

// The relay's own step does nothing but wait, so an idle worker ends with the stop.
TEST_F(ClientRegisterPlugInTest, TheRelaysOwnStepEndsWithTheStop) {
    auto plugIn = std::make_unique<ClientRegisterPlugIn>(m_relayConfiguration, m_notifications.Services(), m_stop);
    plugIn->Start();
    std::this_thread::sleep_for(50ms);
    const auto stopAsked = std::chrono::steady_clock::now();
    plugIn.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, 2s);
}

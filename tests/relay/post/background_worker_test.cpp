#include "relay/post/background_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "../../http/http_test_support.h"

using namespace std::chrono_literals;

namespace {

// Counts its pieces of work, each asking for `delay` ms before the next; the first `failures` throw.
// A piece may also be told to hang until it is interrupted.
class CountingWorker : public BackgroundWorker {
  public:
    CountingWorker(bool paused, std::int64_t delay, int failures = 0)
        : BackgroundWorker("CountingWorker", paused, 20), m_delay(delay), m_failures(failures) {
        StartWorker();
    }
    ~CountingWorker() override { StopAndJoin(); }

    std::atomic<int> pieces{0};
    std::atomic<bool> hang{false};

  protected:
    std::int64_t DoWork() override {
        ++pieces;
        if (m_failures-- > 0) throw std::runtime_error("piece failed");
        while (hang) {
            CheckForInterruption();
            std::this_thread::sleep_for(1ms);
        }
        return m_delay;
    }

  private:
    std::int64_t m_delay;
    int m_failures;
};

}  // namespace

// Test labels: BackgroundWorker tsan
TEST(BackgroundWorker, WorksOnlyWhileResumed) {
    CountingWorker worker(true, 10);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(worker.pieces, 0);
    EXPECT_TRUE(worker.Resume(5));
    EXPECT_TRUE(Eventually([&] { return worker.pieces >= 3; }));
    EXPECT_TRUE(worker.Pause(5));
    EXPECT_TRUE(worker.IsPaused());
    const int paused = worker.pieces;
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(worker.pieces, paused);
    EXPECT_TRUE(worker.Resume(5));
    EXPECT_TRUE(Eventually([&] { return worker.pieces > paused; }));
    EXPECT_TRUE(worker.Stop(5));
    EXPECT_TRUE(worker.HasEnded());
}

// The delay a piece asks for is kept; a request is taken at once, not after it.
// Test labels: BackgroundWorker.WaitsTheDelayButAnswersRequestsAtOnce timed
TEST(BackgroundWorker, WaitsTheDelayButAnswersRequestsAtOnce) {
    CountingWorker worker(false, 60'000);
    ASSERT_TRUE(Eventually([&] { return worker.pieces == 1; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(worker.pieces, 1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(worker.Pause(5));
    EXPECT_TRUE(worker.Stop(5));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
}

// A failed piece is logged and the worker goes on after its failure delay.
TEST(BackgroundWorker, AFailedPieceDoesNotEndTheWorker) {
    CapturedLog log;
    CountingWorker worker(false, 10, 2);
    EXPECT_TRUE(Eventually([&] { return worker.pieces >= 4; }));
    EXPECT_FALSE(worker.HasEnded());
    EXPECT_EQ(log.LinesStartingWith("critical: CountingWorker: piece failed").size(), 2u);
}

// A pause or stop requested while a piece is at work interrupts it; the destructor ends a worker
// that was never stopped.
// Test labels: BackgroundWorker.RequestsInterruptAPieceAtWork timed
TEST(BackgroundWorker, RequestsInterruptAPieceAtWork) {
    auto worker = std::make_unique<CountingWorker>(false, 10);
    worker->hang = true;
    ASSERT_TRUE(Eventually([&] { return worker->pieces == 1; }));
    EXPECT_FALSE(worker->IsInterruptRequested());
    EXPECT_TRUE(worker->Pause(5));
    EXPECT_TRUE(worker->Resume(5));
    ASSERT_TRUE(Eventually([&] { return worker->pieces == 2; }));
    const auto started = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
}

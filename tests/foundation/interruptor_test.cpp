#include "foundation/interruptor.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

// Test labels: Interruptor tsan
TEST(Interruptor, StopRequestIsAnOrderlyNonDumpableEnd) {
    StopRequest request;
    EXPECT_STREQ(request.what(), "class StopRequest");
    EXPECT_NE(dynamic_cast<const NonDumpableException*>(&request), nullptr);
}

TEST(Interruptor, BaseNeverInterrupts) {
    Interruptor never;
    EXPECT_NO_THROW(never.CheckForInterruption());
}

TEST(Interruptor, EventInterruptorThrowsOnceItsEventIsSet) {
    Event stop;
    EventInterruptor interruptor(stop);
    EXPECT_NO_THROW(interruptor.CheckForInterruption());
    std::thread setter([&] { stop.Set(); });
    setter.join();
    EXPECT_THROW(interruptor.CheckForInterruption(), StopRequest);
}

TEST(Interruptor, ThreadInterruptorStopsOneWorkerWithoutTheStopEvent) {
    ThreadInterruptor interruptor;
    std::atomic<bool> started{false};
    bool stopped = false;
    std::thread worker([&] {
        try {
            for (;;) {
                started = true;
                interruptor.CheckForInterruption();
                std::this_thread::yield();
            }
        } catch (const StopRequest&) {
            stopped = true;
        }
    });
    while (!started) std::this_thread::yield();
    interruptor.SetStopFlag(true);
    worker.join();
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(interruptor.IsStopFlagSet());
    interruptor.SetStopFlag(false);
    EXPECT_NO_THROW(interruptor.CheckForInterruption());
}

TEST(Interruptor, CapturedStopRequestComesBackAsStopRequest) {
    std::unique_ptr<CaughtException> captured;
    std::thread worker([&] {
        try {
            Event stop;
            stop.Set();
            EventInterruptor(stop).CheckForInterruption();
        } catch (...) {
            captured = CaptureCurrentException();
        }
    });
    worker.join();
    ASSERT_NE(captured, nullptr);
    EXPECT_STREQ(captured->What(), "class StopRequest");
    EXPECT_THROW(captured->Rethrow(), StopRequest);
}

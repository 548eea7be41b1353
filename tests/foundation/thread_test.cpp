#include "foundation/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/abandonable_call.h"
#include "foundation/detached_thread.h"
#include "foundation/event.h"
#include "foundation/thread_exit_functions.h"
#include "foundation/thread_local_ptr.h"

namespace {

// Records, per thread, the thread-exit functions that ran; registered once for the whole program.
thread_local std::vector<int>* exitTrace = nullptr;
std::atomic<int> exitTracesCompleted{0};

void FirstExitFunction() {
    if (exitTrace) exitTrace->push_back(1);
}
void SecondExitFunction() {
    if (exitTrace) {
        exitTrace->push_back(2);
        ++exitTracesCompleted;
    }
}

const bool exitFunctionsRegistered = [] {
    AddThreadExitFunction(&FirstExitFunction);
    AddThreadExitFunction(&SecondExitFunction);
    return true;
}();

class WaitingWork : public Callable {
  public:
    explicit WaitingWork(Event& release) : m_release(release) {}
    void Run() override {
        m_release.Wait(kWaitWithoutLimit);
        ran = true;
    }
    std::atomic<bool> ran{false};

  private:
    Event& m_release;
};

template <class Predicate>
void WaitUntil(Predicate done) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

// Test labels: Threads tsan
TEST(Threads, HandleWaitsForItsThreadWhenItDies) {
    Event release;
    WaitingWork work(release);
    {
        ThreadHandle handle = StartCallableThread(work);
        EXPECT_FALSE(IsThreadFinished(handle));
        release.Set();
    }
    EXPECT_TRUE(work.ran);
}

TEST(Threads, FinishedThreadIsClosedByItsCheck) {
    Event release;
    WaitingWork work(release);
    ThreadHandle handle = StartCallableThread(work);
    release.Set();
    WaitUntil([&] { return IsThreadFinished(handle); });
    EXPECT_TRUE(handle.IsEmpty());
    EXPECT_TRUE(IsThreadFinished(handle));
    WaitAndCloseThreadHandle(handle);  // an empty handle is ignored
}

TEST(Threads, MoveAssignmentWaitsForTheReplacedThread) {
    Event release;
    WaitingWork first(release), second(release);
    ThreadHandle handle = StartCallableThread(first);
    ThreadHandle other = StartCallableThread(second);
    release.Set();
    handle = std::move(other);
    EXPECT_TRUE(first.ran);
    EXPECT_TRUE(other.IsEmpty());
}

TEST(Threads, CallableFunctionSwallowsWhatTheCallLetsOut) {
    bool ran = false;
    CallableFunction throwing([&] {
        ran = true;
        throw std::runtime_error("lost");
    });
    EXPECT_NO_THROW(throwing.Run());
    EXPECT_TRUE(ran);
    CallableFunction empty{std::function<void()>()};
    EXPECT_NO_THROW(empty.Run());
}

TEST(Threads, ExitFunctionsRunInOrderAfterTheWork) {
    ASSERT_TRUE(exitFunctionsRegistered);
    std::vector<int> trace;
    CallableFunction work([&] {
        exitTrace = &trace;
        trace.push_back(0);
    });
    { ThreadHandle handle = StartCallableThread(work); }
    EXPECT_EQ(trace, (std::vector<int>{0, 1, 2}));
}

// Test labels: DetachedThread tsan
TEST(DetachedThread, RunsTheFunctionThenTheExitFunctions) {
    struct Job {
        std::vector<int> trace;
        std::atomic<bool> done{false};
    } job;
    int before = exitTracesCompleted;
    StartDetachedThread(
        [](void* argument) {
            auto* job = static_cast<Job*>(argument);
            exitTrace = &job->trace;
            job->trace.push_back(0);
            throw std::runtime_error("discarded");
        },
        &job);
    WaitUntil([&] { return exitTracesCompleted > before; });
    EXPECT_EQ(job.trace, (std::vector<int>{0, 1, 2}));
}

// Test labels: AbandonableCall tsan
TEST(AbandonableCall, NullFunctionGivesNoCall) {
    EXPECT_EQ(AbandonableCall::Create(nullptr, nullptr), nullptr);
}

TEST(AbandonableCall, RunsOnA512KiBStackAndReportsCompletion) {
    struct Lookup {
        std::size_t stackBytes = 0;
    } lookup;
    auto call = AbandonableCall::Create(
        [](void* argument) {
            pthread_attr_t attributes;
            ::pthread_getattr_np(::pthread_self(), &attributes);
            ::pthread_attr_getstacksize(&attributes, &static_cast<Lookup*>(argument)->stackBytes);
            ::pthread_attr_destroy(&attributes);
        },
        &lookup);
    ASSERT_NE(call, nullptr);
    WaitUntil([&] { return call->IsFinished(); });
#ifdef __SANITIZE_THREAD__
    EXPECT_GE(lookup.stackBytes, kAbandonableCallStackBytes);  // ThreadSanitizer adds room of its own
#else
    EXPECT_EQ(lookup.stackBytes, kAbandonableCallStackBytes);
#endif
}

TEST(AbandonableCall, CallerMayLetGoBeforeTheFunctionReturns) {
    // The function owns its argument, as a caller that may walk away requires.
    static Event release;
    static std::atomic<bool> returned{false};
    struct Hanging {
        std::string host = "hangs.example";
    };
    auto call = AbandonableCall::Create(
        [](void* argument) {
            std::unique_ptr<Hanging> owned(static_cast<Hanging*>(argument));
            release.Wait(kWaitWithoutLimit);
            returned = true;
            throw std::runtime_error("discarded");
        },
        new Hanging);
    ASSERT_NE(call, nullptr);
    EXPECT_FALSE(call->IsFinished());
    call.reset();  // walk away; the thread frees the call when its function returns
    release.Set();
    WaitUntil([&] { return returned.load(); });
}

// Test labels: ThreadLocalPtr tsan
TEST(ThreadLocalPtr, EachThreadOwnsAndLosesItsOwnValue) {
    static std::atomic<int> alive{0};
    struct Counted {
        Counted() { ++alive; }
        ~Counted() { --alive; }
    };
    alive = 0;
    ThreadLocalPtr<Counted> pointer;
    auto* mine = new Counted;
    pointer.Set(mine);
    pointer.Set(mine);  // the same value: kept, not deleted
    EXPECT_EQ(alive, 1);
    CallableFunction work([&] {
        EXPECT_EQ(pointer.Get(), nullptr);
        pointer.Set(new Counted);
        pointer.Set(new Counted);  // replaces, deleting the first
        EXPECT_EQ(alive, 2);
    });
    { ThreadHandle handle = StartCallableThread(work); }
    EXPECT_EQ(alive, 1) << "the ended thread's value is deleted";
    EXPECT_EQ(pointer.Get(), mine);
    pointer.Dispose();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(pointer.Get(), nullptr);
}

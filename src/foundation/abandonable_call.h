// AbandonableCall: runs a piece of work (a function object, or function(argument)) on its own
// thread, with a 512 KiB stack, for a caller that may stop waiting for it at any time (a host-name
// look-up that hangs, for example).
//
// The caller polls IsFinished while it watches its own stop condition, and lets go of the call by
// dropping the pointer Create gave it, whether the function has returned or not. The thread frees
// the call once both the work has returned and the caller has let go; a function object is destroyed
// with it, on the call's thread, so it may own what the work needs (a lambda holding a smart
// pointer). What a plain argument points at must stay valid until the function returns: when the
// caller may leave early, the function must own it. Exceptions that leave the work are discarded.
//
// IsFinished may be called while the thread runs; the pointer itself belongs to one caller thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

constexpr std::size_t kAbandonableCallStackBytes = 524'288;

class AbandonableCall {
    struct Releaser {
        void operator()(AbandonableCall* call) const { call->Release(); }
    };

  public:
    using Function = void (*)(void* argument);
    using Work = std::function<void()>;
    // Dropping (or resetting) it lets go of the call.
    using Pointer = std::unique_ptr<AbandonableCall, Releaser>;

    // The started call; null when the function is null or the thread cannot be started (the
    // reason is then written to the standard error stream).
    static Pointer Create(Function function, void* argument);
    // The same for a function object (null when it is empty).
    static Pointer Create(Work work);

    // True once the function has returned (or thrown).
    bool IsFinished() const { return m_finished.load(std::memory_order_acquire); }

  private:
    explicit AbandonableCall(Work work) : m_work(std::move(work)) {}
    void Release() { m_released.store(true, std::memory_order_release); }
    static void* Run(void* call) noexcept;

    // Each flag is written by one side and read by the other: the release stores and acquire loads
    // order the function's results before IsFinished and the caller's last use before the free.
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_finished{false};
    const Work m_work;
};

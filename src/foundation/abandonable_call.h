// AbandonableCall: runs function(argument) on its own thread, with a 512 KiB stack, for a caller
// that may stop waiting for it at any time (a host-name look-up that hangs, for example).
//
// The caller polls IsFinished while it watches its own stop condition, and lets go of the call by
// dropping the pointer Create gave it, whether the function has returned or not. The thread frees
// the call once both the function has returned and the caller has let go. What the argument points
// at must stay valid until the function returns: when the caller may leave early, the function must
// own it. Exceptions that leave the function are discarded.
//
// IsFinished may be called while the thread runs; the pointer itself belongs to one caller thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

constexpr std::size_t kAbandonableCallStackBytes = 524'288;

class AbandonableCall {
    struct Releaser {
        void operator()(AbandonableCall* call) const { call->Release(); }
    };

  public:
    using Function = void (*)(void* argument);
    // Dropping (or resetting) it lets go of the call.
    using Pointer = std::unique_ptr<AbandonableCall, Releaser>;

    // The started call; null when the function is null or the thread cannot be started (the
    // reason is then written to the standard error stream).
    static Pointer Create(Function function, void* argument);

    // True once the function has returned (or thrown).
    bool IsFinished() const { return m_finished.load(std::memory_order_acquire); }

  private:
    AbandonableCall(Function function, void* argument) : m_function(function), m_argument(argument) {}
    void Release() { m_released.store(true, std::memory_order_release); }
    static void* Run(void* call) noexcept;

    // Each flag is written by one side and read by the other: the release stores and acquire loads
    // order the function's results before IsFinished and the caller's last use before the free.
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_finished{false};
    const Function m_function;
    void* const m_argument;
};

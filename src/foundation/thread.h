// Threads that run a Callable, and the handle through which their starter waits for them.
//
// - Callable: the work of a thread (Run).
// - CallableFunction: a Callable over a std::function; Run catches and discards every exception the
//   call lets out, so nothing leaves the thread.
// - ThreadHandle: owns one started thread (or nothing); moved, never copied. It waits for the thread
//   when it dies, so a thread never outlives its handle.
//
// StartCallableThread runs callable.Run() and then the thread-exit functions on a new thread with
// the default stack. The callable is not owned by the thread: keep it alive until the thread has
// ended. An exception that leaves a plain Callable's Run ends the process; use CallableFunction, or
// catch inside Run, for work that may throw.
//
// A ThreadHandle is used by one thread at a time (its owner).
#pragma once

#include <functional>
#include <optional>

#include "platform/native_thread.h"

class Callable {
  public:
    virtual ~Callable() = default;
    virtual void Run() = 0;
};

class CallableFunction : public Callable {
  public:
    explicit CallableFunction(std::function<void()> call) : m_call(std::move(call)) {}
    void Run() override;

  private:
    std::function<void()> m_call;
};

class ThreadHandle {
  public:
    ThreadHandle() = default;
    explicit ThreadHandle(PosixPlatform::NativeThread thread) : m_thread(thread) {}
    ThreadHandle(ThreadHandle&& other) noexcept : m_thread(other.m_thread) { other.m_thread.reset(); }
    // Waits for the thread this handle held before taking over the other's.
    ThreadHandle& operator=(ThreadHandle&& other);
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    ~ThreadHandle();

    bool IsEmpty() const { return !m_thread.has_value(); }

  private:
    friend void WaitAndCloseThreadHandle(ThreadHandle& handle);
    friend bool IsThreadFinished(ThreadHandle& handle);

    std::optional<PosixPlatform::NativeThread> m_thread;
};

// Starts a thread running callable.Run(); a failed start throws PosixPlatform::ThreadError.
ThreadHandle StartCallableThread(Callable& callable);
// Waits without limit for the handle's thread and empties the handle; an empty handle is ignored.
// A failed wait throws Posix::Error.
void WaitAndCloseThreadHandle(ThreadHandle& handle);
// True for an empty handle, and for a thread that has ended (the handle is emptied then); false at
// once for a thread that still runs. A failure throws Posix::Error.
bool IsThreadFinished(ThreadHandle& handle);

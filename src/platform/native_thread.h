// The Linux side of threads: POSIX threads started with a chosen stack size, joined with or without
// waiting, and thread-local keys whose values are disposed of when a thread ends.
#pragma once

#include <pthread.h>

#include <cstddef>

#include "base/exceptions.h"

namespace PosixPlatform {

// A thread could not be started; carries the error number of the failed start.
class ThreadError : public DebuggableException {
  public:
    explicit ThreadError(int errorNumber) : m_errorNumber(errorNumber) {}
    int ErrorNumber() const { return m_errorNumber; }

  private:
    int m_errorNumber;
};

using NativeThread = pthread_t;
using NativeThreadRoutine = void* (*)(void*);

// The system's default stack size.
constexpr std::size_t kDefaultStackBytes = 0;

// Starts a joinable thread running routine(argument). Returns 0, or the error number of the failed
// start (nothing was started then).
int StartNativeThread(NativeThreadRoutine routine, void* argument, std::size_t stackBytes,
                      NativeThread& thread);
// Starts a thread that nobody joins; returns 0 or the error number.
int StartDetachedNativeThread(NativeThreadRoutine routine, void* argument, std::size_t stackBytes);
// Waits without limit for the thread to end and releases it. A failure throws Posix::Error.
void JoinNativeThread(NativeThread thread);
// When the thread has ended, releases it and returns true; otherwise returns false at once.
// A failure throws Posix::Error.
bool TryJoinNativeThread(NativeThread thread);

// The calling thread's id as the kernel numbers it (what ps and /proc show), for log lines.
unsigned long CurrentThreadId();

// One thread-local slot. Each thread's value starts null; when a thread ends with a non-null value,
// the disposer is called with it on that thread. Get and Set act on the calling thread's value.
class ThreadLocalKey {
  public:
    // A failure (no key left) throws Posix::Error.
    explicit ThreadLocalKey(void (*disposer)(void*));
    ThreadLocalKey(const ThreadLocalKey&) = delete;
    ThreadLocalKey& operator=(const ThreadLocalKey&) = delete;
    // Releases the slot; values that other threads still hold are not disposed of.
    ~ThreadLocalKey();

    void* Get() const { return ::pthread_getspecific(m_key); }
    // A failure throws Posix::Error.
    void Set(void* value);

  private:
    pthread_key_t m_key;
};

}  // namespace PosixPlatform

// StopSignalThread: the service's stand-in for the console and service control handlers. SIGTERM
// (systemd, kill) and SIGINT (Ctrl-C) are taken by one thread of its own, never by a signal handler,
// and each one calls the given function on that thread.
//
// BlockStopSignals must run on the main thread before any other thread starts, so that every thread
// inherits the mask and the signals wait for this thread to read them. The function may be called
// several times (once per signal); it runs on the signal thread while the service runs on another.
// The destructor ends the thread and waits for it.
#pragma once

#include <functional>

#include "foundation/event.h"
#include "foundation/thread.h"
#include "platform/file_descriptor.h"

// Blocks SIGTERM and SIGINT in the calling thread (and so in every thread it starts later).
void BlockStopSignals();

class StopSignalThread {
  public:
    // Blocks the signals in the calling thread too, then starts the thread.
    explicit StopSignalThread(std::function<void()> onStopSignal);
    ~StopSignalThread();
    StopSignalThread(const StopSignalThread&) = delete;
    StopSignalThread& operator=(const StopSignalThread&) = delete;

  private:
    void WaitForSignals();

    std::function<void()> m_onStopSignal;
    PosixPlatform::FileDescriptor m_signals;  // a signalfd for SIGTERM and SIGINT
    Event m_finished;
    CallableFunction m_body;
    ThreadHandle m_thread;
};

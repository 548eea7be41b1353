// ThreadGroup: the threads that one owner starts, each running one call, joined when the group is
// joined or destroyed.
//
// Start first drops the entries of threads that have already ended, then starts a thread for the
// call; the group keeps the call alive at least as long as its thread. JoinAll and the destructor
// wait, without limit and in start order, for every listed thread. Neither asks the threads to stop:
// the owner sets the event its work waits on (usually the process stop event) before destroying the
// group. An exception that leaves a call is discarded on its thread.
//
// A group has no lock: it is used by one owner thread. Its threads never touch it.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>

#include "foundation/thread.h"

class ThreadGroup {
  public:
    ThreadGroup() = default;
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;
    ~ThreadGroup() { JoinAll(); }

    // A failed start throws PosixPlatform::ThreadError; the call is then destroyed and the group holds
    // only the threads that were still running.
    void Start(std::function<void()> call);
    void JoinAll();

  private:
    void DropFinished();

    struct Entry {
        // Declared before the thread, so destroying an entry joins the thread before the call dies.
        std::unique_ptr<Callable> call;
        ThreadHandle thread;
    };
    std::list<Entry> m_entries;  // in start order
};

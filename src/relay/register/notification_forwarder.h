// NotificationForwarder: the bounded pool that sends notifications on to other relays as HTTP
// requests (ForwardNotificationJob), so that a notification never waits for a slow relay and a burst
// of them costs a fixed number of threads.
//
// Start-up builds one and destroys it at shutdown before the components the jobs use. Its workers
// and the requests they run end promptly once the given stop event is set or the pool is destroyed:
// a waiting job is dropped, a request in progress is broken off. A job that finds the queue full is
// dropped and logged; forwards are never retried.
//
// Threads: Forward may be called from any thread. The pool is destroyed by its owner's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "foundation/event.h"
#include "foundation/thread_group.h"

// One forward: the full URL and the proxy settings to reach it through.
struct ForwardedNotificationRequest {
    std::string url;
    std::string proxyUser;
    std::string proxyPassword;
    std::string proxyServer;
    std::uint16_t proxyPort = 0;
    int addressFamily = 0;
};

// Sends the request as a GET without body ("User-Agent: KVRRelay", 60 seconds per step) and reads
// the reply's ping count; every failure is logged at "debug" and dropped. Ends at once when `stop` is
// set.
void ForwardNotificationJob(const ForwardedNotificationRequest& request, Event& stop);

class NotificationForwarder {
  public:
    static constexpr std::size_t kWorkerCount = 4;
    static constexpr std::size_t kMaxQueuedForwards = 1024;

    NotificationForwarder(Event& stop, std::size_t workers = kWorkerCount,
                          std::size_t maxQueued = kMaxQueuedForwards);
    // Breaks off the work in progress and joins every thread.
    ~NotificationForwarder();
    NotificationForwarder(const NotificationForwarder&) = delete;
    NotificationForwarder& operator=(const NotificationForwarder&) = delete;

    // Queues the forward; false when it was dropped (queue full, or the pool is stopping).
    bool Forward(ForwardedNotificationRequest request);

  private:
    void WorkerLoop();
    void WatchStop();

    Event& m_stop;
    std::size_t m_maxQueued;
    // Set by a stop or by the destructor; what the workers and their requests watch.
    Event m_closing;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<ForwardedNotificationRequest> m_queue;
    // Last, so that destroying it joins the threads before the members they use go.
    ThreadGroup m_threads;
};

#include "relay/register/notification_forwarder.h"

#include "foundation/interruptor.h"
#include "foundation/log_manager.h"
#include "http/http_client_session.h"
#include "http/socket_http_client.h"
#include "relay/register/ping_request_http_handler.h"

namespace {

constexpr std::uint64_t kForwardTimeOut = 60'000'000;  // microseconds

}  // namespace

void ForwardNotificationJob(const ForwardedNotificationRequest& request, Event& stop) {
    try {
        HTTPClientSession session(request.proxyUser, request.proxyPassword, "", "", "", request.proxyServer,
                                  request.proxyPort, false, request.addressFamily);
        PingRequestHttpHandler handler(request.url, stop);
        PerformHTTPRequest(handler, session, kForwardTimeOut, stop);
        if (handler.HasError()) {
            KVR_LOG("debug") << "Forwarded notification " << request.url << ": " << handler.ErrorText();
        }
    } catch (const StopRequest&) {
    } catch (const std::exception& error) {
        KVR_LOG("debug") << "Forwarded notification " << request.url << " failed: " << error.what();
    }
}

NotificationForwarder::NotificationForwarder(Event& stop, std::size_t workers, std::size_t maxQueued)
    : m_stop(stop), m_maxQueued(maxQueued) {
    try {
        m_threads.Start([this] { WatchStop(); });
        for (std::size_t i = 0; i < workers; ++i) m_threads.Start([this] { WorkerLoop(); });
    } catch (...) {
        m_closing.Set();
        m_changed.notify_all();
        throw;
    }
}

NotificationForwarder::~NotificationForwarder() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closing.Set();
    }
    m_changed.notify_all();
    m_threads.JoinAll();
}

bool NotificationForwarder::Forward(ForwardedNotificationRequest request) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // The stop event is asked too: the watcher thread may not have passed it on to m_closing yet.
        if (m_closing.Wait(0) || m_stop.Wait(0)) return false;
        if (m_queue.size() >= m_maxQueued) {
            KVR_LOG("critical") << "Notification forward to " << request.url << " dropped: too many waiting.";
            return false;
        }
        m_queue.push_back(std::move(request));
    }
    m_changed.notify_one();
    return true;
}

// Turns a stop of the process into the pool's own closing, which the workers and their requests
// watch.
void NotificationForwarder::WatchStop() {
    m_stop.WaitWithHandle(m_closing.Descriptor(), kWaitWithoutLimit);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closing.Set();
    }
    m_changed.notify_all();
}

void NotificationForwarder::WorkerLoop() {
    for (;;) {
        ForwardedNotificationRequest request;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return m_closing.IsSetWithoutWaiting() || !m_queue.empty(); });
            if (m_closing.IsSetWithoutWaiting()) return;
            request = std::move(m_queue.front());
            m_queue.pop_front();
        }
        ForwardNotificationJob(request, m_closing);
    }
}

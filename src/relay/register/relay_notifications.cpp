#include "relay/register/relay_notifications.h"

#include <mutex>

namespace {

std::mutex g_currentLock;
NotificationServices* g_current = nullptr;

}  // namespace

RelayNotifications::RelayNotifications(GatherOptionsManager& options, Event& stop)
    : m_forwarder(stop),
      m_services{options, m_gatherState, m_downloadPings, m_forwarder},
      m_notifier(m_services) {
    std::lock_guard<std::mutex> guard(g_currentLock);
    g_current = &m_services;
}

RelayNotifications::~RelayNotifications() {
    std::lock_guard<std::mutex> guard(g_currentLock);
    if (g_current == &m_services) g_current = nullptr;
}

NotificationServices& CurrentNotificationServices() {
    std::lock_guard<std::mutex> guard(g_currentLock);
    if (!g_current) throw ExceptionPL("Client notification is not running.");
    return *g_current;
}

#include "relay/register/relay_notifications.h"

RelayNotifications::RelayNotifications(GatherOptionsManager& options, GatherStateNotifications& gatherState,
                                       DownloadPingHandler& downloads, Event& stop)
    : m_forwarder(stop),
      m_services{options, gatherState, downloads, m_forwarder},
      m_notifier(m_services) {}

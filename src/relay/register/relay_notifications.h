// RelayNotifications: the relay's client notification as the run routine builds it, at its place
// after the download side and the gather state: the pool that forwards to other relays, the services
// that bundle it with the local actions, and the RelayClientNotifier handed to the download side.
//
// The run routine hands Services() to the client-register plug-in, whose notification requests use
// them. The local actions (the gather state's and the download side's, local_notification_actions.h)
// and the relay configuration are not owned and must outlive this object. Destroying it (at
// shutdown, after the plug-ins) joins the forwarding pool, breaking off forwards still in progress.
#pragma once

#include "foundation/event.h"
#include "relay/register/client_notifier.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/notification_forwarder.h"
#include "relay/register/notification_services.h"

class RelayNotifications {
  public:
    RelayNotifications(GatherOptionsManager& options, GatherStateNotifications& gatherState,
                       DownloadPingHandler& downloads, Event& stop);
    RelayNotifications(const RelayNotifications&) = delete;
    RelayNotifications& operator=(const RelayNotifications&) = delete;

    ClientNotifier& Notifier() { return m_notifier; }
    NotificationServices& Services() { return m_services; }

  private:
    NotificationForwarder m_forwarder;
    NotificationServices m_services;
    RelayClientNotifier m_notifier;
};

// RelayNotifications: the relay's client notification as start-up builds it, at its place after the
// download side and before the plug-ins: the local actions, the pool that forwards to other relays,
// the services that bundle them, and the RelayClientNotifier handed to the download side.
//
// While it lives, its services are the ones the client-register plug-in's notification requests use
// (CurrentNotificationServices). Destroying it (at shutdown, after the plug-ins) withdraws them and
// joins the forwarding pool, breaking off forwards still in progress.
//
// Until the gather state and the download manager are built, their local actions are stand-ins that
// pass every notification on.
#pragma once

#include "relay/register/client_notifier.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/notification_forwarder.h"
#include "relay/register/notification_services.h"

class RelayNotifications {
  public:
    RelayNotifications(GatherOptionsManager& options, Event& stop);
    ~RelayNotifications();
    RelayNotifications(const RelayNotifications&) = delete;
    RelayNotifications& operator=(const RelayNotifications&) = delete;

    ClientNotifier& Notifier() { return m_notifier; }
    NotificationServices& Services() { return m_services; }

  private:
    PassingGatherState m_gatherState;
    PassingDownloadPings m_downloadPings;
    NotificationForwarder m_forwarder;
    NotificationServices m_services;
    RelayClientNotifier m_notifier;
};

// The services of the living RelayNotifications; ExceptionPL "Client notification is not running."
// when there is none. Any thread.
NotificationServices& CurrentNotificationServices();

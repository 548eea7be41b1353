// NotificationServices: the shared objects a notification reaches on its way: the relay
// configuration and the local actions (local_notification_actions.h), the queue of single-computer
// notifications and the command store (notification_dispatcher.h), and the pool that forwards to
// other relays (notification_forwarder.h). None is owned; start-up builds them and keeps them alive
// while anything may notify.
#pragma once

#include "relay/register/client_command_store.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/notification_dispatcher.h"
#include "relay/register/notification_forwarder.h"

class GatherOptionsManager;

struct NotificationServices {
    GatherOptionsManager& options;
    GatherStateNotifications& gatherState;
    DownloadPingHandler& downloads;
    NotificationForwarder& forwarder;
    NotificationDispatcher& dispatcher = NotificationDispatcher::Instance();
    ClientCommandStore& commands = ClientCommandStore::Instance();
};

// How notifications start: ClientNotifier is the door through which the download relay raises them
// on this relay (RelayClientNotifier, built by start-up); NotifyClientsLocally starts one as if this
// relay's own server had asked for it. Each runs its local action (local_notification_actions.h)
// and is then routed on (notification_routing.h).
//
// RelayClientNotifier has no state of its own and may be called from any thread at once; each call
// reads the settings afresh.
#pragma once

#include <cstdint>

#include "formats/digest_record.h"
#include "relay/register/client_notification.h"
#include "relay/register/notification_services.h"

class ClientRegistrationList;

class ClientNotifier {
  public:
    virtual ~ClientNotifier() = default;
    // A download identified by its digest is ready (DownloadCRC, the checksum of the digest).
    virtual void NotifyFromData(const DigestRecord& digest) = 0;
    // A download of the action with this ID is ready (DownloadAvailable).
    virtual void NotifyWithNumber(std::uint32_t actionID) = 0;
};

class RelayClientNotifier : public ClientNotifier {
  public:
    // The services (and the list) are not owned and must outlive the notifier. Without a list, the
    // process-wide one.
    explicit RelayClientNotifier(NotificationServices services, ClientRegistrationList* list = nullptr)
        : m_services(services), m_list(list) {}

    void NotifyFromData(const DigestRecord& digest) override;
    void NotifyWithNumber(std::uint32_t actionID) override;

  private:
    void Notify(const ClientNotification& notification);

    NotificationServices m_services;
    ClientRegistrationList* m_list;
};

// Routes the notification to every client of this relay and below it (NotifyAllClients) with the
// settings as they stand now, as addressed to this server, with a new sequence number and an empty
// relay path, through the process-wide registration list. Failures pass to the caller.
void NotifyClientsLocally(const ClientNotification& notification, NotificationServices& services);
// The same through the given list.
void NotifyClientsLocally(const ClientNotification& notification, ClientRegistrationList& list,
                          NotificationServices& services);

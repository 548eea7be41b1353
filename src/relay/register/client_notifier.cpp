#include "relay/register/client_notifier.h"

#include "foundation/checksum_receiver.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_routing.h"

void RelayClientNotifier::NotifyFromData(const DigestRecord& digest) {
    Notify(ClientNotification(NotificationType::kDownloadCRC, ChecksumOfRange(digest.Bytes())));
}

void RelayClientNotifier::NotifyWithNumber(std::uint32_t actionID) {
    Notify(ClientNotification(NotificationType::kDownloadAvailable, actionID));
}

void RelayClientNotifier::Notify(const ClientNotification& notification) {
    NotifyClientsLocally(notification, m_list ? *m_list : ClientRegistrationList::Instance(), m_services);
}

void NotifyClientsLocally(const ClientNotification& notification, NotificationServices& services) {
    NotifyClientsLocally(notification, ClientRegistrationList::Instance(), services);
}

void NotifyClientsLocally(const ClientNotification& notification, ClientRegistrationList& list,
                          NotificationServices& services) {
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    NotifyAllClients(configuration, list, notification, 0, "", configuration.GetThisServerID(), services);
}

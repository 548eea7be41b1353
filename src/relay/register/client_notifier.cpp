#include "relay/register/client_notifier.h"

#include "foundation/checksum_receiver.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_routing.h"

namespace {

using namespace NotificationType;

void Require(bool present, const char* message) {
    if (!present) throw ExceptionPL(message);
}

bool GatherAction(const ClientNotification& notification, GatherStateNotifications& gatherState) {
    Require(notification.argument.has_value(), "NotifyClients: GatherAction notification must have an argument value.");
    bool result = gatherState.NotifyGatherAction(*notification.argument, false);
    if (notification.argument1MV) {
        bool multiValue = gatherState.NotifyGatherAction(*notification.argument1MV, true);
        result = result && multiValue;
    }
    return result;
}

bool GatherHash(const ClientNotification& notification, GatherStateNotifications& gatherState) {
    Require(notification.argument && notification.argument2,
            "NotifyClients: GatherHash notification must have 2 argument values.");
    bool result = gatherState.NotifyGatherHash(*notification.argument, *notification.argument2, false);
    if (notification.argument1MV) {
        bool multiValue = gatherState.NotifyGatherHash(*notification.argument1MV, *notification.argument2, true);
        result = result && multiValue;
    }
    return result;
}

bool ResendReport(const ClientNotification& notification, bool allClients, ClientRegistrationList& list) {
    if (allClients) return false;
    Require(notification.computerID.has_value(),
            "NotifyClients: ResendReport notification must have a computer ID value.");
    Require(notification.argument && notification.argument2,
            "NotifyClients: ResendReport notification must have 2 argument values.");
    list.MarkPendingNotification(*notification.computerID, *notification.argument, *notification.argument2);
    return true;
}

}  // namespace

void RelayClientNotifier::NotifyFromData(const DigestRecord& digest) {
    Notify(ClientNotification(kDownloadCRC, ChecksumOfRange(digest.Bytes())));
}

void RelayClientNotifier::NotifyWithNumber(std::uint32_t actionID) {
    Notify(ClientNotification(kDownloadAvailable, actionID));
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

bool NotifyClients(std::uint32_t type, const ClientNotification& notification, bool allClients,
                   ClientRegistrationList& list, NotificationServices& services) {
    switch (type) {
        case kGatherAction:
            return GatherAction(notification, services.gatherState);
        case kDownloadAvailable:
            Require(notification.argument.has_value(),
                    "NotifyClients: DownloadPing notification must have an argument value.");
            return services.downloads.HandleDownloadPing(*notification.argument, services.options);
        case kGatherHash:
            return GatherHash(notification, services.gatherState);
        case kResendReport:
            return ResendReport(notification, allClients, list);
        case kDownloadCRC:
            Require(notification.argument.has_value(),
                    "NotifyClients: DownloadCRCPing notification must have an argument value.");
            return services.downloads.HandleDynamicDownloadPing(*notification.argument, services.options);
        default:
            return true;
    }
}

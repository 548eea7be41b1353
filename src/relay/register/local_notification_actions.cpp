#include "relay/register/local_notification_actions.h"

#include "relay/register/client_registration_list.h"
#include "relay/register/notification_services.h"

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

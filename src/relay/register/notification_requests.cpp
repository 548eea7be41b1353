#include "relay/register/notification_requests.h"

#include "relay/register/notification_routing.h"
#include "relay/register/registration_request.h"

namespace {

std::optional<std::uint32_t> GivenArgument1MV(const RegistrationRequestParameters& parameters) {
    if (!parameters.hasArgument1MV) return std::nullopt;
    return parameters.argument1MV;
}

std::string Line(const char* header, const std::string& values) {
    return std::string(header) + ": " + values + "\r\n";
}

}  // namespace

ClientNotification NotificationForAllClients(const RegistrationRequestParameters& parameters) {
    std::uint32_t type = NotificationTypeFromName(parameters.body);
    if (type == NotificationType::kWakeOnLanForward)
        return ClientNotification(ParseIPSubnet(parameters.wolSubnet), parameters.wolPayload);
    return ClientNotification(type, parameters.argument, GivenArgument1MV(parameters), parameters.argument2);
}

ClientNotification NotificationForOneClient(const RegistrationRequestParameters& parameters) {
    return ClientNotification(NotificationTypeFromName(parameters.body), parameters.argument,
                              GivenArgument1MV(parameters), parameters.argument2, parameters.computerID);
}

std::string PendingCommandLines(const ClientCommandState& state, bool canHandleMVPings,
                                const std::vector<GatheredSiteVersion>& sites) {
    std::string lines;
    if (state.registerSequence != 0)
        lines += Line("x-kvr-command-register", std::to_string(state.registerSequence));
    if (state.refreshSequence != 0) {
        std::uint32_t argument = canHandleMVPings ? state.refreshMVArgument : state.refreshArgument;
        lines += Line("x-kvr-command-forcerefresh",
                      std::to_string(state.refreshSequence) + " " + std::to_string(argument));
    }
    if (state.resendSequence != 0) {
        lines += Line("x-kvr-command-resendreport", std::to_string(state.resendSequence) + " " +
                                                        std::to_string(state.resendLowest) + " " +
                                                        std::to_string(state.resendHighest));
    }
    for (const GatheredSiteVersion& site : sites) {
        if (canHandleMVPings) {
            bool many = site.manyVersion != 0;
            lines += Line("x-kvr-command-hasiteversion", site.siteURL + (many ? " 1 " : " 0 ") +
                                                             std::to_string(many ? site.manyVersion : site.version));
        } else {
            lines += Line("x-kvr-command-siteversion", site.siteURL + " " + std::to_string(site.version));
        }
    }
    return lines;
}

void ServeNotifyAllClients(RegistrationRequest& request) {
    const RegistrationRequestParameters& parameters = request.parameters;
    ClientNotification notification = NotificationForAllClients(parameters);
    std::uint32_t count = NotifyAllClients(request.configuration, request.list, notification,
                                           parameters.pingSequenceNumber, parameters.relayPath,
                                           parameters.destinationServer, request.notifications);
    SendSuccessCountReply(request.writer, count);
}

void ServeNotifyClient(RegistrationRequest& request) {
    const RegistrationRequestParameters& parameters = request.parameters;
    NotifyClient(request.configuration, request.list, NotificationForOneClient(parameters), parameters.relayPath,
                 request.notifications);
    SendSuccessCountReply(request.writer, 1);
}

void ServeFetchCommands(RegistrationRequest& request) {
    const RegistrationRequestParameters& parameters = request.parameters;
    NotificationServices& services = request.notifications;
    ClientCommandState state = services.commands.Take(parameters.computerID);
    std::string lines = PendingCommandLines(state, parameters.canHandleMVPings, services.gatherState.ListSiteVersions());
    SendPlainTextResponse(request.writer, lines, 200, false, false);
}

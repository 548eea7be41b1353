#include "relay/register/notification_routing.h"

#include <algorithm>
#include <set>
#include <vector>

#include "foundation/clocks.h"
#include "foundation/list_pl.h"
#include "foundation/log_manager.h"
#include "net/url_builders.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/local_notification_actions.h"

namespace {

using namespace NotificationType;

bool HasMultiValueForm(std::uint32_t type) {
    return type == kGatherAction || type == kGatherHash;
}

std::uint64_t OwnComputerID(const ClientRegisterConfiguration& configuration) {
    return configuration.GetParentRelayConfiguration().GetOwnComputerID();
}

std::string Decimal(std::uint64_t value) {
    return std::to_string(value);
}

// Who a notification for all clients goes to, from the registrations of this server.
struct Recipients {
    std::set<IPAddress> childRelays;
    std::vector<std::uint64_t> plain;
    std::vector<std::uint64_t> multiValue;
};

bool ReachesForWakeOnLan(const ClientRegistrationListItem& item, const ClientNotification& notification) {
    return item.canForwardWoL && item.subnet && notification.wolSubnet && *item.subnet == *notification.wolSubnet;
}

// Registrations at or before the cut-off have expired: they are not notified and their pending
// commands are forgotten.
Recipients CollectRecipients(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                             const ClientNotification& notification, ClientCommandStore& commands) {
    ListPL<ClientRegistrationListItem> items;
    list.CopyItems(items);
    std::int64_t now = NowInSeconds();
    std::int64_t cutoff = now - static_cast<std::int64_t>(configuration.GetClientRegistrationExpirationPeriod()) * 60;
    Recipients recipients;
    for (const ClientRegistrationListItem& item : items) {
        if (static_cast<std::int64_t>(item.regTime) <= cutoff) {
            commands.Remove(item.clientID);
            continue;
        }
        if (item.originServer != configuration.GetThisServerID()) continue;
        if (notification.type == kWakeOnLanForward && !ReachesForWakeOnLan(item, notification)) continue;
        if (item.relayAddress) {
            recipients.childRelays.insert(item.address);
        } else if (item.canHandleMVPings && HasMultiValueForm(notification.type)) {
            recipients.multiValue.push_back(item.clientID);
        } else {
            recipients.plain.push_back(item.clientID);
        }
    }
    return recipients;
}

std::uint32_t ForwardTowardsServer(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                                   const ClientNotification& notification, std::uint32_t sequence,
                                   const std::string& path, std::uint32_t destination,
                                   NotificationForwarder& forwarder) {
    ReplicationServerList servers;
    list.GetReplicationServerList(servers);
    if (!servers.Contains(destination))
        throw ExceptionPL("Attempt to forward ping to unknown server #" + Decimal(destination) + ".");
    std::uint32_t through = servers.Find(destination).lastUpdateServerID;
    if (!servers.Contains(through))
        throw ExceptionPL("Attempt to forward ping to server #" + Decimal(destination) + " through unknown server #" +
                          Decimal(through) + ".");
    const ReplicationServer& next = servers.Find(through);
    ForwardNotification(notification, "NotifyAllClients", next.serverName, next.serverPort, sequence, path,
                        configuration, true, destination, forwarder);
    return 1;
}

// The type sent to this relay's own client and to the clients that handle multi-value pings: the
// multi-value form (13, 16) only for a notification that carries its multi-value argument, and only
// when the own client handles such pings. Without Argument1MV a type 13 or 16 packet would carry the
// plain Argument where a client reads a multi-value version.
std::uint32_t MultiValueListType(const ClientNotification& notification, std::uint64_t ownID,
                                 ClientRegistrationList& list) {
    if (!notification.argument1MV || !HasMultiValueForm(notification.type)) return notification.type;
    ClientRegistrationListItem own;
    if (list.GetItem(ownID, own) && own.canHandleMVPings) return MultiValueType(notification.type);
    return notification.type;
}

std::string HostText(std::string_view host) {
    if (host.find(':') != std::string_view::npos && host.front() != '[') return "[" + std::string(host) + "]";
    return std::string(host);
}

}  // namespace

std::string AppendRelayPath(std::string_view path, const ClientRegisterConfiguration& configuration) {
    std::string ownID = Decimal(OwnComputerID(configuration));
    if (path.find("!" + ownID + "!") != std::string_view::npos) throw RelayLoopDetected();
    std::string extended(path);
    if (extended.empty()) extended = "!";
    extended += ownID + "!";
    auto depth = static_cast<std::uint64_t>(std::count(extended.begin(), extended.end(), '!'));
    if (depth > configuration.GetMaxRelayPathLength()) throw ExceptionPL("Client notification relay path too deep.");
    return extended;
}

std::uint32_t NotifyAllClients(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                               const ClientNotification& notification, std::uint32_t sequence,
                               std::string_view relayPath, std::uint32_t destinationServer,
                               NotificationServices& services) {
    if (notification.type == kWakeOnLanForward && (!notification.wolSubnet || !notification.wolPayload))
        throw ExceptionPL("NotifyClients Error: WOL Notification was missing subnet and payload arguments.");
    std::string path = AppendRelayPath(relayPath, configuration);
    if (destinationServer != configuration.GetThisServerID())
        return ForwardTowardsServer(configuration, list, notification, sequence, path, destinationServer,
                                    services.forwarder);

    if (!NotifyClients(notification.type, notification, true, list, services)) return 0;
    std::uint64_t ownID = OwnComputerID(configuration);
    const std::uint32_t multiValueType = MultiValueListType(notification, ownID, list);
    std::uint32_t count = 0;
    if (notification.type != kWakeOnLanForward) {
        ClientNotification own = notification;
        own.computerID = ownID;
        sequence = SendToComputer(multiValueType, own, sequence, services.dispatcher, services.commands);
        count = 1;
    }
    Recipients recipients = CollectRecipients(configuration, list, notification, services.commands);
    for (const IPAddress& relay : recipients.childRelays) {
        ForwardNotificationToRelay(configuration, relay, "NotifyAllClients", notification, sequence, path,
                                   services.forwarder);
    }
    SendToComputers(notification.type, notification, recipients.plain, sequence, services.dispatcher,
                    services.commands);
    count += static_cast<std::uint32_t>(recipients.childRelays.size() + recipients.plain.size());
    if (HasMultiValueForm(notification.type)) {
        SendToComputers(multiValueType, notification, recipients.multiValue, sequence, services.dispatcher,
                        services.commands);
        count += static_cast<std::uint32_t>(recipients.multiValue.size());
    }
    return count;
}

void NotifyClient(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                  const ClientNotification& notification, std::string_view relayPath,
                  NotificationServices& services) {
    std::string path = AppendRelayPath(relayPath, configuration);
    NotifyClients(notification.type, notification, false, list, services);
    if (!notification.computerID)
        throw ExceptionPL("NotifyClient: NotifySingleClient command must include a computer ID.");
    ClientRegistrationListItem item;
    list.GetItem(*notification.computerID, item);
    if (item.originServer != configuration.GetThisServerID()) return;
    if (item.relayAddress) {
        ForwardNotificationToRelay(configuration, list.GetRoute(*notification.computerID), "NotifyClient",
                                   notification, 0, path, services.forwarder);
        return;
    }
    std::uint32_t type = item.canHandleMVPings ? MultiValueType(notification.type) : notification.type;
    SendToComputer(type, notification, 0, services.dispatcher, services.commands);
}

void ForwardNotificationToRelay(const ClientRegisterConfiguration& configuration, const IPAddress& relay,
                                const char* requestType, const ClientNotification& notification,
                                std::uint32_t sequence, std::string_view relayPath, NotificationForwarder& forwarder) {
    ForwardNotification(notification, requestType, FormatIPAddress(relay).View(), configuration.GetPingRequestPort(),
                        sequence, relayPath, configuration, false, 0, forwarder);
}

std::string MakeForwardedNotificationURL(const ClientNotification& notification, std::string_view requestType,
                                         std::string_view host, std::uint32_t port, std::uint32_t sequence,
                                         std::string_view relayPath, bool includeDestination,
                                         std::uint32_t destinationServer) {
    URLQueryBuilder query;
    query.Add("RequestType", requestType);
    query.Add("Body", NotificationTypeName(notification.type));
    if (notification.argument) query.Add("Argument", Decimal(*notification.argument));
    if (notification.argument1MV) query.Add("Argument1MV", Decimal(*notification.argument1MV));
    if (notification.argument2) query.Add("Argument2", Decimal(*notification.argument2));
    if (notification.computerID) query.Add("ComputerID", Decimal(*notification.computerID));
    if (notification.wolSubnet && notification.wolPayload) {
        query.Add("WOLSubnet", notification.wolSubnet->ToString().View());
        query.Add("WOLPayload", *notification.wolPayload);
    }
    query.Add("RelayPath", relayPath);
    query.Add("PingSequenceNumber", Decimal(sequence));
    if (includeDestination) query.Add("DestinationServer", Decimal(destinationServer));
    return "http://" + HostText(host) + ":" + Decimal(port) + "/cgi-bin/vtdaruravidu/ClientRegister.exe?" +
           query.Text();
}

void ForwardNotification(const ClientNotification& notification, std::string_view requestType,
                         std::string_view host, std::uint32_t port, std::uint32_t sequence, std::string_view relayPath,
                         const ClientRegisterConfiguration& configuration, bool includeDestination,
                         std::uint32_t destinationServer, NotificationForwarder& forwarder) {
    std::string url = MakeForwardedNotificationURL(notification, requestType, host, port, sequence, relayPath,
                                                   includeDestination, destinationServer);
    KVR_LOG("performance") << "Forwarding notification request to another relay/server: " << url;
    const ParentRelayConfiguration& parent = configuration.GetParentRelayConfiguration();
    forwarder.Forward(ForwardedNotificationRequest{url, parent.GetProxyUser(), parent.GetProxyPassword(),
                                                   parent.GetProxyServer(),
                                                   static_cast<std::uint16_t>(parent.GetProxyPort()),
                                                   parent.GetAddressFamily()});
}

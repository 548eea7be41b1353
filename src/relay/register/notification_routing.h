// Where a notification goes from this relay: every client registered here is pinged by UDP (through
// the dispatcher), every child relay that leads to registered clients gets the notification as a
// forwarded request ("NotifyAllClients" or "NotifyClient" of its client-register path) and repeats
// the routing one level down, and a notification addressed to another server of a replicated set
// goes towards that server.
//
// The relay path stops loops and overly deep chains: "!" and the own computer IDs (in decimal) of
// the relays a notification passed, oldest first, each followed by "!"; the empty text for none. Its
// depth is its number of "!".
//
// NotifyAllClients and NotifyClient may run on many threads at once; they work on copies of the
// registration items and of the server list, and hold no lock while they queue or forward.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "net/ip_address.h"
#include "relay/register/client_notification.h"
#include "relay/register/notification_services.h"

class ClientRegisterConfiguration;
class ClientRegistrationList;

class RelayLoopDetected : public ExceptionPL {
  public:
    RelayLoopDetected() : ExceptionPL("Client notification relay loop detected.") {}
};

// The path extended by this relay: "!5!" from "" and "!7!5!" from "!7!" on the relay whose own ID
// is 5. RelayLoopDetected when the path already holds "!<own ID>!"; ExceptionPL "Client notification
// relay path too deep." when the new path has more "!" than MaxRelayPathLength.
std::string AppendRelayPath(std::string_view path, const ClientRegisterConfiguration& configuration);

// Routes a notification for every client. Addressed to this server (ThisServerID): runs the local
// action (NotifyClients) and, when it passes, queues a ping for the relay's own client (not for
// wake-on-LAN), pings every unexpired client registered on this server (for wake-on-LAN only those
// that can forward it on the notification's subnet), forwards to each child relay through which such
// clients registered, and answers the number of pings and forwards started. The own client and the
// clients that handle multi-value pings get a GatherAction (GatherHash) as GatherActionMV
// (GatherHashMV) only when it carries Argument1MV and the own client handles such pings; otherwise
// as it is. Addressed to another
// server: forwards once towards it, through the server the replication server list names, and
// answers 1. A wake-on-LAN forward without subnet or payload, a loop, an overlong path, an unknown
// server and the local action's failures throw before anything is queued or forwarded. Expired
// registrations lose their pending commands.
std::uint32_t NotifyAllClients(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                               const ClientNotification& notification, std::uint32_t sequence,
                               std::string_view relayPath, std::uint32_t destinationServer,
                               NotificationServices& services);

// Routes a notification for the one computer in its ComputerID: runs the local action, then, when
// the computer was registered on this server, forwards to the child relay that leads to it or queues
// a ping with a new sequence number. ExceptionPL "NotifyClient: NotifySingleClient command must
// include a computer ID." without ComputerID.
void NotifyClient(const ClientRegisterConfiguration& configuration, ClientRegistrationList& list,
                  const ClientNotification& notification, std::string_view relayPath,
                  NotificationServices& services);

// Forwards to a child relay at its address, on PingRequestPort (UDPMessagePort when that is 0).
void ForwardNotificationToRelay(const ClientRegisterConfiguration& configuration, const IPAddress& relay,
                                const char* requestType, const ClientNotification& notification,
                                std::uint32_t sequence, std::string_view relayPath, NotificationForwarder& forwarder);

// The URL of a forwarded request: http://<host>:<port>/cgi-bin/vtdaruravidu/ClientRegister.exe and
// the query RequestType, Body (the type's name), Argument, Argument1MV, Argument2, ComputerID (each
// when present), WOLSubnet and WOLPayload (when both are present), RelayPath, PingSequenceNumber and,
// with `includeDestination`, DestinationServer. UnknownClientCommand for a type without a name.
std::string MakeForwardedNotificationURL(const ClientNotification& notification, std::string_view requestType,
                                         std::string_view host, std::uint32_t port, std::uint32_t sequence,
                                         std::string_view relayPath, bool includeDestination,
                                         std::uint32_t destinationServer);

// Hands the request with the configuration's proxy settings to the forwarding pool; returns at once.
void ForwardNotification(const ClientNotification& notification, std::string_view requestType,
                         std::string_view host, std::uint32_t port, std::uint32_t sequence, std::string_view relayPath,
                         const ClientRegisterConfiguration& configuration, bool includeDestination,
                         std::uint32_t destinationServer, NotificationForwarder& forwarder);

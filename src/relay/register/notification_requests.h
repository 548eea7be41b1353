// The client-register plug-in's notification requests: "NotifyAllClients" and "NotifyClient" from
// the parent or another relay, routed through the relay tree (notification_routing.h), and
// "FetchCommands", by which a client that missed its ping collects its pending commands
// (client_command_store.h). Each is one entry of the request-type table
// (registration_request_types.cpp).
#pragma once

#include <string>
#include <vector>

#include "relay/register/client_command_store.h"
#include "relay/register/client_notification.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/registration_request_parameters.h"

struct RegistrationRequest;

// The notification a "NotifyAllClients" request asks for: the type named by Body; for
// WakeOnLanForward its WOLSubnet (parsed; the subnet parser's failure passes on) and WOLPayload,
// otherwise Argument and Argument2 (present, 0 when not given) and Argument1MV when given, without a
// computer. UnknownClientCommand for a Body that names no type.
ClientNotification NotificationForAllClients(const RegistrationRequestParameters& parameters);
// The notification a "NotifyClient" request asks for: the type named by Body, Argument, Argument2,
// Argument1MV when given, and ComputerID (present, 0 when not given).
ClientNotification NotificationForOneClient(const RegistrationRequestParameters& parameters);

// The pending-command lines of a FetchCommands answer, each ending in CR LF, in this order and each
// only when its sequence is not 0:
//   "x-kvr-command-register: <RegisterSequence>"
//   "x-kvr-command-forcerefresh: <RefreshSequence> <RefreshMVArgument, or RefreshArgument for a
//   client without multi-value pings>"
//   "x-kvr-command-resendreport: <ResendSequence> <ResendLowest> <ResendHighest>"
// then one line per gathered site: for a client with multi-value pings
//   "x-kvr-command-hasiteversion: <site URL> <1 when it has a many-version, else 0> <that version,
//   else its version>",
// for other clients "x-kvr-command-siteversion: <site URL> <version>".
std::string PendingCommandLines(const ClientCommandState& state, bool canHandleMVPings,
                                const std::vector<GatheredSiteVersion>& sites = {});

// The request handlers. NotifyAllClients answers "Success" and the count of pings and forwards
// started; NotifyClient "Success" and 1; FetchCommands the computer's pending commands, taken out of
// the store.
void ServeNotifyAllClients(RegistrationRequest& request);
void ServeNotifyClient(RegistrationRequest& request);
void ServeFetchCommands(RegistrationRequest& request);

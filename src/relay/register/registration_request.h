// RegistrationRequest: one request to the client-register plug-in as its request types see it, and
// HandleRegistrationRequest, the dispatch that reads the query and serves the request type.
//
// Every reply is a complete plain-text HTTP reply with status 200 (http/cgi_response.h), errors too:
// an error body is "\r\nError: " + the text + "\r\n". The dispatch answers, in this order:
//   - a URL without a query: "no query parameters specified -- unknown request type";
//   - the method rule: "Replicate", "UpdateSequenceNumbers" and "TriggerReplicate" take only POST
//     ("this request type only accepts POST operations"), every other type, unknown ones included,
//     only GET ("this request type only accepts GET operations"); methods compare ignoring ASCII
//     case and a request without a method fails the rule;
//   - a RequestType (compared exactly) that names no served type: "unknown request type";
//   - a failure of the type's work: its exception text as the error, "Unhandled Exception" for an
//     exception that is not a std::exception. The error line is also logged.
//
// The request's references are not owned and outlive the call; the request is used by its own
// plug-in thread only. Built with designated initialisers; the members with defaults may be left
// out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/data_pipeline.h"
#include "http/cgi_response.h"
#include "http/get_stop_functor.h"
#include "http/plugin_log_functor.h"
#include "net/ip_address.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_services.h"
#include "relay/register/registration_request_parameters.h"
#include "relay/service/gather_options_manager.h"

class Event;

struct RegistrationRequest {
    ClientWriter& writer;
    DataReader& body;  // the posted body, at most content length bytes
    const ClientRegisterConfiguration& configuration;
    ClientRegistrationList& list;
    std::string url;
    std::optional<std::string> method;
    IPAddress clientAddress;
    std::optional<std::string> userAgent{};
    std::uint64_t contentLength = 0;
    LogFunctor& log;
    GetStopFunctor& stop;
    GatherOptionsManager& relayConfiguration;
    // What the notification requests reach: the local actions, the queue and the forwarding pool.
    NotificationServices& notifications;
    // Filled by the dispatch from the URL's query before the request type runs.
    RegistrationRequestParameters parameters{};
    // Ends a forward to the parent at once when set; without one, ProcessStopEvent(). Not owned.
    Event* stopEvent = nullptr;
    // The deployment's site gather URL (the agent's action-site masthead); empty when unknown.
    // Without one the deployment is not checked.
    std::function<std::string()> siteGatherURL{};
};

// Serves the request: true when its type was served, false when it was answered with an error body.
bool HandleRegistrationRequest(RegistrationRequest& request);

// "\r\nError: " + text + "\r\n" with status 200.
void SendRegistrationError(ClientWriter& writer, std::string_view text);
// "Success", CR LF, the count in decimal, CR LF.
void SendSuccessCountReply(ClientWriter& writer, std::uint64_t count);

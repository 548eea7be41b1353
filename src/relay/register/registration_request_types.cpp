#include "relay/register/registration_request_types.h"

#include <array>

#include "relay/register/local_registration_requests.h"
#include "relay/register/notification_requests.h"
#include "relay/register/registration_request.h"
#include "relay/register/replication_requests.h"
#include "relay/register/sequence_update.h"

namespace {

using enum RegistrationRequestMethod;

void ServeGetComputerID(RegistrationRequest& request) { SendComputerIDReply(request.writer); }

void ServeIsDescendant(RegistrationRequest& request) {
    AnswerIsDescendant(request.list, request.writer, request.configuration, request.parameters.computerID);
}

void ServeUpdateSequenceNumbers(RegistrationRequest& request) {
    UpdateSequenceNumbers(request.body, request.list);
    SendPlainTextResponse(request.writer, "Sequence number update successful.", 200, false, false);
}

void ServeReplicate(RegistrationRequest&) { AnswerReplicateRequest(); }

void ServeTriggerReplicate(RegistrationRequest& request) {
    ServeTriggerReplicateRequest(request.body, request.writer, request.list, request.stop);
}

// One line per request type. The types still marked null come with their own work:
//   RegisterMe, RegisterMe60, InvalidateAndReRegisterMe, Version
//                                               - the registration decision and its forwarding;
// Each fills in its handler here, and nothing else in the dispatch changes.
constexpr std::array kRequestTypes = {
    RegistrationRequestType{"NotifyAllClients", Get, ServeNotifyAllClients},
    RegistrationRequestType{"RegisterMe", Get, nullptr},
    RegistrationRequestType{"RegisterMe60", Get, nullptr},
    RegistrationRequestType{"InvalidateAndReRegisterMe", Get, nullptr},
    RegistrationRequestType{"NotifyClient", Get, ServeNotifyClient},
    RegistrationRequestType{"GetComputerID", Get, ServeGetComputerID},
    RegistrationRequestType{"IsDescendant", Get, ServeIsDescendant},
    RegistrationRequestType{"Version", Get, nullptr},
    RegistrationRequestType{"FetchCommands", Get, ServeFetchCommands},
    RegistrationRequestType{"UpdateSequenceNumbers", Post, ServeUpdateSequenceNumbers},
    RegistrationRequestType{"Replicate", Post, ServeReplicate},
    RegistrationRequestType{"TriggerReplicate", Post, ServeTriggerReplicate},
};

}  // namespace

const RegistrationRequestType* FindRegistrationRequestType(std::string_view name) {
    for (const RegistrationRequestType& type : kRequestTypes)
        if (type.name == name) return &type;
    return nullptr;
}

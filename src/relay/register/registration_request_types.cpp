#include "relay/register/registration_request_types.h"

#include <array>

#include "relay/register/local_registration_requests.h"
#include "relay/register/notification_requests.h"
#include "relay/register/registration_decision.h"
#include "relay/register/registration_request.h"
#include "relay/register/replication_requests.h"
#include "relay/register/sequence_update.h"

namespace {

using enum RegistrationRequestMethod;

void ServeRegistration(RegistrationRequest& request) { HandleRegistration(request); }

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

// One line per request type.
constexpr std::array kRequestTypes = {
    RegistrationRequestType{"NotifyAllClients", Get, ServeNotifyAllClients},
    RegistrationRequestType{"RegisterMe", Get, ServeRegistration},
    RegistrationRequestType{"RegisterMe60", Get, ServeRegistration},
    RegistrationRequestType{"InvalidateAndReRegisterMe", Get, ServeRegistration},
    RegistrationRequestType{"NotifyClient", Get, ServeNotifyClient},
    RegistrationRequestType{"GetComputerID", Get, ServeGetComputerID},
    RegistrationRequestType{"IsDescendant", Get, ServeIsDescendant},
    RegistrationRequestType{"Version", Get, ServeVersion},
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

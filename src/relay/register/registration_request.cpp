#include "relay/register/registration_request.h"

#include <exception>
#include <string>

#include "base/character_classes.h"
#include "net/url_info.h"
#include "relay/register/registration_request_types.h"

namespace {

const char* MethodName(RegistrationRequestMethod method) {
    return method == RegistrationRequestMethod::Post ? "POST" : "GET";
}

// Unknown types take GET like the served ones.
RegistrationRequestMethod RequiredMethod(const RegistrationRequestType* type) {
    return type ? type->method : RegistrationRequestMethod::Get;
}

bool MethodAccepted(const std::optional<std::string>& method, RegistrationRequestMethod required) {
    return method && Ascii::EqualIgnoringCase(*method, MethodName(required));
}

void ReplyWithError(RegistrationRequest& request, std::string_view text) {
    request.log.Log("\r\nError: " + std::string(text) + "\r\n");
    SendRegistrationError(request.writer, text);
}

}  // namespace

void SendRegistrationError(ClientWriter& writer, std::string_view text) {
    SendPlainTextResponse(writer, "\r\nError: " + std::string(text) + "\r\n", 200, false, false);
}

void SendSuccessCountReply(ClientWriter& writer, std::uint64_t count) {
    SendPlainTextResponse(writer, "Success\r\n" + std::to_string(count) + "\r\n", 200, false, false);
}

bool HandleRegistrationRequest(RegistrationRequest& request) {
    const URLInfo url{ConstData(request.url)};
    if (!url.HasQuery()) {
        SendRegistrationError(request.writer, "no query parameters specified -- unknown request type");
        return false;
    }
    request.parameters =
        ReadRegistrationRequestParameters(url.GetQuery().View(), request.configuration.GetThisServerID());

    const RegistrationRequestType* type = FindRegistrationRequestType(request.parameters.requestType);
    const RegistrationRequestMethod required = RequiredMethod(type);
    if (!MethodAccepted(request.method, required)) {
        SendRegistrationError(request.writer, std::string("this request type only accepts ") +
                                                  MethodName(required) + " operations");
        return false;
    }
    if (!type || !type->handler) {
        SendRegistrationError(request.writer, "unknown request type");
        return false;
    }

    try {
        type->handler(request);
        return true;
    } catch (const std::exception& error) {
        ReplyWithError(request, error.what());
    } catch (...) {
        request.log.Log("Unknown exception.");
        SendRegistrationError(request.writer, "Unhandled Exception");
    }
    return false;
}

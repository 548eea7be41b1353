// The request types of the client-register plug-in: for each RequestType, the one method it accepts
// and the function that serves it. The table in registration_request_types.cpp is the one place a
// request type is entered; a type whose handler is not there yet is known to the method rule and is
// otherwise answered as an unknown request type.
//
// A handler writes the whole reply through the request's writer; a failure is an exception, which
// the dispatch answers with an error body. The table is constant: any thread may read it.
#pragma once

#include <string_view>

struct RegistrationRequest;

enum class RegistrationRequestMethod { Get, Post };

using RegistrationRequestHandler = void (*)(RegistrationRequest& request);

struct RegistrationRequestType {
    std::string_view name;
    RegistrationRequestMethod method;
    RegistrationRequestHandler handler;  // null while the type is not served
};

// The entry of the exact name; null for a name not in the table.
const RegistrationRequestType* FindRegistrationRequestType(std::string_view name);

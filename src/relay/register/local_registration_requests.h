// The request types answered from what this machine holds, without asking the parent:
//
// GetComputerID: the computer ID of the endpoint agent on this machine (HKLM
// "Software\Veltra\DaruraviduClient\GlobalOptions" "ComputerId", the 32-bit value when it is not 0,
// else the 64-bit one, 0 when neither is set), as the header line
// "x-veltra-itclient-getcomputerid-result: <id>" and the body "Success", CR LF, id, CR LF.
//
// IsDescendant: whether the computer registered through this relay (or was replicated to it) less
// than IsDescendantExpirationAge seconds ago, as "x-veltra-itclient-isdescendant-result: true|false"
// and the body "Success", CR LF, "true" or "false", CR LF. An unknown ID, and ID 0, answer false.
//
// Both add "x-veltra-clientregister-version: 8.0.627.0" and reply with status 200. A failure to read
// the list or to write the reply passes to the caller.
#pragma once

#include <cstdint>

#include "http/cgi_response.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"

void SendComputerIDReply(ClientWriter& writer);

void AnswerIsDescendant(const ClientRegistrationList& list, ClientWriter& writer,
                        const ClientRegisterConfiguration& configuration, std::uint64_t computerID);
// The IsDescendant decision alone, at `now` (seconds since 1970, as the list keeps registration
// times).
bool IsRecentDescendant(const ClientRegistrationList& list, std::uint64_t computerID, std::uint32_t expirationAge,
                        std::uint32_t now);

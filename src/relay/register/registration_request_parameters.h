// RegistrationRequestParameters: what one client-register request asks, read from its query.
//
// The query is split into name-value pairs (http/cgi_response.h: "&" or ";" between pairs, both sides
// form-decoded). Names are compared exactly. A number that is not a valid decimal numeral, or does not
// fit, reads as 0 and is no error; a flag is a number, true when it is not 0. A parameter given twice
// keeps its last value. Names that match no parameter are no error.
//
// The forward list keeps every pair except "AdapterInfo" and "AdapterIpv6", decoded, in arrival order
// and with repeats: the parameters a registration passes on to the parent. The adapter values go into
// a sorted set instead.
//
// A plain value filled once per request; no locking.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "http/cgi_response.h"
#include "net/version_quad.h"

struct RegistrationRequestParameters {
    std::string requestType;
    std::string body;  // the name of a notification type
    std::uint32_t argument = 0;
    std::uint32_t argument1MV = 0;
    bool hasArgument1MV = false;
    std::uint32_t argument2 = 0;
    std::string wolSubnet;
    std::string wolPayload;
    std::uint64_t computerID = 0;
    std::uint64_t parentID = 0;
    std::uint32_t pingSequenceNumber = 0;
    std::string relayPath;
    std::string clientVersion;
    bool isRelay = false;
    bool forwardToServers = true;
    std::uint32_t maxHops = 0;
    std::uint32_t minHops = 0;
    // Up to four parts; an absent, empty or malformed text is 0.0.0.0 with four parts.
    VersionQuad minRelayVersion{{}, 4};
    bool canHandleMVPings = false;
    std::uint32_t destinationServer = 0;
    std::string root;
    std::set<std::string> adapters;  // "AdapterInfo" and "AdapterIpv6" values

    NameValueList forwardList;
};

// The parameters of a query (the text after "?", without it). DestinationServer starts as
// `thisServerID`, this server's own ID.
RegistrationRequestParameters ReadRegistrationRequestParameters(std::string_view query,
                                                                std::uint32_t thisServerID);

// RequestURL: the parts of an http or https URL that an outgoing request needs, as both HTTP clients
// read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_string.h"

struct RequestURL {
    static constexpr std::uint16_t kHTTPPort = 80;
    static constexpr std::uint16_t kHTTPSPort = 443;

    // Without brackets; empty when the URL names none.
    std::string host;
    // The URL's port when it gives a valid one, else the scheme's.
    std::uint16_t port = kHTTPPort;
    // The path and query as the request line sends them, "/" at least; a fragment stays the client's.
    std::string target;
    bool tls = false;
    bool hasAuthority = false;
};

// Nothing when the scheme is neither "http" nor "https" (ASCII case ignored).
std::optional<RequestURL> ParseRequestURL(const ByteString& url);

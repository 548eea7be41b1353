// Test helper: a header field's value in a whole HTTP reply as a test received it.
#pragma once

#include <string>

// The value of the first "<name>: " line after the status line (name spelled exactly), up to its
// line end; "none" when the reply has no such line.
inline std::string ReplyHeaderValue(const std::string& reply, const std::string& name) {
    const std::string field = "\r\n" + name + ": ";
    const std::size_t at = reply.find(field);
    if (at == std::string::npos) return "none";
    const std::size_t start = at + field.size();
    return reply.substr(start, reply.find("\r\n", start) - start);
}

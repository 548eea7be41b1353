#include "base/system_error_text.h"

#include <cstdio>
#include <cstring>

namespace Posix {
namespace {

bool IsTrimmedByte(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

}  // namespace

std::string ErrorDescription(int code) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in the buffer; it says "Unknown error N"
    // for a code the system does not describe.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string description = text ? text : "";
    if (description.empty() || description.rfind("Unknown error", 0) == 0) {
        char unknown[32];
        std::snprintf(unknown, sizeof unknown, "unknown error 0x%x", static_cast<unsigned>(code));
        return unknown;
    }
    std::size_t first = 0, last = description.size();
    while (first < last && IsTrimmedByte(description[first])) ++first;
    while (last > first && IsTrimmedByte(description[last - 1])) --last;
    return description.substr(first, last - first);
}

std::string SystemErrorText(int code) {
    return "System Error: " + std::to_string(code) + ": " + ErrorDescription(code);
}

}  // namespace Posix

// The machine's own host name.
#pragma once

#include <optional>
#include <string>

namespace PosixPlatform {

// The host name as the system reports it (at most 511 bytes), or nothing when it can't be read.
std::optional<std::string> LocalHostName();

}  // namespace PosixPlatform

#include "platform/host_name.h"

#include <unistd.h>

namespace PosixPlatform {

std::optional<std::string> LocalHostName() {
    char name[512];
    if (gethostname(name, sizeof name) != 0) return std::nullopt;
    name[sizeof name - 1] = '\0';
    return std::string(name);
}

}  // namespace PosixPlatform

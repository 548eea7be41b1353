#include "platform/os_version.h"

#include <sys/utsname.h>

namespace PosixPlatform {

std::string RunningSystemName() {
    utsname names{};
    if (::uname(&names) != 0) return "???";
    return std::string(names.sysname) + " " + names.release;
}

}  // namespace PosixPlatform

#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace PosixPlatform {

namespace {

std::string AbsolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = AbsolutePathFromEnvironment("HOME");
    if (!home.empty()) return home;
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return found->pw_dir && found->pw_dir[0] == '/' ? std::string(found->pw_dir) : std::string();
}

}  // namespace

std::string RunningProgramPath() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

bool IsServiceAccount() {
    return ::geteuid() == 0;
}

std::string UserStateFolder() {
    std::string state = AbsolutePathFromEnvironment("XDG_STATE_HOME");
    if (!state.empty()) return state;
    std::string home = HomeFolder();
    return home.empty() ? home : home + "/.local/state";
}

}  // namespace PosixPlatform

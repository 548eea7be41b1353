#include "platform/trusted_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/system_error_text.h"

namespace PosixPlatform {

namespace {

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    throw UntrustedProgram("The program " + path + " may not be run: " + reason);
}

// Owned by root or the relay's user, and writable by nobody else.
void RequireGuarded(const std::string& program, const struct ::stat& found, const char* what) {
    if (found.st_uid != 0 && found.st_uid != ::geteuid())
        Refuse(program, std::string(what) + " is owned by user " + std::to_string(found.st_uid) +
                            ", neither root nor the relay's user");
    if ((found.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        Refuse(program, std::string(what) + " is writable by its group or by others");
}

struct ::stat LookUpWithoutFollowing(const std::string& program, const std::string& path, const char* what) {
    struct ::stat found {};
    if (::lstat(path.c_str(), &found) != 0)
        Refuse(program, std::string(what) + " cannot be looked at (" + Posix::ErrorDescription(errno) + ")");
    return found;
}

}  // namespace

void RequireTrustedProgram(const std::string& path) {
    if (path.empty() || path.front() != '/') Refuse(path, "its path is not absolute");
    if (path.find('\0') != std::string::npos) Refuse(path.c_str(), "its path holds a NUL byte");
    const struct ::stat file = LookUpWithoutFollowing(path, path, "the file");
    if (S_ISLNK(file.st_mode)) Refuse(path, "it is a symbolic link");
    if (!S_ISREG(file.st_mode)) Refuse(path, "it is not a regular file");
    RequireGuarded(path, file, "the file");

    const std::string::size_type lastSlash = path.find_last_of('/');
    const std::string folder = lastSlash == 0 ? std::string("/") : path.substr(0, lastSlash);
    const struct ::stat holder = LookUpWithoutFollowing(path, folder, "its folder");
    if (!S_ISDIR(holder.st_mode)) Refuse(path, "its folder " + folder + " is a symbolic link or no folder");
    RequireGuarded(path, holder, "its folder");
}

}  // namespace PosixPlatform

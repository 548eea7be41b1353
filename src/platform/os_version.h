// The running operating system and the version tests that choose between old and new platform
// paths. Every Linux kernel this relay runs on has what the newest path needs (a dual-stack IPv6
// listener, UTF-8 conversions), so each test answers "modern".
#pragma once

#include <string>

namespace PosixPlatform {

// "<system> <release>" as uname reports them, for example "Linux 6.1.0-18-amd64"; "???" when uname
// fails.
std::string RunningSystemName();

constexpr bool IsOSAtLeastXP() {
    return true;
}
constexpr bool OSVersionMeetsMinimum() {
    return true;
}
constexpr bool IsWindowsVersionAbove4() {
    return true;
}
constexpr bool IsWindowsVersionAtLeast(int major, int minor) {
    return true;
}

}  // namespace PosixPlatform

// ServiceManager: the system's service manager as the service frame drives it, systemd through its
// `systemctl` command. Tests put a scripted manager in its place.
#pragma once

#include <string>
#include <vector>

#include "platform/child_process.h"

class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    // Runs `systemctl` with the arguments to its end; throws Posix::Error when it cannot be started.
    virtual PosixPlatform::ChildProcessResult Systemctl(const std::vector<std::string>& arguments) = 0;
};

class SystemctlServiceManager : public ServiceManager {
  public:
    PosixPlatform::ChildProcessResult Systemctl(const std::vector<std::string>& arguments) override {
        return PosixPlatform::RunChildProcess("systemctl", arguments);
    }
};

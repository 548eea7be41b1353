// SystemService: the relay's names as a system service and its two routines, handed to the service
// frame (nt_service.h) for one run of the command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "relay/service/nt_service.h"

class SystemService {
  public:
    SystemService(std::string serviceName, std::string displayName, MyNTService::Routine run,
                  MyNTService::StopRoutine stop)
        : m_serviceName(std::move(serviceName)), m_displayName(std::move(displayName)), m_run(run), m_stop(stop) {}
    virtual ~SystemService() = default;

    // Builds the frame over the host, runs what the command line asks and answers whether it
    // succeeded.
    bool Run(const std::vector<std::string>& arguments, ServiceHost& host);

  private:
    std::string m_serviceName;
    std::string m_displayName;
    MyNTService::Routine m_run;
    MyNTService::StopRoutine m_stop;
};

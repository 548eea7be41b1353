#include "relay/service/system_service.h"

bool SystemService::Run(const std::vector<std::string>& arguments, ServiceHost& host) {
    MyNTService service(m_serviceName.c_str(), m_displayName.c_str(), host, m_run, m_stop);
    return service.ProcessCommandLine(arguments);
}

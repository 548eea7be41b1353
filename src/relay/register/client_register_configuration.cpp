#include "relay/register/client_register_configuration.h"

#include <string>

namespace {

constexpr int kMachineSetting = 1;
constexpr int kNamedSetting = 2;
constexpr const char* kSection = "ClientRegister";

// This machine's own client-register plug-in, on the relay's default port.
constexpr const char* kDefaultParentRelayURL =
    "http://127.0.0.1:52311/cgi-bin/vtdaruravidu/clientregister.exe";
// In the working folder.
constexpr const char* kDefaultRegistrationListLocation = "registrationlist.txt";
// In the current folder, when the location is set empty.
constexpr const char* kRegistrationListFileName = "RegistrationList.txt";
constexpr const char* kReplicationServerListFileName = "ReplicationServerList.xml";

}  // namespace

ClientRegisterConfiguration::ClientRegisterConfiguration(const char* component)
    : m_pingRequestPort(kNamedSetting, component, kSection, "PingRequestPort", 0),
      m_udpMessagePort(kNamedSetting, component, kSection, "UDPMessagePort", 52311),
      m_parentRelayURL(kNamedSetting, component, kSection, "ParentRelayURL", nullptr),
      m_registrationListLocation(kMachineSetting, component, kSection, "RegistrationList Location",
                                 kDefaultRegistrationListLocation),
      m_replicationServerListLocation(kNamedSetting, component, kSection, "ReplicationServerList Location",
                                      nullptr),
      m_batchCount(kNamedSetting, component, kSection, "BatchCount", 100),
      m_batchDelay(kNamedSetting, component, kSection, "BatchDelay", 1000),
      m_registrationListWritePeriod(kNamedSetting, component, kSection, "RegistrationListWritePeriod", 300),
      m_debugOut(kMachineSetting, component, kSection, "DebugOut", nullptr),
      m_isDescendantExpirationAge(kNamedSetting, component, kSection, "IsDescendantExpirationAge", 259200),
      m_disableCollisionDetection(kNamedSetting, component, kSection, "DisableCollisionDetection", 0),
      m_maxRelayPathLength(kNamedSetting, component, kSection, "MaxRelayPathLength", 32),
      m_clientRegistrationExpirationPeriod(kNamedSetting, component, kSection,
                                           "ClientRegistrationExpirationPeriod", 1440),
      m_maxChildCount(kNamedSetting, component, kSection, "MaxChildCount", 0),
      m_maxChildRelayCount(kNamedSetting, component, kSection, "MaxChildRelayCount", 0),
      m_childCountTestPeriod(kNamedSetting, component, kSection, "ChildCountTestPeriod", 300),
      m_childRelayCountTestPeriod(kNamedSetting, component, kSection, "ChildRelayCountTestPeriod", 300),
      m_minHopEstimateLimit(kNamedSetting, component, kSection, "MinHopEstimateLimit", 0),
      m_maxHopEstimateLimit(kNamedSetting, component, kSection, "MaxHopEstimateLimit", 0),
      m_useRelayTreeForPings(kNamedSetting, component, kSection, "UseRelayTreeForPings", 1),
      m_disableChildUDPMessages(kNamedSetting, component, kSection, "DisableChildUDPMessages", 0),
      m_thisServerID(kNamedSetting, component, kSection, "ThisServerID", 0),
      m_pingRepetitionCount(kNamedSetting, component, kSection, "PingRepetitionCount", 1),
      m_permanentExpirationPeriodDays(kNamedSetting, component, kSection, "PermanentExpirationPeriodDays", 0),
      m_thisServerSequence(kNamedSetting, component, kSection, "ThisServerSequence", 0) {}

std::uint32_t ClientRegisterConfiguration::GetPingRequestPort() const {
    if (m_pingRequestPort.GetValue() != 0) return m_pingRequestPort.GetValue();
    return m_udpMessagePort.GetValue();
}

// Read without a default, so that HasParentRelayURL can tell an unset URL from the default.
std::string ClientRegisterConfiguration::GetParentRelayURL() const {
    return HasParentRelayURL() ? m_parentRelayURL.GetText() : kDefaultParentRelayURL;
}

std::string ClientRegisterConfiguration::GetDebugOut() const {
    return m_debugOut.GetText();
}

FileLocation ClientRegisterConfiguration::GetRegistrationListLocation() const {
    if (m_registrationListLocation.GetValue().Length() != 0)
        return FileLocation(m_registrationListLocation.GetValue().GetConstData());
    return GetCurrentDirectoryLocation().MakeChild(kRegistrationListFileName);
}

// The default location is a bare file name in the working folder: its folder is "." rather than a
// failure to find a parent.
FileLocation ClientRegisterConfiguration::GetReplicationServerListLocation() const {
    if (m_replicationServerListLocation.GetValue().Length() != 0)
        return FileLocation(m_replicationServerListLocation.GetValue().GetConstData());
    return GetContainingFolder(GetRegistrationListLocation()).MakeChild(kReplicationServerListFileName);
}

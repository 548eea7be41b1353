#include "relay/service/parent_relay_configuration.h"

#include "net/socket_system.h"

namespace {

constexpr int kMachineSetting = 1;
constexpr int kNamedSetting = 2;
constexpr int kAgentNamedSetting = 3;
constexpr const char* kComponent = "Daruravidu Server";
constexpr const char* kSection = "ClientRegister";
constexpr std::uint32_t kDefaultProxyPort = 80;

}  // namespace

ParentRelayConfiguration::ParentRelayConfiguration()
    : m_proxyUser(kNamedSetting, kComponent, kSection, "ProxyUser", nullptr),
      m_proxyPassword(kNamedSetting, kComponent, kSection, "ProxyPass", nullptr),
      m_proxyServer(kNamedSetting, kComponent, kSection, "ProxyServer", nullptr),
      m_proxyPort(kNamedSetting, kComponent, kSection, "ProxyPort", kDefaultProxyPort),
      m_addressFamilySetting(kNamedSetting, kComponent, kSection, "IPCommunicationFamily", nullptr),
      m_agentServer(kAgentNamedSetting, "Relay", "Control", "Server1", nullptr),
      m_computerID(kMachineSetting, "DaruraviduClient", "GlobalOptions", "ComputerID", 0),
      m_computerID64(kMachineSetting, "DaruraviduClient", "GlobalOptions", "ComputerID", 0),
      m_addressFamily(ParseAddressFamilyChoice(m_addressFamilySetting.GetValue().GetConstData().View())) {}

std::string ParentRelayConfiguration::GetProxyUser() const {
    return m_proxyUser.GetText();
}

std::string ParentRelayConfiguration::GetProxyPassword() const {
    return m_proxyPassword.GetText();
}

std::string ParentRelayConfiguration::GetProxyServer() const {
    return m_proxyServer.GetText();
}

std::string ParentRelayConfiguration::GetAddressFamilySetting() const {
    return m_addressFamilySetting.GetText();
}

std::string ParentRelayConfiguration::GetAgentServer() const {
    return m_agentServer.GetText();
}

// The agent stores its identifier as a DWORD, or as an 8-byte binary once it no longer fits 32 bits;
// each reader takes only its own type, so at most one of the two is not 0.
std::uint64_t ParentRelayConfiguration::GetOwnComputerID() const {
    if (m_computerID.GetValue() != 0) return m_computerID.GetValue();
    return m_computerID64.GetValue();
}

std::uint64_t ParentRelayConfiguration::ReloadOwnComputerID() {
    m_computerID.Reload();
    m_computerID64.Reload();
    return GetOwnComputerID();
}

HTTPClientSession ParentRelayConfiguration::MakeHTTPClientSession() const {
    return HTTPClientSession(GetProxyUser(), GetProxyPassword(), std::string(), std::string(), std::string(),
                             GetProxyServer(), static_cast<std::uint16_t>(GetProxyPort()), false,
                             m_addressFamily);
}

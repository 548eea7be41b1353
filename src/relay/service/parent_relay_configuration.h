// ParentRelayConfiguration: what every outgoing connection to the parent needs, read in one go: the
// proxy to go through, the address family to use, the endpoint agent's own server and the agent's
// computer identifier.
//
// Where each value lives (settings-object modes as in settings/configuration_settings.h):
//
//   proxy user, password, server   mode 2 "Daruravidu Server" "ClientRegister" "ProxyUser", "ProxyPass",
//                                  "ProxyServer"; empty
//   proxy port                     mode 2 ... "ProxyPort"; 80
//   address family                 mode 2 ... "IPCommunicationFamily": "Ipv6ThenIpv4" 1, "OnlyIpv4" 3,
//                                  anything else 0 (ASCII case ignored)
//   the agent's server             mode 3 "Relay" "Control" "Server1" (the client setting
//                                  "__Relay_Control_Server1"); empty
//   computer identifier            mode 1 "DaruraviduClient" "GlobalOptions" "ComputerID", as a REG_DWORD
//                                  and as an 8-byte REG_BINARY; 0
//
// Everything is read when the object is built; a missing value leaves the default. Only
// ReloadOwnComputerID reads again, and nothing is ever written.
//
// A value object: each user builds or copies its own (a copy reads nothing). Not locked.
#pragma once

#include <cstdint>
#include <string>

#include "http/proxy_authentication.h"
#include "settings/configuration_settings.h"

class ParentRelayConfiguration {
  public:
    ParentRelayConfiguration();
    ParentRelayConfiguration(const ParentRelayConfiguration&) = default;
    ParentRelayConfiguration& operator=(const ParentRelayConfiguration&) = default;
    virtual ~ParentRelayConfiguration() = default;

    std::string GetProxyUser() const;
    std::string GetProxyPassword() const;
    std::string GetProxyServer() const;
    std::uint32_t GetProxyPort() const { return m_proxyPort.GetValue(); }
    // The "IPCommunicationFamily" text as it was read.
    std::string GetAddressFamilySetting() const;
    // 0, 1 or 3, as ParseAddressFamilyChoice gives it; fixed when the object was built.
    int GetAddressFamily() const { return m_addressFamily; }
    // The agent's "Server1": the server its own endpoint agent reports to.
    std::string GetAgentServer() const;

    // The 32-bit "ComputerID" when it is not 0, else the 64-bit one.
    std::uint64_t GetOwnComputerID() const;
    // Reads both "ComputerID" values again, then answers as GetOwnComputerID. A value that has gone
    // since keeps the one read before.
    std::uint64_t ReloadOwnComputerID();

    // The settings of a connection to the parent: the proxy user and password, no domain and no
    // server credentials, the proxy server and port, Basic allowed, and the address family. A proxy
    // port above 65535 keeps its low 16 bits, as the port field of a socket address would.
    HTTPClientSession MakeHTTPClientSession() const;

  private:
    ConfigurationString m_proxyUser;
    ConfigurationString m_proxyPassword;
    ConfigurationString m_proxyServer;
    ConfigurationNumber m_proxyPort;
    ConfigurationString m_addressFamilySetting;
    ConfigurationString m_agentServer;
    ConfigurationNumber m_computerID;
    ConfigurationNumber64 m_computerID64;
    int m_addressFamily;
};

// ClientRegisterConfiguration: every setting of the client-register service, read once when the
// object is built and kept until it goes: the parent relay settings, the UDP notification ports and
// pacing, the registration list's files and write period, the expiry ages, the child and hop limits,
// and this server's identity and sequence counter.
//
// The settings live under the component given to the constructor (always "Daruravidu Server"),
// section "ClientRegister" (settings/configuration_settings.h). All are named client settings
// "_<component>_ClientRegister_<name>" (mode 2), except "RegistrationList Location" and "DebugOut",
// which are HKLM registry values of the key "Software\Veltra\<component>\ClientRegister" (mode 1).
// A missing or unusable value gives the default beside its getter. Numbers are 32-bit unless said.
//
// A value object: the plug-in builds a fresh one per request and one for its worker, the
// registration list keeps a copy; a copy reads nothing again. Not locked: one owner at a time.
// Only ThisServerSequence is ever written through it.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_location.h"
#include "relay/service/parent_relay_configuration.h"
#include "settings/configuration_settings.h"

inline constexpr const char* kClientRegisterComponent = "Daruravidu Server";

class ClientRegisterConfiguration {
  public:
    explicit ClientRegisterConfiguration(const char* component);
    ClientRegisterConfiguration(const ClientRegisterConfiguration&) = default;
    ClientRegisterConfiguration& operator=(const ClientRegisterConfiguration&) = default;
    virtual ~ClientRegisterConfiguration() = default;

    const ParentRelayConfiguration& GetParentRelayConfiguration() const { return m_parentRelay; }
    // For ReloadOwnComputerID.
    ParentRelayConfiguration& GetParentRelayConfiguration() { return m_parentRelay; }

    // "PingRequestPort" (0), the HTTP port of child relays for forwarded notifications, when it is not
    // 0; else GetUDPMessagePort.
    std::uint32_t GetPingRequestPort() const;
    // "UDPMessagePort", 52311: the UDP port of client notifications.
    std::uint32_t GetUDPMessagePort() const { return m_udpMessagePort.GetValue(); }
    // "ParentRelayURL", "http://127.0.0.1:52311/cgi-bin/vtdaruravidu/clientregister.exe".
    std::string GetParentRelayURL() const;
    // Whether "ParentRelayURL" holds a text of its own; unset or empty, the default stands in.
    bool HasParentRelayURL() const { return !m_parentRelayURL.GetValue().IsNull(); }
    // "RegistrationList Location" (mode 1), "registrationlist.txt" in the working folder; when the
    // setting is empty, "RegistrationList.txt" in the current folder.
    FileLocation GetRegistrationListLocation() const;
    // "ReplicationServerList Location" when it is not empty, else "ReplicationServerList.xml" in the
    // folder of the registration list. The errors of finding that folder (RootHasNoParent for a list
    // at "/") pass on.
    FileLocation GetReplicationServerListLocation() const;
    // "BatchCount", 100: notification packets per batch.
    std::uint32_t GetBatchCount() const { return m_batchCount.GetValue(); }
    // "BatchDelay", 1000: milliseconds of pause after a batch.
    std::uint32_t GetBatchDelay() const { return m_batchDelay.GetValue(); }
    // "RegistrationListWritePeriod", 300: seconds between writes of the registration list.
    std::uint32_t GetRegistrationListWritePeriod() const { return m_registrationListWritePeriod.GetValue(); }
    // "DebugOut" (mode 1), empty: read and shown only.
    std::string GetDebugOut() const;
    // "IsDescendantExpirationAge", 259200: seconds a registration counts for IsDescendant.
    std::uint32_t GetIsDescendantExpirationAge() const { return m_isDescendantExpirationAge.GetValue(); }
    // "DisableCollisionDetection", 0: read and shown only.
    std::uint32_t GetDisableCollisionDetection() const { return m_disableCollisionDetection.GetValue(); }
    // "MaxRelayPathLength", 32: the longest relay path of a forwarded notification.
    std::uint32_t GetMaxRelayPathLength() const { return m_maxRelayPathLength.GetValue(); }
    // "ClientRegistrationExpirationPeriod", 1440: minutes after which a registration is not notified.
    std::uint32_t GetClientRegistrationExpirationPeriod() const {
        return m_clientRegistrationExpirationPeriod.GetValue();
    }
    // "MaxChildCount", 0 and "MaxChildRelayCount", 0: the most direct children (relays) of this relay;
    // 0 means no limit.
    std::uint32_t GetMaxChildCount() const { return m_maxChildCount.GetValue(); }
    std::uint32_t GetMaxChildRelayCount() const { return m_maxChildRelayCount.GetValue(); }
    // "ChildCountTestPeriod", 300 and "ChildRelayCountTestPeriod", 300: seconds a parent's
    // too-many-children answer is applied locally.
    std::uint32_t GetChildCountTestPeriod() const { return m_childCountTestPeriod.GetValue(); }
    std::uint32_t GetChildRelayCountTestPeriod() const { return m_childRelayCountTestPeriod.GetValue(); }
    // "MinHopEstimateLimit", 0 and "MaxHopEstimateLimit", 0: the highest MinHops and MaxHops accepted
    // from a remote client; 0 means no limit.
    std::uint32_t GetMinHopEstimateLimit() const { return m_minHopEstimateLimit.GetValue(); }
    std::uint32_t GetMaxHopEstimateLimit() const { return m_maxHopEstimateLimit.GetValue(); }
    // "UseRelayTreeForPings", 1.
    std::uint32_t GetUseRelayTreeForPings() const { return m_useRelayTreeForPings.GetValue(); }
    // "DisableChildUDPMessages", 0: not 0 drops queued notifications instead of sending them.
    std::uint32_t GetDisableChildUDPMessages() const { return m_disableChildUDPMessages.GetValue(); }
    // "ThisServerID", 0: this server's ID in replication and routing.
    std::uint32_t GetThisServerID() const { return m_thisServerID.GetValue(); }
    // "PingRepetitionCount", 1: copies of each notification packet.
    std::uint32_t GetPingRepetitionCount() const { return m_pingRepetitionCount.GetValue(); }
    // "PermanentExpirationPeriodDays", 0: the expiry age used when the registration list is written.
    std::uint32_t GetPermanentExpirationPeriodDays() const {
        return m_permanentExpirationPeriodDays.GetValue();
    }

    // "ThisServerSequence", 0, 64-bit: this server's registration sequence counter, as last read or set.
    std::uint64_t GetThisServerSequence() const { return m_thisServerSequence.GetValue(); }
    // Writes the counter and keeps it; ConfigurationNumberWriteError (and the old value) when the
    // write fails.
    void SetThisServerSequence(std::uint64_t sequence) { m_thisServerSequence.Set(sequence); }

  private:
    ParentRelayConfiguration m_parentRelay;
    ConfigurationNumber m_pingRequestPort;
    ConfigurationNumber m_udpMessagePort;
    ConfigurationString m_parentRelayURL;
    ConfigurationString m_registrationListLocation;
    ConfigurationString m_replicationServerListLocation;
    ConfigurationNumber m_batchCount;
    ConfigurationNumber m_batchDelay;
    ConfigurationNumber m_registrationListWritePeriod;
    ConfigurationString m_debugOut;
    ConfigurationNumber m_isDescendantExpirationAge;
    ConfigurationNumber m_disableCollisionDetection;
    ConfigurationNumber m_maxRelayPathLength;
    ConfigurationNumber m_clientRegistrationExpirationPeriod;
    ConfigurationNumber m_maxChildCount;
    ConfigurationNumber m_maxChildRelayCount;
    ConfigurationNumber m_childCountTestPeriod;
    ConfigurationNumber m_childRelayCountTestPeriod;
    ConfigurationNumber m_minHopEstimateLimit;
    ConfigurationNumber m_maxHopEstimateLimit;
    ConfigurationNumber m_useRelayTreeForPings;
    ConfigurationNumber m_disableChildUDPMessages;
    ConfigurationNumber m_thisServerID;
    ConfigurationNumber m_pingRepetitionCount;
    ConfigurationNumber m_permanentExpirationPeriodDays;
    ConfigurationNumber64 m_thisServerSequence;
};

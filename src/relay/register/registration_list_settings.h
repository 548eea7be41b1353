// RegistrationListSettings: what the registration list takes from the client-register configuration
// of component "Daruravidu Server": the values read once when the list is built, and the three
// settings it must read or write while it runs.
#pragma once

#include <cstdint>
#include <functional>

#include "base/file_location.h"

struct RegistrationListSettings {
    static constexpr std::uint32_t kDefaultChildCountTestPeriod = 300;  // seconds

    FileLocation listLocation;                   // "RegistrationList.txt"
    FileLocation replicationServerListLocation;  // "ReplicationServerList.xml"
    std::uint32_t maxChildCount = 0;
    std::uint32_t maxChildRelayCount = 0;
    std::uint32_t childCountTestPeriod = kDefaultChildCountTestPeriod;
    std::uint32_t childRelayCountTestPeriod = kDefaultChildCountTestPeriod;
    bool useRelayTreeForPings = true;
    std::uint32_t thisServerID = 0;
    std::uint32_t permanentExpirationPeriodDays = 0;  // 0: registrations are kept for ever
    std::uint64_t thisServerSequence = 0;

    // ThisServerID as stored now; when unset, `thisServerID`.
    std::function<std::uint32_t()> readThisServerID;
    // The local agent's computer ID as stored now; when unset, 0.
    std::function<std::uint64_t()> reloadOwnComputerID;
    // Stores ThisServerSequence, throwing when the write fails; when unset, nothing is stored.
    std::function<void(std::uint64_t)> storeThisServerSequence;
};

// The settings as ClientRegisterConfiguration reads them now (component "Daruravidu Server"); the
// hooks read ThisServerID and the agent's computer ID afresh and store the sequence through a copy
// of that configuration.
RegistrationListSettings ReadRegistrationListSettings();

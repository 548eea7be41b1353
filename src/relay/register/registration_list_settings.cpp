#include "relay/register/registration_list_settings.h"

#include <memory>

#include "relay/register/client_register_configuration.h"
#include "settings/configuration_settings.h"

namespace {

// ThisServerID as stored now: the list asks again each time, so a change needs no restart.
std::uint32_t ReadThisServerID() {
    return ConfigurationNumber(2, kClientRegisterComponent, "ClientRegister", "ThisServerID", 0).GetValue();
}

}  // namespace

RegistrationListSettings ReadRegistrationListSettings() {
    auto configuration = std::make_shared<ClientRegisterConfiguration>(kClientRegisterComponent);
    RegistrationListSettings settings;
    settings.listLocation = configuration->GetRegistrationListLocation();
    settings.replicationServerListLocation = configuration->GetReplicationServerListLocation();
    settings.maxChildCount = configuration->GetMaxChildCount();
    settings.maxChildRelayCount = configuration->GetMaxChildRelayCount();
    settings.childCountTestPeriod = configuration->GetChildCountTestPeriod();
    settings.childRelayCountTestPeriod = configuration->GetChildRelayCountTestPeriod();
    settings.useRelayTreeForPings = configuration->GetUseRelayTreeForPings() != 0;
    settings.thisServerID = configuration->GetThisServerID();
    settings.permanentExpirationPeriodDays = configuration->GetPermanentExpirationPeriodDays();
    settings.thisServerSequence = configuration->GetThisServerSequence();

    settings.readThisServerID = ReadThisServerID;
    settings.reloadOwnComputerID = [configuration] {
        return configuration->GetParentRelayConfiguration().ReloadOwnComputerID();
    };
    settings.storeThisServerSequence = [configuration](std::uint64_t value) {
        configuration->SetThisServerSequence(value);
    };
    return settings;
}

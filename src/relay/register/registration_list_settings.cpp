#include "relay/register/registration_list_settings.h"

#include <memory>
#include <string>

#include "relay/register/client_register_configuration.h"
#include "settings/configuration_settings.h"

namespace {

// ThisServerID as stored now: the list asks again each time, so a change needs no restart.
std::uint32_t ReadThisServerID() {
    return ConfigurationNumber(2, kClientRegisterComponent, "ClientRegister", "ThisServerID", 0).GetValue();
}

// The default list location is a bare file name: the list works in the folder of that file (its
// "~" file and the kept invalid list sit beside it), so a relative location is taken from the current
// folder here, once.
FileLocation AnchoredInCurrentFolder(const FileLocation& location) {
    const std::string path = location.GetPathString();
    if (path.empty() || path.front() == '/') return location;
    return FileLocation((GetCurrentDirectoryLocation().GetPathString() + "/" + path).c_str());
}

}  // namespace

RegistrationListSettings ReadRegistrationListSettings() {
    auto configuration = std::make_shared<ClientRegisterConfiguration>(kClientRegisterComponent);
    RegistrationListSettings settings;
    settings.listLocation = AnchoredInCurrentFolder(configuration->GetRegistrationListLocation());
    settings.replicationServerListLocation =
        AnchoredInCurrentFolder(configuration->GetReplicationServerListLocation());
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

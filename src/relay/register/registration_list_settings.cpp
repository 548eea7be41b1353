#include "relay/register/registration_list_settings.h"

#include <memory>

#include "settings/configuration_settings.h"

namespace {

constexpr const char* kComponent = "Daruravidu Server";
constexpr const char* kSection = "ClientRegister";
constexpr int kMachineValue = 1;
constexpr int kClientSetting = 2;
constexpr const char* kDefaultListFileName = "RegistrationList.txt";
constexpr const char* kServerListFileName = "ReplicationServerList.xml";

std::uint32_t ReadNumber(const char* name, std::uint32_t defaultValue) {
    return ConfigurationNumber(kClientSetting, kComponent, kSection, name, defaultValue).GetValue();
}

// The configured text as a location; `fallback` when it is empty.
FileLocation ReadLocation(int mode, const char* name, const FileLocation& fallback) {
    ConfigurationString setting(mode, kComponent, kSection, name, "");
    const Stringy& text = setting.GetValue();
    return text.Length() == 0 ? fallback : FileLocation(text.GetConstData());
}

std::uint64_t ReloadOwnComputerID() {
    ConfigurationNumber computerID(kMachineValue, "DaruraviduClient", "GlobalOptions", "ComputerID", 0);
    if (computerID.GetValue() != 0) return computerID.GetValue();
    return ConfigurationNumber64(kMachineValue, "DaruraviduClient", "GlobalOptions", "ComputerID", 0).GetValue();
}

}  // namespace

RegistrationListSettings ReadRegistrationListSettings() {
    RegistrationListSettings settings;
    settings.listLocation = ReadLocation(kMachineValue, "RegistrationList Location",
                                         ChildFileLocation(GetCurrentDirectoryLocation(), kDefaultListFileName));
    settings.replicationServerListLocation =
        ReadLocation(kClientSetting, "ReplicationServerList Location",
                     ChildFileLocation(settings.listLocation.GetParent(), kServerListFileName));
    settings.maxChildCount = ReadNumber("MaxChildCount", 0);
    settings.maxChildRelayCount = ReadNumber("MaxChildRelayCount", 0);
    settings.childCountTestPeriod =
        ReadNumber("ChildCountTestPeriod", RegistrationListSettings::kDefaultChildCountTestPeriod);
    settings.childRelayCountTestPeriod =
        ReadNumber("ChildRelayCountTestPeriod", RegistrationListSettings::kDefaultChildCountTestPeriod);
    settings.useRelayTreeForPings = ReadNumber("UseRelayTreeForPings", 1) != 0;
    settings.thisServerID = ReadNumber("ThisServerID", 0);
    settings.permanentExpirationPeriodDays = ReadNumber("PermanentExpirationPeriodDays", 0);

    auto sequence = std::make_shared<ConfigurationNumber64>(kClientSetting, kComponent, kSection,
                                                            "ThisServerSequence", 0);
    settings.thisServerSequence = sequence->GetValue();
    settings.readThisServerID = [] { return ReadNumber("ThisServerID", 0); };
    settings.reloadOwnComputerID = ReloadOwnComputerID;
    settings.storeThisServerSequence = [sequence](std::uint64_t value) { sequence->Set(value); };
    return settings;
}

// REGEDIT4 texts of the endpoint agent's named client settings, for ImportWithKvrreg and
// RelayProcess::Import, the time as the registration list keeps it, and registration list lines.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The named client setting "_<component>_<section>_<name>" holding the value.
inline std::string NamedSetting(const std::string& component, const std::string& section, const std::string& name,
                                const std::string& value) {
    return "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_" + component + "_" + section + "_" + name +
           "]\n\"value\"=\"" + value + "\"\n\n";
}

// A client-register setting ("_Daruravidu Server_ClientRegister_<name>").
inline std::string ClientRegisterSetting(const std::string& name, const std::string& value) {
    return NamedSetting("Daruravidu Server", "ClientRegister", name, value);
}

// Now, in unsigned 32-bit seconds since 1970, as registration times are kept.
inline std::uint32_t NowInSecondsForTest() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// A registration list line ("RegistrationList.txt"): ID, address, slot, time (now), then the optional
// fields from RegSequenceNumber to CanForwardWoL.
inline std::string RegistrationListLine(std::uint64_t id, const std::string& address, const std::string& subnet = "",
                                        bool canForwardWoL = false, bool canHandleMVPings = false) {
    return std::to_string(id) + "\t" + address + "\t" + std::to_string(id) + "\t" +
           std::to_string(NowInSecondsForTest()) + "\t0\t0\t0\t0\t0\t0\t0\t" + (canHandleMVPings ? "1" : "0") +
           "\t0\t" + subnet + "\t\t" + (canForwardWoL ? "1" : "0") + "\n";
}

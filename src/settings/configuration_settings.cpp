#include "settings/configuration_settings.h"

#include <string>

#include "base/numerals.h"
#include "settings/registry_functions.h"

namespace {

constexpr const char* kSettingsRoot = "Software\\Veltra\\";
constexpr const char* kClientSettingsKey = "Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_";
constexpr const char* kClientSettingValue = "value";

// Where a setting of one mode lives.
struct SettingAddress {
    RegistryRoot root = RegistryRoot::LocalMachine;
    Stringy keyPath;
    const char* valueName = nullptr;
    bool isClientSetting = false;  // modes 2 and 3: the text of "value"
};

// False for a mode outside 0-3. `alwaysSection`: the numbers append "\" + section even when it is
// empty (a trailing "\" that the registry ignores); a string with an empty section does not.
bool AddressOf(int mode, const Stringy& component, const Stringy& section, const Stringy& name,
               bool alwaysSection, SettingAddress& address) {
    switch (mode) {
        case 0:
        case 1:
            address.root = mode == 0 ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
            address.keyPath = kSettingsRoot;
            address.keyPath += component;
            if (alwaysSection || section.Length() != 0) {
                address.keyPath += "\\";
                address.keyPath += section;
            }
            address.valueName = name.GetCString();
            return true;
        case 2:
        case 3:
            address.keyPath = kClientSettingsKey;
            if (mode == 3) address.keyPath += "_";
            address.keyPath += component;
            address.keyPath += "_";
            address.keyPath += section;
            address.keyPath += "_";
            address.keyPath += name;
            address.valueName = kClientSettingValue;
            address.isClientSetting = true;
            return true;
        default:
            return false;
    }
}

bool ReadText(const SettingAddress& address, Stringy& text) {
    RegistryKey key;
    return TryOpenRegistryKey(address.root, address.keyPath.GetCString(), key, RegistryAccess::Read) == 0 &&
           TryReadRegistryText(key, address.valueName, text);
}

bool WriteText(const SettingAddress& address, const char* text) {
    return WriteRegistryString(address.root, address.keyPath.GetCString(), address.valueName, text);
}

}  // namespace

ConfigurationNumber::ConfigurationNumber(int mode, const char* component, const char* section,
                                         const char* name, std::uint32_t defaultValue)
    : m_mode(mode), m_component(component), m_section(section), m_name(name), m_value(defaultValue) {
    Reload();
}

void ConfigurationNumber::Reload() {
    SettingAddress address;
    if (!AddressOf(m_mode, m_component, m_section, m_name, true, address)) return;
    if (!address.isClientSetting) {
        int value;
        if (ReadRegistryDWORD(address.root, address.keyPath.GetCString(), address.valueName, value))
            m_value = static_cast<std::uint32_t>(value);
        return;
    }
    Stringy text;
    std::uint32_t value;
    if (ReadText(address, text) && ParseDecimalUInt32(text.GetConstData(), value) == NumeralStatus::Success)
        m_value = value;
}

ConfigurationNumber64::ConfigurationNumber64(int mode, const char* component, const char* section,
                                             const char* name, std::uint64_t defaultValue)
    : m_mode(mode), m_component(component), m_section(section), m_name(name), m_value(defaultValue) {
    Reload();
}

void ConfigurationNumber64::Reload() {
    SettingAddress address;
    if (!AddressOf(m_mode, m_component, m_section, m_name, true, address)) return;
    std::uint64_t value;
    if (!address.isClientSetting) {
        if (ReadRegistryNumber64(address.root, address.keyPath.GetCString(), address.valueName, value))
            m_value = value;
        return;
    }
    Stringy text;
    if (ReadText(address, text) && ParseDecimalUInt64(text.GetConstData(), value) == NumeralStatus::Success)
        m_value = value;
}

void ConfigurationNumber64::Set(std::uint64_t value) {
    SettingAddress address;
    bool written = false;
    if (m_mode == 0 || m_mode == 1) {
        AddressOf(m_mode, m_component, m_section, m_name, true, address);
        written = WriteRegistryNumber64(address.root, address.keyPath.GetCString(), address.valueName, value);
    } else if (m_mode == 2) {
        AddressOf(m_mode, m_component, m_section, m_name, true, address);
        written = WriteText(address, FormatDecimalDigits(value, 1).GetCString());
    }
    if (!written) throw ConfigurationNumberWriteError();
    m_value = value;
}

ConfigurationString::ConfigurationString(int mode, const char* component, const char* section,
                                         const char* name, const char* defaultValue)
    : m_mode(mode), m_component(component), m_section(section), m_name(name), m_value(defaultValue) {
    Read();
}

void ConfigurationString::Read() {
    SettingAddress address;
    Stringy text;
    if (AddressOf(m_mode, m_component, m_section, m_name, false, address) && ReadText(address, text))
        m_value = text;
}

void ConfigurationString::Set(const char* text) {
    SettingAddress address;
    if (!AddressOf(m_mode, m_component, m_section, m_name, false, address) || !WriteText(address, text))
        throw ConfigurationStringWriteError();
    m_value = text;
}

namespace {

FileLocation GetStoragePath(const char* component) {
    ConfigurationString path(1, component, "GlobalOptions", "StoragePath", "");
    if (path.GetValue().Length() == 0)
        throw MissingRegistrySetting(std::string(component) + "/StoragePath regkey missing");
    return FileLocation(path.GetValue().GetConstData());
}

}  // namespace

FileLocation GetServerStoragePath() {
    return GetStoragePath("Daruravidu Server");
}

FileLocation GetClientStoragePath() {
    return GetStoragePath("DaruraviduClient");
}

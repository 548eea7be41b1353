// The one entry point for reading a setting: code above the foundation reads its settings through
// these objects, built on the typed registry functions (settings/registry_functions.h) that also serve
// the few keys outside the relay's own. The foundation reads no setting.
//
// Settings objects: one small object per setting that names it once and caches its value.
//
// A setting is built from a location mode, a component, a section, a name and a default, and reads
// its value at once; a missing or unusable value leaves the default. The modes:
//
//   0  HKEY_CURRENT_USER   "Software\Veltra\<component>\<section>", value <name>
//   1  HKEY_LOCAL_MACHINE  "Software\Veltra\<component>\<section>", value <name>
//   2  HKEY_LOCAL_MACHINE  "Software\Veltra\DaruraviduClient\Settings\Client\_<component>_<section>_<name>",
//                          value "value" (a named client setting of the endpoint agent)
//   3  as 2, with two underscores before the component
//
// In modes 0 and 1 a number is a REG_DWORD (ConfigurationNumber) or an 8-byte little-endian
// REG_BINARY (ConfigurationNumber64), a text a REG_SZ; a value of another type is unusable. A
// ConfigurationString with an empty section uses the component's own key. In modes 2 and 3 every
// kind is the REG_SZ text of "value", numbers as unsigned decimal digits and nothing else ("0012" is
// 12; " 12", "12x" and "" are unusable). Another mode reads nothing and every write to it fails.
//
// Reading never throws. Set writes (without an effective date in modes 2 and 3) and throws the write
// error of its kind on failure, keeping the old value.
//
// Thread-safety: none of its own. An object is read and changed by its owner; objects that several
// threads read are built before those threads start, and Reload or Set run under the owner's lock.
#pragma once

#include <cstdint>
#include <string>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "base/stringy.h"

class ConfigurationNumberWriteError : public DebuggableException {};
class ConfigurationStringWriteError : public DebuggableException {};

// A required setting that is missing; the text names it.
class MissingRegistrySetting : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

class ConfigurationNumber {
  public:
    ConfigurationNumber(int mode, const char* component, const char* section, const char* name,
                        std::uint32_t defaultValue);
    virtual ~ConfigurationNumber() = default;

    std::uint32_t GetValue() const { return m_value; }
    // Reads again; a missing or unusable value leaves the current one.
    void Reload();

  private:
    int m_mode;
    Stringy m_component;
    Stringy m_section;
    Stringy m_name;
    std::uint32_t m_value;
};

class ConfigurationNumber64 {
  public:
    ConfigurationNumber64(int mode, const char* component, const char* section, const char* name,
                          std::uint64_t defaultValue);
    virtual ~ConfigurationNumber64() = default;

    std::uint64_t GetValue() const { return m_value; }
    void Reload();
    // Writes the value (mode 3 has no 64-bit settings: its writes fail) and caches it; throws
    // ConfigurationNumberWriteError.
    void Set(std::uint64_t value);

  private:
    int m_mode;
    Stringy m_component;
    Stringy m_section;
    Stringy m_name;
    std::uint64_t m_value;
};

class ConfigurationString {
  public:
    ConfigurationString(int mode, const char* component, const char* section, const char* name,
                        const char* defaultValue);
    virtual ~ConfigurationString() = default;

    const Stringy& GetValue() const { return m_value; }
    // The value as a std::string; null reads as the empty text.
    std::string GetText() const { return std::string(m_value.GetConstData().View()); }
    // Writes the text (null as the empty text) and caches it; throws ConfigurationStringWriteError.
    void Set(const char* text);

  private:
    void Read();

    int m_mode;
    Stringy m_component;
    Stringy m_section;
    Stringy m_name;
    Stringy m_value;
};

// The root server's storage folder: mode 1, component "Daruravidu Server", section "GlobalOptions",
// name "StoragePath". Throws MissingRegistrySetting when it is missing or empty.
FileLocation GetServerStoragePath();
// The endpoint agent's storage folder: the same under component "DaruraviduClient".
FileLocation GetClientStoragePath();

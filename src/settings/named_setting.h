// One named client setting of the endpoint agent: a registry key (subsection key + "\" + name) with
// two REG_SZ values, "value" (the setting's text) and "effective date" (when it took effect, as time
// text such as 'Thu, 01 Jan 1970 00:00:00 +0000' in the local zone).
//
// A key with a date but no value is a deleted setting (a tombstone that keeps its date); a key with
// neither is treated as absent. A record loads its two values lazily and caches what it found, in one
// consistent read of the key. Records are values, used by one thread at a time.
#pragma once

#include <cstdint>
#include <limits>

#include "base/stringy.h"
#include "base/time_value.h"
#include "platform/registry.h"

// The date of a setting that has none.
inline constexpr std::int64_t kNoEffectiveDate = std::numeric_limits<std::int64_t>::min();

// The names of a setting key's two values.
inline constexpr const char* kSettingValueName = "value";
inline constexpr const char* kSettingDateName = "effective date";

// "effective date" text of a time in the local zone, and back (false for a text that is no time).
Stringy EffectiveDateText(TimeValue date);
bool ParseEffectiveDate(const Stringy& text, TimeValue& date);

class RegImpSetting {
  public:
    enum class KeyState { NotLookedAt, Present, Missing };
    enum class ValueState { NotLookedAt, Loaded, Absent };

    RegImpSetting(PosixPlatform::RegistryRoot root, const Stringy& subsectionKeyPath, const Stringy& name);
    virtual ~RegImpSetting() = default;

    const Stringy& GetName() const { return m_name; }

    // Loaded as needed: the text of "value" (null when absent), the date (kNoEffectiveDate when none).
    const Stringy& GetValue();
    TimeValue GetDate();
    // The key is present and holds a value or a date.
    bool Exists();
    // The value is absent and the date present.
    bool IsDeleted();

    // Loads whichever of value and date has not been looked at.
    virtual bool Load() = 0;
    virtual bool LoadValue() = 0;
    virtual bool LoadDate() = 0;
    // Deletes "effective date"; true when deleted or not there, false when the key is missing.
    virtual bool DeleteEffectiveDate() = 0;
    // Deletes the setting's key; true when deleted or not there.
    virtual bool DeleteKey() = 0;

  protected:
    PosixPlatform::RegistryRoot m_root;
    Stringy m_subsectionKeyPath;
    Stringy m_keyPath;
    Stringy m_name;
    KeyState m_keyState = KeyState::NotLookedAt;
    ValueState m_valueState = ValueState::NotLookedAt;
    Stringy m_value;
    ValueState m_dateState = ValueState::NotLookedAt;
    TimeValue m_date = kNoEffectiveDate;
};

class PosixSetting final : public RegImpSetting {
  public:
    using RegImpSetting::RegImpSetting;

    bool Load() override;
    bool LoadValue() override;
    bool LoadDate() override;
    bool DeleteEffectiveDate() override;
    bool DeleteKey() override;

  private:
    // Reads the key once and fills the states asked for.
    bool LoadParts(bool value, bool date);
};

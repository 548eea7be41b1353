// The named settings store: the endpoint agent's client settings, which the relay reads and writes
// beside the agent on the same machine.
//
// Layout under HKEY_LOCAL_MACHINE: a base key ("Software\Veltra\DaruraviduClient\Settings"), one key
// per subsection (the relay uses "Client") and one key per setting, holding "value" and "effective
// date" (see named_setting.h). Writes are ruled by the effective date: SetValue and DeleteValue
// change nothing when the stored date is later than theirs, and compare and write in one locked
// transaction, so that the two values always change together.
//
// Reads never throw: a missing key, value or unparsable text reads as absent. Writes report false on
// failure. The store has no lock of its own; every call reads the registry afresh, so concurrent
// readers see what the registry holds.
#pragma once

#include <memory>

#include "base/stringy.h"
#include "base/time_value.h"
#include "settings/named_setting.h"

namespace PosixPlatform {

// A position among the settings of a subsection, or on one setting. Owned by whoever asked the store
// for it; used by one thread at a time.
class WSIInterface {
  public:
    virtual ~WSIInterface() = default;
    virtual void Next() = 0;
    virtual bool AtEnd() const = 0;
    virtual const Stringy& GetName() = 0;
    virtual const Stringy& GetValue() = 0;
    // kNoEffectiveDate when the setting has none.
    virtual TimeValue GetDate() = 0;
    virtual bool Exists() = 0;
    virtual bool IsDeleted() = 0;
    virtual bool DeleteEffectiveDate() = 0;
    // Deletes the current setting's key; on success the next Next does not skip the following one.
    virtual bool DeleteCurrent() = 0;
    // A new iterator at the same position with the same cached state.
    virtual std::unique_ptr<WSIInterface> Clone() const = 0;
};

using PosixSettingIterator = WSIInterface;

class WSIInternal final : public WSIInterface {
  public:
    // All settings of a subsection, positioned on the first.
    WSIInternal(RegistryRoot root, const Stringy& subsectionKeyPath);
    // One setting; at the end at once when it does not exist.
    WSIInternal(RegistryRoot root, const Stringy& subsectionKeyPath, const Stringy& name);

    void Next() override;
    bool AtEnd() const override { return m_atEnd; }
    const Stringy& GetName() override { return m_current.GetName(); }
    const Stringy& GetValue() override { return m_current.GetValue(); }
    TimeValue GetDate() override { return m_current.GetDate(); }
    bool Exists() override { return m_current.Exists(); }
    bool IsDeleted() override { return m_current.IsDeleted(); }
    bool DeleteEffectiveDate() override { return m_current.DeleteEffectiveDate(); }
    bool DeleteCurrent() override;
    std::unique_ptr<WSIInterface> Clone() const override { return std::make_unique<WSIInternal>(*this); }

  private:
    RegistryRoot m_root;
    Stringy m_keyPath;
    bool m_singleSetting;
    bool m_atEnd = false;
    std::uint32_t m_index = 0;
    PosixSetting m_current;
};

}  // namespace PosixPlatform

template <typename Iterator>
class SettingStore {
  public:
    virtual ~SettingStore() = default;
    virtual std::unique_ptr<Iterator> Iterate(const char* subsection) = 0;
    virtual std::unique_ptr<Iterator> Find(const char* subsection, const char* name) = 0;
    // Write-if-newer: when the stored date is later than `date`, sets *skipped (when given) and
    // returns false; otherwise writes both values and returns true.
    virtual bool SetValue(const char* subsection, const char* name, ConstData value, TimeValue date,
                          bool* skipped) = 0;
    // "value" only; the date stays.
    virtual bool SetValueText(const char* subsection, const char* name, ConstData value) = 0;
    // "effective date" only.
    virtual bool SetEffectiveDate(const char* subsection, const char* name, TimeValue date) = 0;
    // Delete-if-newer: as SetValue, leaving a tombstone with the date.
    virtual bool DeleteValue(const char* subsection, const char* name, TimeValue date, bool* skipped) = 0;
    // Changes are on disk when made; these check that the key exists.
    virtual bool FlushStore() = 0;
    virtual bool FlushSubsection(const char* subsection) = 0;
    virtual bool FlushSetting(const char* subsection, const char* name) = 0;
    virtual bool ClearAllEffectiveDates() = 0;
    virtual bool ClearEffectiveDates(const char* subsection) = 0;
    // True when the setting is gone afterwards.
    virtual bool DeleteSetting(const char* subsection, const char* name) = 0;
    // Deletes every setting whose name begins with `prefix` (bytes compared exactly); false if any fails.
    virtual bool DeleteSettingsWithPrefix(const char* subsection, const char* prefix) = 0;
    virtual bool DeleteAllSettingsEverywhere() = 0;
    virtual bool DeleteAllSettings(const char* subsection) = 0;
};

namespace PosixPlatform {

class PosixSettingStore final : public SettingStore<PosixSettingIterator> {
  public:
    PosixSettingStore(RegistryRoot root, const char* baseKeyPath);

    std::unique_ptr<PosixSettingIterator> Iterate(const char* subsection) override;
    std::unique_ptr<PosixSettingIterator> Find(const char* subsection, const char* name) override;
    bool SetValue(const char* subsection, const char* name, ConstData value, TimeValue date,
                  bool* skipped) override;
    bool SetValueText(const char* subsection, const char* name, ConstData value) override;
    bool SetEffectiveDate(const char* subsection, const char* name, TimeValue date) override;
    bool DeleteValue(const char* subsection, const char* name, TimeValue date, bool* skipped) override;
    bool FlushStore() override;
    bool FlushSubsection(const char* subsection) override;
    bool FlushSetting(const char* subsection, const char* name) override;
    bool ClearAllEffectiveDates() override;
    bool ClearEffectiveDates(const char* subsection) override;
    bool DeleteSetting(const char* subsection, const char* name) override;
    bool DeleteSettingsWithPrefix(const char* subsection, const char* prefix) override;
    bool DeleteAllSettingsEverywhere() override;
    bool DeleteAllSettings(const char* subsection) override;

    // Replaces "value" with `replacement` only while it still reads `expected`, in one locked
    // transaction (the date stays). True when it was replaced or had changed meanwhile.
    bool ReplaceValueText(const char* subsection, const char* name, const Stringy& expected,
                          const Stringy& replacement);

  private:
    Stringy SubsectionKeyPath(const char* subsection) const;
    Stringy SettingKeyPath(const char* subsection, const char* name) const;
    // The write-if-newer transaction of SetValue (value given) and DeleteValue (no value).
    bool WriteIfNewer(const char* subsection, const char* name, const ConstData* value, TimeValue date,
                      bool* skipped);

    RegistryRoot m_root;
    Stringy m_baseKeyPath;
};

// The process-wide store over HKEY_LOCAL_MACHINE "Software\Veltra\DaruraviduClient\Settings".
PosixSettingStore& ClientSettingStore();

}  // namespace PosixPlatform

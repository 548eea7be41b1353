#include "settings/named_settings_store.h"

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "settings/registry_functions.h"

namespace PosixPlatform {
namespace {

constexpr const char* kClientSettingsBase = "Software\\Veltra\\DaruraviduClient\\Settings";

// What a write-if-newer returns to cancel its transaction when the stored date is later.
constexpr int kStoredDateIsLater = ECANCELED;

std::string_view View(const Stringy& text) {
    return text.GetConstData().View();
}
std::string_view View(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

bool StoredDateIsLater(const RegistryKeyNode& key, TimeValue date) {
    const RegistryValue* stored = key.FindValue(kSettingDateName);
    TimeValue storedDate;
    return stored && stored->type == RegistryType::String &&
           ParseEffectiveDate(Stringy(stored->data.c_str()), storedDate) && storedDate > date;
}

bool SetOneValue(RegistryRoot root, const Stringy& keyPath, const char* name, std::string_view text) {
    return UpdateRegistryKey(root, View(keyPath), [&](RegistryKeyNode& key) {
               key.SetValue(name, RegistryType::String, text);
               return 0;
           }) == 0;
}

bool KeyExists(RegistryRoot root, const Stringy& keyPath) {
    RegistryKeyHandle key;
    return RegistryKeyHandle::Open(root, View(keyPath), RegistryAccess::ReadWrite, key) == 0 &&
           key.Flush() == 0;
}

// One transaction over the subsection key, deleting every setting key that `matches` names. Keys with
// subkeys of their own are not settings and are left; any of them makes the result false.
template <typename Matches>
bool DeleteSettingKeys(RegistryRoot root, const Stringy& subsectionKeyPath, Matches matches) {
    RegistryKeyHandle subsection;
    int result =
        RegistryKeyHandle::Open(root, View(subsectionKeyPath), RegistryAccess::ReadWrite, subsection);
    if (result == ENOENT) return true;
    bool allDeleted = true;
    if (result == 0) {
        result = subsection.Update([&](RegistryKeyNode& key) {
            allDeleted = true;
            std::vector<std::string> doomed;
            for (std::size_t i = 0; i < key.SubkeyCount(); ++i) {
                const RegistryKeyNode& setting = key.SubkeyAt(i);
                if (!matches(setting.Name())) continue;
                if (setting.SubkeyCount() == 0)
                    doomed.push_back(setting.Name());
                else
                    allDeleted = false;
            }
            for (const std::string& name : doomed) key.DeleteSubkey(name);
            return doomed.empty() ? kRegistryNothingToWrite : 0;
        });
    }
    return result == 0 && allDeleted;
}

// The subsections are the subkeys of the base key.
bool ForEverySubsection(RegistryRoot root, const Stringy& baseKeyPath,
                        const std::function<bool(const char* subsection)>& each) {
    try {
        RegistryKeyHandle base;
        std::shared_ptr<const RegistryKeyNode> snapshot;
        if (RegistryKeyHandle::Open(root, View(baseKeyPath), RegistryAccess::Read, base) != 0 ||
            base.Snapshot(snapshot) != 0)
            return true;
        bool succeeded = true;
        for (std::size_t i = 0; i < snapshot->SubkeyCount(); ++i)
            succeeded = each(snapshot->SubkeyAt(i).Name().c_str()) && succeeded;
        return succeeded;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

WSIInternal::WSIInternal(RegistryRoot root, const Stringy& subsectionKeyPath)
    : m_root(root),
      m_keyPath(subsectionKeyPath),
      m_singleSetting(false),
      m_current(root, subsectionKeyPath, "") {
    Next();
}

WSIInternal::WSIInternal(RegistryRoot root, const Stringy& subsectionKeyPath, const Stringy& name)
    : m_root(root),
      m_keyPath(subsectionKeyPath),
      m_singleSetting(true),
      m_current(root, subsectionKeyPath, name) {
    m_atEnd = !m_current.Exists();
}

// Any failure, "no more subkeys" included, ends the iteration.
void WSIInternal::Next() {
    if (m_singleSetting || m_atEnd) {
        m_atEnd = true;
        return;
    }
    try {
        RegistryKeyHandle subsection;
        std::string name;
        if (RegistryKeyHandle::Open(m_root, View(m_keyPath), RegistryAccess::Read, subsection) != 0 ||
            subsection.EnumerateSubkey(m_index, name) != 0) {
            m_atEnd = true;
            return;
        }
        m_current = PosixSetting(m_root, m_keyPath, Stringy(name.c_str()));
        ++m_index;
    } catch (const std::exception&) {
        m_atEnd = true;
    }
}

bool WSIInternal::DeleteCurrent() {
    if (m_atEnd || !m_current.DeleteKey()) return false;
    if (!m_singleSetting) --m_index;
    return true;
}

PosixSettingStore::PosixSettingStore(RegistryRoot root, const char* baseKeyPath)
    : m_root(root), m_baseKeyPath(baseKeyPath) {}

Stringy PosixSettingStore::SubsectionKeyPath(const char* subsection) const {
    Stringy path = m_baseKeyPath;
    path += "\\";
    path += subsection;
    return path;
}

Stringy PosixSettingStore::SettingKeyPath(const char* subsection, const char* name) const {
    Stringy path = SubsectionKeyPath(subsection);
    path += "\\";
    path += name;
    return path;
}

std::unique_ptr<PosixSettingIterator> PosixSettingStore::Iterate(const char* subsection) {
    return std::make_unique<WSIInternal>(m_root, SubsectionKeyPath(subsection));
}

std::unique_ptr<PosixSettingIterator> PosixSettingStore::Find(const char* subsection, const char* name) {
    return std::make_unique<WSIInternal>(m_root, SubsectionKeyPath(subsection), Stringy(name));
}

// Reading the stored date, comparing, and writing both values happen under one hive lock: a failure
// can never leave a new value with the old date, and two writers cannot both win.
bool PosixSettingStore::WriteIfNewer(const char* subsection, const char* name, const ConstData* value,
                                     TimeValue date, bool* skipped) {
    if (skipped) *skipped = false;
    Stringy dateText = EffectiveDateText(date);
    int result = UpdateRegistryKey(m_root, View(SettingKeyPath(subsection, name)), [&](RegistryKeyNode& key) {
        if (StoredDateIsLater(key, date)) return kStoredDateIsLater;
        if (value)
            key.SetValue(kSettingValueName, RegistryType::String, value->View());
        else
            key.DeleteValue(kSettingValueName);
        key.SetValue(kSettingDateName, RegistryType::String, View(dateText));
        return 0;
    });
    if (result == kStoredDateIsLater && skipped) *skipped = true;
    return result == 0;
}

bool PosixSettingStore::SetValue(const char* subsection, const char* name, ConstData value, TimeValue date,
                                 bool* skipped) {
    return WriteIfNewer(subsection, name, &value, date, skipped);
}

bool PosixSettingStore::DeleteValue(const char* subsection, const char* name, TimeValue date, bool* skipped) {
    return WriteIfNewer(subsection, name, nullptr, date, skipped);
}

bool PosixSettingStore::SetValueText(const char* subsection, const char* name, ConstData value) {
    return SetOneValue(m_root, SettingKeyPath(subsection, name), kSettingValueName, value.View());
}

bool PosixSettingStore::SetEffectiveDate(const char* subsection, const char* name, TimeValue date) {
    return SetOneValue(m_root, SettingKeyPath(subsection, name), kSettingDateName,
                       View(EffectiveDateText(date)));
}

bool PosixSettingStore::ReplaceValueText(const char* subsection, const char* name, const Stringy& expected,
                                         const Stringy& replacement) {
    return UpdateRegistryKey(m_root, View(SettingKeyPath(subsection, name)), [&](RegistryKeyNode& key) {
               const RegistryValue* stored = key.FindValue(kSettingValueName);
               if (!stored || stored->type != RegistryType::String ||
                   Stringy(stored->data.c_str()).Compare(expected) != 0)
                   return kRegistryNothingToWrite;
               key.SetValue(kSettingValueName, RegistryType::String, View(replacement));
               return 0;
           }) == 0;
}

bool PosixSettingStore::FlushStore() {
    return KeyExists(m_root, m_baseKeyPath);
}

bool PosixSettingStore::FlushSubsection(const char* subsection) {
    return KeyExists(m_root, SubsectionKeyPath(subsection));
}

bool PosixSettingStore::FlushSetting(const char* subsection, const char* name) {
    return KeyExists(m_root, SettingKeyPath(subsection, name));
}

bool PosixSettingStore::ClearAllEffectiveDates() {
    return ForEverySubsection(m_root, m_baseKeyPath,
                              [&](const char* subsection) { return ClearEffectiveDates(subsection); });
}

// One transaction for the whole subsection.
bool PosixSettingStore::ClearEffectiveDates(const char* subsection) {
    RegistryKeyHandle key;
    int result =
        RegistryKeyHandle::Open(m_root, View(SubsectionKeyPath(subsection)), RegistryAccess::ReadWrite, key);
    if (result == ENOENT) return true;
    if (result == 0) {
        result = key.Update([](RegistryKeyNode& node) {
            bool changed = false;
            for (std::size_t i = 0; i < node.SubkeyCount(); ++i) {
                RegistryKeyNode* setting = node.FindSubkey(node.SubkeyAt(i).Name());
                changed = setting->DeleteValue(kSettingDateName) || changed;
            }
            return changed ? 0 : kRegistryNothingToWrite;
        });
    }
    return result == 0;
}

bool PosixSettingStore::DeleteSetting(const char* subsection, const char* name) {
    PosixSetting setting(m_root, SubsectionKeyPath(subsection), Stringy(name));
    return !setting.Exists() || setting.DeleteKey();
}

bool PosixSettingStore::DeleteSettingsWithPrefix(const char* subsection, const char* prefix) {
    std::string_view wanted = View(prefix);
    return DeleteSettingKeys(m_root, SubsectionKeyPath(subsection),
                             [&](const std::string& name) { return name.starts_with(wanted); });
}

bool PosixSettingStore::DeleteAllSettingsEverywhere() {
    return ForEverySubsection(m_root, m_baseKeyPath,
                              [&](const char* subsection) { return DeleteAllSettings(subsection); });
}

bool PosixSettingStore::DeleteAllSettings(const char* subsection) {
    return DeleteSettingKeys(m_root, SubsectionKeyPath(subsection), [](const std::string&) { return true; });
}

PosixSettingStore& ClientSettingStore() {
    static PosixSettingStore store(RegistryRoot::LocalMachine, kClientSettingsBase);
    return store;
}

}  // namespace PosixPlatform

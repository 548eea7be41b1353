#include "settings/named_setting.h"

#include "foundation/calendar_time.h"
#include "foundation/clocks.h"
#include "foundation/time_parser.h"
#include "foundation/time_text.h"

using PosixPlatform::RegistryAccess;
using PosixPlatform::RegistryKeyHandle;
using PosixPlatform::RegistryKeyNode;
using PosixPlatform::RegistryType;
using PosixPlatform::RegistryValue;

namespace {

// The text of a REG_SZ value up to its first NUL; false for another type.
bool TextOfValue(const RegistryValue* value, Stringy& text) {
    if (!value || value->type != RegistryType::String) return false;
    text = Stringy(value->data.c_str());
    return true;
}

}  // namespace

Stringy EffectiveDateText(TimeValue date) {
    return Stringy(FormatTimeText(date, GetLocalZoneOffset()).GetCString());
}

bool ParseEffectiveDate(const Stringy& text, TimeValue& date) {
    if (text.Length() == 0) return false;
    try {
        date.SetFromCalendar(ParseTimeText(text.GetConstData()));
        return true;
    } catch (const DebuggableException&) {
        return false;
    }
}

RegImpSetting::RegImpSetting(PosixPlatform::RegistryRoot root, const Stringy& subsectionKeyPath,
                             const Stringy& name)
    : m_root(root), m_subsectionKeyPath(subsectionKeyPath), m_keyPath(subsectionKeyPath), m_name(name) {
    m_keyPath += "\\";
    m_keyPath += name;
}

const Stringy& RegImpSetting::GetValue() {
    if (m_valueState == ValueState::NotLookedAt) LoadValue();
    return m_value;
}

TimeValue RegImpSetting::GetDate() {
    if (m_dateState == ValueState::NotLookedAt) LoadDate();
    return m_date;
}

bool RegImpSetting::Exists() {
    Load();
    return m_keyState == KeyState::Present &&
           (m_valueState == ValueState::Loaded || m_dateState == ValueState::Loaded);
}

bool RegImpSetting::IsDeleted() {
    Load();
    return m_valueState == ValueState::Absent && m_dateState == ValueState::Loaded;
}

bool PosixSetting::Load() {
    bool value = m_valueState == ValueState::NotLookedAt;
    bool date = m_dateState == ValueState::NotLookedAt;
    return !(value || date) || LoadParts(value, date);
}

bool PosixSetting::LoadValue() {
    return LoadParts(true, false);
}

bool PosixSetting::LoadDate() {
    return LoadParts(false, true);
}

// A missing key, value or an unparsable date all load as absent.
bool PosixSetting::LoadParts(bool value, bool date) {
    RegistryKeyHandle key;
    std::shared_ptr<const RegistryKeyNode> snapshot;
    bool present =
        RegistryKeyHandle::Open(m_root, m_keyPath.GetConstData().View(), RegistryAccess::Read, key) == 0 &&
        key.Snapshot(snapshot) == 0;
    m_keyState = present ? KeyState::Present : KeyState::Missing;
    bool loaded = true;
    if (value) {
        bool found = present && TextOfValue(snapshot->FindValue(kSettingValueName), m_value);
        if (!found) m_value = Stringy();
        m_valueState = found ? ValueState::Loaded : ValueState::Absent;
        loaded = loaded && found;
    }
    if (date) {
        Stringy text;
        TimeValue parsed;
        bool found = present && TextOfValue(snapshot->FindValue(kSettingDateName), text) &&
                     ParseEffectiveDate(text, parsed);
        m_date = found ? parsed : TimeValue(kNoEffectiveDate);
        m_dateState = found ? ValueState::Loaded : ValueState::Absent;
        loaded = loaded && found;
    }
    return loaded;
}

bool PosixSetting::DeleteEffectiveDate() {
    RegistryKeyHandle key;
    if (RegistryKeyHandle::Open(m_root, m_keyPath.GetConstData().View(), RegistryAccess::ReadWrite, key) != 0)
        return false;
    int result = key.Update([](RegistryKeyNode& node) {
        return node.DeleteValue(kSettingDateName) ? 0 : PosixPlatform::kRegistryNothingToWrite;
    });
    if (result != 0) return false;
    m_date = kNoEffectiveDate;
    m_dateState = ValueState::Absent;
    return true;
}

bool PosixSetting::DeleteKey() {
    RegistryKeyHandle subsection;
    int result = RegistryKeyHandle::Open(m_root, m_subsectionKeyPath.GetConstData().View(),
                                         RegistryAccess::ReadWrite, subsection);
    if (result == 0) result = subsection.DeleteSubkey(m_name.GetConstData().View());
    if (result != 0 && result != ENOENT) return false;
    m_keyState = KeyState::Missing;
    m_value = Stringy();
    m_valueState = ValueState::Absent;
    m_date = kNoEffectiveDate;
    m_dateState = ValueState::Absent;
    return true;
}

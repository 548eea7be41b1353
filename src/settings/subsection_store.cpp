#include "settings/subsection_store.h"

#include <cstring>
#include <vector>

#include "base/numerals.h"
#include "foundation/clocks.h"
#include "platform/system_error.h"
#include "settings/registry_functions.h"

using PosixPlatform::PosixKVRSubsectionStore;
using PosixPlatform::PosixSettingStore;

namespace {

constexpr const char* kClientSubsection = "Client";
constexpr const char* kGatherServiceKey = "Software\\Veltra\\Daruravidu Server\\GatherService";
// The plain store reads a text through a buffer of this size: longer texts read as missing.
constexpr std::uint32_t kPlainTextBufferSize = 16384;
// GetClientSettingNumber reads the text as into a buffer of this size, so texts of up to 30 bytes.
constexpr unsigned kNumberTextBufferSize = 32;

ConstData TextOf(const Stringy& text) {
    return text.GetConstData();
}

// Numbers written by the named store: decimal digits of the unsigned 32-bit value.
Stringy DecimalText(std::uint64_t value) {
    return Stringy(FormatDecimalDigits(value, 1).GetCString());
}

}  // namespace

FileLocation SubsectionStore::GetPath(const char* name, bool& found) {
    Stringy text = GetText(name, found);
    return found ? FileLocation(text.GetConstData()) : FileLocation();
}

bool SubsectionStore::SetPath(const char* name, const FileLocation& location) {
    return SetText(name, location.GetConstData());
}

template <typename Store>
Stringy KVRSubsectionSettings<Store>::GetText(const char* name, bool& found) {
    std::unique_ptr<PosixPlatform::PosixSettingIterator> setting =
        m_store.Find(m_subsection.GetCString(), name);
    found = !setting->AtEnd() && !setting->IsDeleted();
    return found ? setting->GetValue() : Stringy();
}

template <typename Store>
bool KVRSubsectionSettings<Store>::SetText(const char* name, ConstData text) {
    return m_store.SetValue(m_subsection.GetCString(), name, text, GetCurrentUTCTime(), nullptr);
}

template <typename Store>
bool KVRSubsectionSettings<Store>::SetTextUndated(const char* name, ConstData text) {
    return m_store.SetValueText(m_subsection.GetCString(), name, text);
}

template <typename Store>
std::uint32_t KVRSubsectionSettings<Store>::GetNumber(const char* name, bool& found) {
    Stringy text = GetText(name, found);
    std::uint32_t value = 0;
    found = found && ParseDecimalUInt32(text.GetConstData(), value) == NumeralStatus::Success;
    return found ? value : 0;
}

// An int is stored as the decimal text of its 32-bit pattern, so that GetNumber reads it back.
template <typename Store>
bool KVRSubsectionSettings<Store>::SetNumber(const char* name, int value) {
    return SetText(name, TextOf(DecimalText(static_cast<std::uint32_t>(value))));
}

template <typename Store>
std::uint64_t KVRSubsectionSettings<Store>::GetNumber64(const char* name, bool& found, unsigned flags) {
    Stringy text = GetText(name, found);
    std::uint64_t value = 0;
    found = found && ParseDecimalUInt64(text.GetConstData(), value) == NumeralStatus::Success;
    return found ? value : 0;
}

template <typename Store>
bool KVRSubsectionSettings<Store>::SetNumber64(const char* name, std::uint64_t value) {
    return SetText(name, TextOf(DecimalText(value)));
}

template <typename Store>
std::int64_t KVRSubsectionSettings<Store>::GetInt64(const char* name, bool& found, unsigned flags) {
    Stringy text = GetText(name, found);
    if (!found) return 0;
    std::int64_t value = 0;
    if (ParseDecimalInt64(text.GetConstData(), value) == NumeralStatus::Success) return value;
    std::uint64_t unsignedValue = 0;
    found = (flags & kAcceptUnsignedNumber) &&
            ParseDecimalUInt64(text.GetConstData(), unsignedValue) == NumeralStatus::Success;
    return found ? static_cast<std::int64_t>(unsignedValue) : 0;
}

template <typename Store>
bool KVRSubsectionSettings<Store>::SetInt64(const char* name, std::int64_t value) {
    return SetText(name, TextOf(Stringy(FormatSignedDecimalDigits(value, 1).GetCString())));
}

template <typename Store>
bool KVRSubsectionSettings<Store>::GetBool(const char* name, bool& found) {
    std::uint32_t value = GetNumber(name, found);
    found = found && value <= 1;
    return found && value == 1;
}

template <typename Store>
bool KVRSubsectionSettings<Store>::SetBool(const char* name, bool value) {
    return SetNumber(name, value ? 1 : 0);
}

template <typename Store>
bool KVRSubsectionSettings<Store>::Flush() {
    return m_store.FlushSubsection(m_subsection.GetCString());
}

template <typename Store>
bool KVRSubsectionSettings<Store>::FlushSetting(const char* name) {
    return m_store.FlushSetting(m_subsection.GetCString(), name);
}

template <typename Store>
bool KVRSubsectionSettings<Store>::ClearEffectiveDates() {
    return m_store.ClearEffectiveDates(m_subsection.GetCString());
}

template class KVRSubsectionSettings<PosixSettingStore>;

namespace PosixPlatform {

Stringy PosixKVRSubsectionStore::GetText(const char* name, bool& found) {
    std::vector<char> buffer(kPlainTextBufferSize);
    std::uint32_t size = kPlainTextBufferSize;
    found = ReadRegistryString(m_root, m_keyPath.GetCString(), name, buffer.data(), size);
    return found ? Stringy(buffer.data()) : Stringy();
}

bool PosixKVRSubsectionStore::SetText(const char* name, ConstData text) {
    return SetTextUndated(name, text);
}

bool PosixKVRSubsectionStore::SetTextUndated(const char* name, ConstData text) {
    return WriteRegistryString(m_root, m_keyPath.GetCString(), name,
                               Stringy(text.Chars(), text.Length()).GetCString());
}

std::uint32_t PosixKVRSubsectionStore::GetNumber(const char* name, bool& found) {
    int value = 0;
    found = ReadRegistryDWORD(m_root, m_keyPath.GetCString(), name, value);
    return found ? static_cast<std::uint32_t>(value) : 0;
}

bool PosixKVRSubsectionStore::SetNumber(const char* name, int value) {
    return WriteRegistryDWORD(m_root, m_keyPath.GetCString(), name, static_cast<std::uint32_t>(value), false);
}

std::uint64_t PosixKVRSubsectionStore::GetNumber64(const char* name, bool& found, unsigned flags) {
    std::uint64_t value = 0;
    found = ReadRegistryNumber64(m_root, m_keyPath.GetCString(), name, value);
    if (!found && (flags & kAcceptDWordNumber)) value = GetNumber(name, found);
    return found ? value : 0;
}

bool PosixKVRSubsectionStore::SetNumber64(const char* name, std::uint64_t value) {
    return WriteRegistryNumber64(m_root, m_keyPath.GetCString(), name, value);
}

std::int64_t PosixKVRSubsectionStore::GetInt64(const char* name, bool& found, unsigned flags) {
    return static_cast<std::int64_t>(GetNumber64(name, found, flags));
}

bool PosixKVRSubsectionStore::SetInt64(const char* name, std::int64_t value) {
    return SetNumber64(name, static_cast<std::uint64_t>(value));
}

bool PosixKVRSubsectionStore::GetBool(const char* name, bool& found) {
    return GetNumber(name, found) != 0;
}

bool PosixKVRSubsectionStore::SetBool(const char* name, bool value) {
    return SetNumber(name, value ? 1 : 0);
}

bool PosixKVRSubsectionStore::Flush() {
    RegistryKey key = OpenRegistryKey(m_root, m_keyPath.GetCString(), RegistryAccess::ReadWrite);
    if (int result = key.Flush()) throw Posix::Error(result);
    return true;
}

bool PosixKVRSubsectionStore::FlushSetting(const char* name) {
    return Flush();
}

}  // namespace PosixPlatform

KVRSubsectionSettings<PosixSettingStore>& ClientSubsection() {
    static KVRSubsectionSettings<PosixSettingStore> subsection(PosixPlatform::ClientSettingStore(),
                                                               kClientSubsection);
    return subsection;
}

PosixKVRSubsectionStore& gatherServiceSubsectionStore() {
    static PosixKVRSubsectionStore store(RegistryRoot::LocalMachine, kGatherServiceKey);
    return store;
}

bool GetClientSettingText(const char* name, char* buffer, unsigned size, bool& found) {
    Stringy text = ClientSubsection().GetText(name, found);
    // A buffer of fewer than 2 bytes holds no text at all (size - 2 would wrap around).
    if (!found || size < 2 || text.Length() > size - 2) return false;
    std::memcpy(buffer, text.GetCString(), text.Length() + 1);
    return true;
}

namespace {

// The stored text as GetClientSettingNumber reads it. `repair` is set when the text must be replaced
// by the returned value. The accumulator is 64 bits wide and stops growing past max, so an overflowing
// text reads as max, never as a small number.
std::uint32_t ParseSettingNumber(const Stringy& text, std::uint32_t min, std::uint32_t max,
                                 std::uint32_t defaultValue, bool& repair, bool& blank) {
    repair = false;
    blank = false;
    const char* c = text.GetCString();
    while (*c == ' ') ++c;
    if (*c == '\0') {
        blank = true;
        return defaultValue;
    }
    std::uint64_t accumulated = 0;
    std::uint32_t value = 0;
    for (; *c; ++c) {
        if (*c < '0' || *c > '9') {
            value = defaultValue;
            repair = true;
            break;
        }
        if (accumulated <= max) accumulated = accumulated * 10 + static_cast<unsigned>(*c - '0');
        if (accumulated > max) {
            value = max;
            repair = true;
        } else {
            value = static_cast<std::uint32_t>(accumulated);
        }
    }
    if (value < min) {
        value = min;
        repair = true;
    }
    return value;
}

}  // namespace

bool GetClientSettingNumber(const char* name, unsigned& out, unsigned min, unsigned max,
                            unsigned defaultValue) {
    bool found = false;
    Stringy text = ClientSubsection().GetText(name, found);
    if (!found) {
        out = defaultValue;
        return false;
    }
    bool repair = true;
    bool blank = false;
    std::uint32_t value = defaultValue;
    if (text.Length() <= kNumberTextBufferSize - 2)
        value = ParseSettingNumber(text, min, max, defaultValue, repair, blank);
    out = value;
    if (blank || !repair) return true;
    // The repair replaces the text only while it is still the one read: a value written by someone
    // else meanwhile is theirs to keep.
    return PosixPlatform::ClientSettingStore().ReplaceValueText(kClientSubsection, name, text,
                                                                DecimalText(value));
}

bool GetClientSettingBool(const char* name, bool& out, bool defaultValue) {
    unsigned value = 0;
    if (GetClientSettingNumber(name, value, 0, 1, defaultValue ? 1 : 0) && value <= 1) {
        out = value == 1;
        return true;
    }
    out = defaultValue;
    return false;
}

// Settings of one subsection, by name, in two stores:
// - KVRSubsectionSettings: a subsection of the named settings store (named_settings_store.h); every
//   setting is a text, numbers as decimal digits; writes are dated now unless "Undated".
// - PosixKVRSubsectionStore: the values of one plain registry key (the gather service's own key),
//   texts as REG_SZ, numbers and Booleans as REG_DWORD, 64-bit numbers as 8-byte REG_BINARY.
//
// Reads never throw: `found` tells whether a usable value was there, and the result is then empty or
// zero. Writes return false on failure (the plain store's Flush throws Posix::Error).
//
// And three readers of the client subsection "Client" that repair a stored number in place.
//
// Thread-safety: the stores keep no state besides their names; every call reads the registry afresh.
#pragma once

#include <cstdint>

#include "base/file_location.h"
#include "base/stringy.h"
#include "settings/named_settings_store.h"

// GetNumber64 flag: in the plain store, a REG_DWORD is accepted too (zero-extended).
inline constexpr unsigned kAcceptDWordNumber = 1;
// GetInt64 flag: in the named store, an unsigned 64-bit numeral is accepted too.
inline constexpr unsigned kAcceptUnsignedNumber = 2;

class SubsectionStore {
  public:
    virtual ~SubsectionStore() = default;
    virtual Stringy GetText(const char* name, bool& found) = 0;
    virtual bool SetText(const char* name, ConstData text) = 0;
    virtual bool SetTextUndated(const char* name, ConstData text) = 0;
    virtual std::uint32_t GetNumber(const char* name, bool& found) = 0;
    virtual bool SetNumber(const char* name, int value) = 0;
    virtual std::uint64_t GetNumber64(const char* name, bool& found, unsigned flags) = 0;
    virtual bool SetNumber64(const char* name, std::uint64_t value) = 0;
    virtual std::int64_t GetInt64(const char* name, bool& found, unsigned flags) = 0;
    virtual bool SetInt64(const char* name, std::int64_t value) = 0;
    virtual bool GetBool(const char* name, bool& found) = 0;
    virtual bool SetBool(const char* name, bool value) = 0;
    // The text as a location (unset when not found), and a location's text: the same in both stores.
    virtual FileLocation GetPath(const char* name, bool& found);
    virtual bool SetPath(const char* name, const FileLocation& location);
    virtual bool Flush() = 0;
    virtual bool FlushSetting(const char* name) = 0;
    virtual bool ClearEffectiveDates() = 0;
};

template <typename Store>
class KVRSubsectionSettings final : public SubsectionStore {
  public:
    // The store is not owned and must outlive this object.
    KVRSubsectionSettings(Store& store, const char* subsection) : m_store(store), m_subsection(subsection) {}

    Stringy GetText(const char* name, bool& found) override;
    bool SetText(const char* name, ConstData text) override;
    bool SetTextUndated(const char* name, ConstData text) override;
    std::uint32_t GetNumber(const char* name, bool& found) override;
    bool SetNumber(const char* name, int value) override;
    std::uint64_t GetNumber64(const char* name, bool& found, unsigned flags) override;
    bool SetNumber64(const char* name, std::uint64_t value) override;
    std::int64_t GetInt64(const char* name, bool& found, unsigned flags) override;
    bool SetInt64(const char* name, std::int64_t value) override;
    bool GetBool(const char* name, bool& found) override;
    bool SetBool(const char* name, bool value) override;
    bool Flush() override;
    bool FlushSetting(const char* name) override;
    bool ClearEffectiveDates() override;

  private:
    Store& m_store;
    Stringy m_subsection;
};

namespace PosixPlatform {

class PosixKVRSubsectionStore final : public SubsectionStore {
  public:
    PosixKVRSubsectionStore(RegistryRoot root, const char* keyPath) : m_root(root), m_keyPath(keyPath) {}

    Stringy GetText(const char* name, bool& found) override;
    bool SetText(const char* name, ConstData text) override;
    bool SetTextUndated(const char* name, ConstData text) override;
    std::uint32_t GetNumber(const char* name, bool& found) override;
    bool SetNumber(const char* name, int value) override;
    std::uint64_t GetNumber64(const char* name, bool& found, unsigned flags) override;
    bool SetNumber64(const char* name, std::uint64_t value) override;
    std::int64_t GetInt64(const char* name, bool& found, unsigned flags) override;
    bool SetInt64(const char* name, std::int64_t value) override;
    bool GetBool(const char* name, bool& found) override;
    bool SetBool(const char* name, bool value) override;
    bool Flush() override;
    bool FlushSetting(const char* name) override;
    bool ClearEffectiveDates() override { return true; }

  private:
    RegistryRoot m_root;
    Stringy m_keyPath;
};

}  // namespace PosixPlatform

// The process-wide subsection "Client" of the client settings store.
KVRSubsectionSettings<PosixPlatform::PosixSettingStore>& ClientSubsection();
// The process-wide plain store over HKEY_LOCAL_MACHINE "Software\Veltra\Daruravidu Server\GatherService".
PosixPlatform::PosixKVRSubsectionStore& gatherServiceSubsectionStore();

// The text of a client setting into `buffer` (NUL-terminated). `found`: the setting exists and is not
// deleted. True only when it was found and is at most size - 2 bytes long.
bool GetClientSettingText(const char* name, char* buffer, unsigned size, bool& found);
// A client setting as a number within [min, max]. Not found: `out` = the default, false. Empty or
// blanks only: the default, true. Leading blanks are skipped; a text longer than 30 bytes or with any
// other byte than a digit gives the default, a number above max gives max, one below min gives min,
// and each of these is written back in place of the stored text (undated); the result is then whether
// that write succeeded.
bool GetClientSettingNumber(const char* name, unsigned& out, unsigned min, unsigned max,
                            unsigned defaultValue);
// GetClientSettingNumber within 0 and 1: true with the Boolean when that succeeds, else the default.
bool GetClientSettingBool(const char* name, bool& out, bool defaultValue);

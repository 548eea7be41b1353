// The in-memory form of one registry hive: a tree of keys, each holding typed values and subkeys.
//
// Key and value names compare ASCII case-insensitively and keep the spelling they were first given
// ("SOFTWARE" finds "Software"). Subkeys are kept sorted by name ignoring case, so an index names the
// same subkey as long as the set of subkeys stays the same, and deleting the subkey at index i moves
// every later one down by exactly one. Values keep the order in which they were first set.
//
// A key owns its values and subkeys; copying a key copies everything below it. Not thread-safe:
// RegistryHive hands out snapshots that nobody changes and edits a private copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace PosixPlatform {

// The registry's value types, numbered as on Windows. A value of any other number is kept as it is.
enum class RegistryType : std::uint32_t {
    None = 0,
    String = 1,  // REG_SZ: text bytes, stored without a terminating NUL by this system
    Binary = 3,  // REG_BINARY
    DWord = 4,   // REG_DWORD: 4 bytes, little-endian
};

// The stored bytes of a REG_DWORD: 4 bytes, little-endian.
std::string DWordData(std::uint32_t number);
// The number of a REG_DWORD's bytes; false unless there are exactly 4.
bool DWordFromData(std::string_view data, std::uint32_t& number);

struct RegistryValue {
    std::string name;
    RegistryType type = RegistryType::None;
    std::string data;  // the stored bytes, exactly
};

// Names longer than these, or holding a control byte (0-31, 127; a key name also "\"), are refused.
inline constexpr std::size_t kRegistryKeyNameLimit = 255;
inline constexpr std::size_t kRegistryValueNameLimit = 16383;
inline constexpr std::size_t kRegistryDepthLimit = 512;

bool IsValidRegistryKeyName(std::string_view name);
bool IsValidRegistryValueName(std::string_view name);
bool RegistryNamesEqual(std::string_view a, std::string_view b);

// A key path relative to a hive's root: its components, outermost first.
using RegistryPath = std::vector<std::string>;

// Splits "Software\Veltra\KVRRelay" at "\". One trailing "\" is ignored and the empty text is the
// root itself; false for an empty component, an invalid name or more than kRegistryDepthLimit levels.
bool ParseRegistryPath(std::string_view text, RegistryPath& path);
// The components joined with "\".
std::string RegistryPathText(const RegistryPath& path);

class RegistryKeyNode {
  public:
    explicit RegistryKeyNode(std::string name) : m_name(std::move(name)) {}
    RegistryKeyNode(const RegistryKeyNode& other);
    RegistryKeyNode(RegistryKeyNode&&) = default;
    RegistryKeyNode& operator=(const RegistryKeyNode&) = delete;

    const std::string& Name() const { return m_name; }

    const std::vector<RegistryValue>& Values() const { return m_values; }
    const RegistryValue* FindValue(std::string_view name) const;
    // Adds the value or replaces the type and data of the one of that name (which keeps its place and
    // its spelling).
    void SetValue(std::string_view name, RegistryType type, std::string_view data);
    // False when there was no such value.
    bool DeleteValue(std::string_view name);

    std::size_t SubkeyCount() const { return m_subkeys.size(); }
    const RegistryKeyNode& SubkeyAt(std::size_t index) const { return *m_subkeys[index]; }
    const RegistryKeyNode* FindSubkey(std::string_view name) const;
    RegistryKeyNode* FindSubkey(std::string_view name);
    // The subkey of that name, added when missing.
    RegistryKeyNode& EnsureSubkey(std::string_view name);
    // Removes the subkey and everything below it; false when there was none.
    bool DeleteSubkey(std::string_view name);

    // The key at `path` below this one (this key for the empty path); null when missing.
    const RegistryKeyNode* FindKey(const RegistryPath& path) const;
    RegistryKeyNode* FindKey(const RegistryPath& path);
    // The key at `path`, with every missing key on the way added.
    RegistryKeyNode& EnsureKey(const RegistryPath& path);

  private:
    std::vector<std::unique_ptr<RegistryKeyNode>>::const_iterator SubkeyPosition(std::string_view name) const;

    std::string m_name;
    std::vector<RegistryValue> m_values;
    std::vector<std::unique_ptr<RegistryKeyNode>> m_subkeys;  // sorted by name, ignoring case
};

// True when both trees hold the same keys and values, names compared exactly.
bool operator==(const RegistryKeyNode& a, const RegistryKeyNode& b);

}  // namespace PosixPlatform

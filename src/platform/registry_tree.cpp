#include "platform/registry_tree.h"

#include <algorithm>
#include <utility>

#include "base/character_classes.h"

namespace PosixPlatform {
namespace {

ConstData Bytes(std::string_view text) {
    return ConstData(text);
}

// Orders names as the registry enumerates them: byte by byte after lower-casing ASCII letters.
bool NameLess(std::string_view a, std::string_view b) {
    return Ascii::CompareIgnoringCase(Bytes(a), Bytes(b)) < 0;
}

bool HasControlByte(std::string_view name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return Ascii::Control().Contains(static_cast<unsigned char>(c)); });
}

}  // namespace

bool RegistryNamesEqual(std::string_view a, std::string_view b) {
    return Ascii::EqualIgnoringCase(Bytes(a), Bytes(b));
}

std::string DWordData(std::uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>(number >> (8 * i));
    return data;
}

bool DWordFromData(std::string_view data, std::uint32_t& number) {
    if (data.size() != 4) return false;
    number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(data[i]);
    return true;
}

bool IsValidRegistryKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kRegistryKeyNameLimit && !HasControlByte(name) &&
           name.find('\\') == std::string_view::npos;
}

// Control bytes are refused: a hive file holds one name per line.
bool IsValidRegistryValueName(std::string_view name) {
    return name.size() <= kRegistryValueNameLimit && !HasControlByte(name);
}

bool ParseRegistryPath(std::string_view text, RegistryPath& path) {
    path.clear();
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    while (!text.empty()) {
        std::size_t separator = text.find('\\');
        std::string_view name = text.substr(0, separator);
        if (!IsValidRegistryKeyName(name) || path.size() == kRegistryDepthLimit) return false;
        path.emplace_back(name);
        if (separator == std::string_view::npos) break;
        text.remove_prefix(separator + 1);
        if (text.empty()) return false;  // "a\\" after the one trailing "\" was cut: an empty component
    }
    return true;
}

std::string RegistryPathText(const RegistryPath& path) {
    std::string text;
    for (const std::string& name : path) {
        if (!text.empty()) text += '\\';
        text += name;
    }
    return text;
}

RegistryKeyNode::RegistryKeyNode(const RegistryKeyNode& other)
    : m_name(other.m_name), m_values(other.m_values) {
    m_subkeys.reserve(other.m_subkeys.size());
    for (const auto& subkey : other.m_subkeys)
        m_subkeys.push_back(std::make_unique<RegistryKeyNode>(*subkey));
}

const RegistryValue* RegistryKeyNode::FindValue(std::string_view name) const {
    for (const RegistryValue& value : m_values)
        if (RegistryNamesEqual(value.name, name)) return &value;
    return nullptr;
}

void RegistryKeyNode::SetValue(std::string_view name, RegistryType type, std::string_view data) {
    for (RegistryValue& value : m_values) {
        if (RegistryNamesEqual(value.name, name)) {
            value.type = type;
            value.data.assign(data);
            return;
        }
    }
    m_values.push_back(RegistryValue{std::string(name), type, std::string(data)});
}

bool RegistryKeyNode::DeleteValue(std::string_view name) {
    auto found = std::find_if(m_values.begin(), m_values.end(), [&](const RegistryValue& value) {
        return RegistryNamesEqual(value.name, name);
    });
    if (found == m_values.end()) return false;
    m_values.erase(found);
    return true;
}

std::vector<std::unique_ptr<RegistryKeyNode>>::const_iterator RegistryKeyNode::SubkeyPosition(
    std::string_view name) const {
    return std::lower_bound(m_subkeys.begin(), m_subkeys.end(), name,
                            [](const std::unique_ptr<RegistryKeyNode>& key, std::string_view wanted) {
                                return NameLess(key->m_name, wanted);
                            });
}

const RegistryKeyNode* RegistryKeyNode::FindSubkey(std::string_view name) const {
    auto position = SubkeyPosition(name);
    return position != m_subkeys.end() && RegistryNamesEqual((*position)->m_name, name) ? position->get()
                                                                                        : nullptr;
}

RegistryKeyNode* RegistryKeyNode::FindSubkey(std::string_view name) {
    return const_cast<RegistryKeyNode*>(std::as_const(*this).FindSubkey(name));
}

RegistryKeyNode& RegistryKeyNode::EnsureSubkey(std::string_view name) {
    auto position = SubkeyPosition(name);
    if (position != m_subkeys.end() && RegistryNamesEqual((*position)->m_name, name)) return **position;
    return **m_subkeys.insert(position, std::make_unique<RegistryKeyNode>(std::string(name)));
}

bool RegistryKeyNode::DeleteSubkey(std::string_view name) {
    auto position = SubkeyPosition(name);
    if (position == m_subkeys.end() || !RegistryNamesEqual((*position)->m_name, name)) return false;
    m_subkeys.erase(position);
    return true;
}

const RegistryKeyNode* RegistryKeyNode::FindKey(const RegistryPath& path) const {
    const RegistryKeyNode* key = this;
    for (const std::string& name : path) {
        key = key->FindSubkey(name);
        if (!key) return nullptr;
    }
    return key;
}

RegistryKeyNode* RegistryKeyNode::FindKey(const RegistryPath& path) {
    return const_cast<RegistryKeyNode*>(std::as_const(*this).FindKey(path));
}

RegistryKeyNode& RegistryKeyNode::EnsureKey(const RegistryPath& path) {
    RegistryKeyNode* key = this;
    for (const std::string& name : path) key = &key->EnsureSubkey(name);
    return *key;
}

bool operator==(const RegistryKeyNode& a, const RegistryKeyNode& b) {
    if (a.Name() != b.Name() || a.SubkeyCount() != b.SubkeyCount() || a.Values().size() != b.Values().size())
        return false;
    for (std::size_t i = 0; i < a.Values().size(); ++i) {
        const RegistryValue& x = a.Values()[i];
        const RegistryValue& y = b.Values()[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
    for (std::size_t i = 0; i < a.SubkeyCount(); ++i)
        if (!(a.SubkeyAt(i) == b.SubkeyAt(i))) return false;
    return true;
}

}  // namespace PosixPlatform

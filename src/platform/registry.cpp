#include "platform/registry.h"

namespace PosixPlatform {
namespace {

// The transaction behind every change: the key is looked up in the hive's current tree, under the
// hive's write lock.
int UpdateKeyAt(RegistryHive& hive, const RegistryPath& path, bool create, const RegistryKeyChange& change) {
    return hive.Update([&](RegistryKeyNode& root) {
        RegistryKeyNode* key = create ? &root.EnsureKey(path) : root.FindKey(path);
        return key ? change(*key) : ENOENT;
    });
}

}  // namespace

int RegistryKeyHandle::Open(RegistryRoot root, std::string_view path, RegistryAccess access,
                            RegistryKeyHandle& key) {
    RegistryKeyHandle opened;
    if (!ParseRegistryPath(path, opened.m_path)) return EINVAL;
    opened.m_hive = RegistryHive::Of(root);
    opened.m_access = access;
    std::shared_ptr<const RegistryKeyNode> snapshot;
    if (int result = opened.Snapshot(snapshot)) return result;
    key = std::move(opened);
    return 0;
}

int RegistryKeyHandle::Create(RegistryRoot root, std::string_view path, RegistryKeyHandle& key) {
    RegistryKeyHandle created;
    if (!ParseRegistryPath(path, created.m_path)) return EINVAL;
    created.m_hive = RegistryHive::Of(root);
    created.m_access = RegistryAccess::ReadWrite;
    std::shared_ptr<const RegistryKeyNode> snapshot;
    int result = created.Snapshot(snapshot);
    if (result == ENOENT) {
        result = created.m_hive->Update([&](RegistryKeyNode& root) {
            if (root.FindKey(created.m_path))
                return kRegistryNothingToWrite;  // made by someone else meanwhile
            root.EnsureKey(created.m_path);
            return 0;
        });
    }
    if (result != 0) return result;
    key = std::move(created);
    return 0;
}

int RegistryKeyHandle::Snapshot(std::shared_ptr<const RegistryKeyNode>& key) const {
    if (!m_hive) return EINVAL;
    std::shared_ptr<const RegistryKeyNode> tree;
    if (int result = m_hive->Read(tree)) return result;
    const RegistryKeyNode* node = tree->FindKey(m_path);
    if (!node) return ENOENT;
    key = std::shared_ptr<const RegistryKeyNode>(tree, node);  // shares ownership of the whole tree
    return 0;
}

int RegistryKeyHandle::QueryValue(std::string_view name, RegistryType& type, std::string& data) const {
    std::shared_ptr<const RegistryKeyNode> key;
    if (int result = Snapshot(key)) return result;
    const RegistryValue* value = key->FindValue(name);
    if (!value) return ENOENT;
    type = value->type;
    data = value->data;
    return 0;
}

int RegistryKeyHandle::EnumerateSubkey(std::uint32_t index, std::string& name) const {
    std::shared_ptr<const RegistryKeyNode> key;
    if (int result = Snapshot(key)) return result;
    if (index >= key->SubkeyCount()) return kRegistryNoMoreItems;
    name = key->SubkeyAt(index).Name();
    return 0;
}

int RegistryKeyHandle::Update(const RegistryKeyChange& change) const {
    if (!m_hive) return EINVAL;
    if (m_access != RegistryAccess::ReadWrite) return EACCES;
    return UpdateKeyAt(*m_hive, m_path, false, change);
}

int RegistryKeyHandle::SetValue(std::string_view name, RegistryType type, std::string_view data) const {
    if (!IsValidRegistryValueName(name)) return EINVAL;
    return Update([&](RegistryKeyNode& key) {
        key.SetValue(name, type, data);
        return 0;
    });
}

int RegistryKeyHandle::DeleteValue(std::string_view name) const {
    return Update([&](RegistryKeyNode& key) { return key.DeleteValue(name) ? 0 : ENOENT; });
}

int RegistryKeyHandle::DeleteSubkey(std::string_view name) const {
    if (!IsValidRegistryKeyName(name)) return EINVAL;
    return Update([&](RegistryKeyNode& key) {
        const RegistryKeyNode* subkey = key.FindSubkey(name);
        if (!subkey) return ENOENT;
        if (subkey->SubkeyCount() != 0) return ENOTEMPTY;
        key.DeleteSubkey(name);
        return 0;
    });
}

int RegistryKeyHandle::Flush() const {
    std::shared_ptr<const RegistryKeyNode> key;
    return Snapshot(key);
}

int UpdateRegistryKey(RegistryRoot root, std::string_view path, const RegistryKeyChange& change) {
    RegistryPath keyPath;
    if (!ParseRegistryPath(path, keyPath)) return EINVAL;
    return UpdateKeyAt(*RegistryHive::Of(root), keyPath, true, change);
}

}  // namespace PosixPlatform

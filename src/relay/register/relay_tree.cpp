#include "relay/register/relay_tree.h"

#include <set>

void RelayTree::TakeOutOfParent(const Node& node) {
    auto parent = m_nodes.find(node.parentID);
    if (parent == m_nodes.end()) return;
    --parent->second.children;
    if (node.isRelay) --parent->second.childRelays;
}

void RelayTree::Add(std::uint64_t id, std::uint64_t parentID, bool isRelay) {
    Node& node = m_nodes[id];
    if (node.linked) TakeOutOfParent(node);
    node.parentID = parentID;
    node.isRelay = isRelay;
    node.linked = true;

    auto parent = m_nodes.find(parentID);
    if (parent == m_nodes.end()) {
        // A parent seen only as the parent of others is taken for a relay.
        Node created;
        created.isRelay = true;
        created.children = 1;
        created.childRelays = isRelay ? 1 : 0;
        m_nodes.emplace(parentID, created);
        return;
    }
    ++parent->second.children;
    if (isRelay) ++parent->second.childRelays;
}

void RelayTree::Unlink(std::uint64_t id) {
    auto found = m_nodes.find(id);
    if (found == m_nodes.end() || !found->second.linked) return;
    TakeOutOfParent(found->second);
    found->second.linked = false;
}

std::uint32_t RelayTree::CountChildren(std::uint64_t id) const {
    auto found = m_nodes.find(id);
    return found == m_nodes.end() ? 0 : found->second.children;
}

std::uint32_t RelayTree::CountChildRelays(std::uint64_t id) const {
    auto found = m_nodes.find(id);
    return found == m_nodes.end() ? 0 : found->second.childRelays;
}

std::optional<std::uint64_t> RelayTree::FindRoute(std::uint64_t target,
                                                  const std::function<std::uint64_t()>& ownID) const {
    std::set<std::uint64_t> visited;
    for (;;) {
        auto found = m_nodes.find(target);
        if (found == m_nodes.end() || !found->second.linked) return std::nullopt;
        std::uint64_t parentID = found->second.parentID;
        if (parentID == ownID() || parentID == target) return target;
        visited.insert(target);
        // A parent chain that comes back on itself has no way down from this relay.
        if (visited.count(parentID) != 0) return std::nullopt;
        target = parentID;
    }
}

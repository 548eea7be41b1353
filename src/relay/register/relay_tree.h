// RelayTree: which computer registered through which relay, as counts per relay and a parent link
// per computer. It answers how many children and child relays a relay has, and the route by which a
// notification reaches a computer: the child of this relay that leads to it.
//
// Nodes are made on demand and never removed. A node is "linked" while it counts in its parent's
// numbers; unlinking (when its registration retires) only takes it out of those numbers. A value
// guarded by its owner (the registration list's lock).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class RelayTree {
  public:
    // Links the computer under `parentID`, taking it out of its former parent's counts first. A
    // parent not yet known gets a node of its own (an unlinked relay).
    void Add(std::uint64_t id, std::uint64_t parentID, bool isRelay);
    // Takes the computer out of its parent's counts; nothing when it has no linked node.
    void Unlink(std::uint64_t id);

    // Linked computers whose parent is `id` (0 when `id` has no node), all or relays only.
    std::uint32_t CountChildren(std::uint64_t id) const;
    std::uint32_t CountChildRelays(std::uint64_t id) const;

    // Walks up from `target` through linked nodes to the computer whose parent is `ownID()` (asked
    // again at every step) or itself, and answers it. None when a node on the way is missing or
    // unlinked, or when the walk comes back to a computer it passed.
    std::optional<std::uint64_t> FindRoute(std::uint64_t target, const std::function<std::uint64_t()>& ownID) const;

  private:
    struct Node {
        std::uint64_t parentID = 0;
        std::uint32_t childRelays = 0;
        std::uint32_t children = 0;
        bool linked = false;
        bool isRelay = false;
    };

    void TakeOutOfParent(const Node& node);

    std::map<std::uint64_t, Node> m_nodes;
};

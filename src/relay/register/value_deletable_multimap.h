// ValueDeletableMultimap: a multimap from key to value whose entries are also found, and removed, by
// value. Each value stands in it at most once. The registration list keeps its items by
// registration time and its retired items by slot in two of these, so that an item is taken out of
// either by its computer ID alone. A value; one thread at a time.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <utility>

class ValueInsertedTwiceIntoValueDeletableMultimap {};

template <class Key, class Value>
class ValueDeletableMultimap {
  public:
    // Throws ValueInsertedTwiceIntoValueDeletableMultimap, changing nothing, when the value is
    // already present.
    void Insert(const Key& key, const Value& value) {
        if (m_entryOfValue.count(value) != 0) throw ValueInsertedTwiceIntoValueDeletableMultimap();
        m_entryOfValue.emplace(value, m_entries.emplace(key, value));
    }

    // Nothing when the value is absent.
    void Remove(const Value& value) {
        auto found = m_entryOfValue.find(value);
        if (found == m_entryOfValue.end()) return;
        m_entries.erase(found->second);
        m_entryOfValue.erase(found);
    }

    bool Contains(const Value& value) const { return m_entryOfValue.count(value) != 0; }
    bool IsEmpty() const { return m_entries.empty(); }
    std::size_t Size() const { return m_entries.size(); }
    void Clear() {
        m_entries.clear();
        m_entryOfValue.clear();
    }

    // The entry with the smallest key (the first inserted among equal keys); none when empty.
    std::optional<std::pair<Key, Value>> Lowest() const {
        if (m_entries.empty()) return std::nullopt;
        return *m_entries.begin();
    }

  private:
    using Entries = std::multimap<Key, Value>;

    Entries m_entries;
    std::map<Value, typename Entries::iterator> m_entryOfValue;
};

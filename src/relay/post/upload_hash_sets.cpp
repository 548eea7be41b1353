#include "relay/post/upload_hash_sets.h"

#include <iterator>

#include "foundation/clocks.h"
#include "relay/post/post_file_options_manager.h"

HashSetMap::HashSetMap(Clock clock) : m_clock(clock ? std::move(clock) : Clock(GetMonotonicTime)) {}

// A client that starts an upload over at offset 0 gets a fresh hash; but while another request still
// feeds the old one, dropping it would let two requests write one upload at once.
std::unique_ptr<LockedHashSet> HashSetMap::Create(const std::string& key) {
    CriticalSectionGuard guard(m_lock);
    auto found = m_entries.find(key);
    if (found != m_entries.end() && found->second->inUse) throw LockedHashSetInUse();
    auto info = std::make_shared<HashSetInfo>();
    info->inUse = true;
    info->lastUse = m_clock();
    m_entries[key] = info;
    return std::make_unique<LockedHashSet>(*this, key, std::move(info));
}

std::unique_ptr<LockedHashSet> HashSetMap::Lock(const std::string& key) {
    CriticalSectionGuard guard(m_lock);
    auto found = m_entries.find(key);
    if (found == m_entries.end()) throw GUIDNotInHashMap();
    HashSetInfo& info = *found->second;
    if (info.inUse) throw LockedHashSetInUse();
    info.inUse = true;
    info.lastUse = m_clock();
    return std::make_unique<LockedHashSet>(*this, key, found->second);
}

DigestRecord HashSetMap::Finish(const std::string& key) {
    std::shared_ptr<HashSetInfo> info;
    {
        CriticalSectionGuard guard(m_lock);
        auto found = m_entries.find(key);
        if (found == m_entries.end()) throw GUIDNotInHashMap();
        info = std::move(found->second);
        m_entries.erase(found);
        RemoveStale();
    }
    return info->hashes.GetContentHash()->GetDigest();
}

std::size_t HashSetMap::Count() {
    CriticalSectionGuard guard(m_lock);
    return m_entries.size();
}

// A hold releases its own entry, never whatever the key names by then.
void HashSetMap::Release(const std::shared_ptr<HashSetInfo>& info) {
    CriticalSectionGuard guard(m_lock);
    info->inUse = false;
}

void HashSetMap::RemoveStale() {
    const std::int64_t now = m_clock();
    const std::int64_t age = GetCleanupInterval();
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        const HashSetInfo& info = *entry->second;
        entry = !info.inUse && info.lastUse + age < now ? m_entries.erase(entry) : std::next(entry);
    }
}

LockedHashSet::~LockedHashSet() {
    if (!m_finished) m_map.Release(m_info);
}

void LockedHashSet::End() {
    m_info->tee->End();
    m_digest = m_map.Finish(m_key);
    m_finished = true;
}

const DigestRecord& LockedHashSet::GetDigest() const {
    if (!m_finished) throw HashCalculationNotFinished();
    return m_digest;
}

// Upload hash sets: for every web upload in progress, the running SHA-1 of the bytes received so far,
// so that a file sent in many chunk requests is hashed once, in file order, while it arrives, and the
// last request can compare it with the hash the client claims.
//
// - HashSetMap: upload key (a GUID, or the SHA-1 text when the client gave none; bytes compared)
//   to the upload's HashSetInfo. One map belongs to the post-file plug-in; entries live in memory only,
//   so after a restart a later chunk finds none (GUIDNotInHashMap) and the upload starts over.
// - LockedHashSet: one request's hold on an entry; the upload's bytes are written into it. While it is
//   held no other request can hold the entry (LockedHashSetInUse). When it goes without End, the entry
//   is released for the next chunk; End finishes the hash and removes the entry.
//
// The calling order for one key: the first chunk Create, Begin, Receive...; each later chunk Lock,
// Receive...; the final check Lock, End, GetDigest. Every hold is let go by destroying it.
//
// Entries whose last use lies more than GetCleanupInterval (post_file_options_manager.h) back are
// erased whenever an upload finishes; an entry held at that moment stays.
//
// Thread-safety: every map operation takes the map's lock; hashing runs outside it, on the thread of
// the request that holds the entry. The map must outlive every LockedHashSet made from it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "crypto/openssl_hash.h"
#include "formats/digest_record.h"
#include "foundation/critical_section.h"

// A later chunk, or the final check, for a key the map does not hold.
class GUIDNotInHashMap : public DebuggableException, public NonDumpableException {};
// Another request holds the key's entry.
class LockedHashSetInUse : public DebuggableException, public NonDumpableException {};
// The digest was asked for before End.
class HashCalculationNotFinished : public DebuggableException, public NonDumpableException {};

// One upload's running hash: only the content digest (SHA-1) is selected.
struct HashSetInfo {
    HashSetInfo() : tee(&hashes.SelectDigests(DualHashReceiver::kContentDigest)) {}
    HashSetInfo(const HashSetInfo&) = delete;
    HashSetInfo& operator=(const HashSetInfo&) = delete;

    DualHashReceiver hashes;
    DataReceiver* tee;  // into `hashes`
    bool inUse = false;
    std::int64_t lastUse = 0;  // monotonic microseconds of the last Create or Lock
};

class LockedHashSet;

class HashSetMap {
  public:
    // Monotonic microseconds; tests step it.
    using Clock = std::function<std::int64_t()>;

    explicit HashSetMap(Clock clock = {});
    HashSetMap(const HashSetMap&) = delete;
    HashSetMap& operator=(const HashSetMap&) = delete;

    // A fresh hash for the key, held: an entry the key had is dropped. LockedHashSetInUse when another
    // request holds that entry.
    std::unique_ptr<LockedHashSet> Create(const std::string& key);
    // The key's hash, held: GUIDNotInHashMap, LockedHashSetInUse.
    std::unique_ptr<LockedHashSet> Lock(const std::string& key);
    // Takes the key's entry out of the map and answers its digest; erases stale entries.
    // GUIDNotInHashMap.
    DigestRecord Finish(const std::string& key);

    std::size_t Count();

  private:
    friend class LockedHashSet;
    void Release(const std::shared_ptr<HashSetInfo>& info);
    // Under m_lock.
    void RemoveStale();

    Clock m_clock;
    CriticalSection m_lock;
    std::map<std::string, std::shared_ptr<HashSetInfo>> m_entries;  // under m_lock
};

class LockedHashSet : public DataReceiver, public DataWriter {
  public:
    LockedHashSet(HashSetMap& map, std::string key, std::shared_ptr<HashSetInfo> info)
        : m_map(map), m_key(std::move(key)), m_info(std::move(info)) {}
    LockedHashSet(const LockedHashSet&) = delete;
    LockedHashSet& operator=(const LockedHashSet&) = delete;
    // Releases the entry unless End finished it.
    ~LockedHashSet() override;

    // Starts the hash: only for a fresh entry.
    void Begin() override { m_info->tee->Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_info->tee->Receive(begin, end); }
    using DataReceiver::Receive;
    // Finishes the hash and takes the entry out of the map (HashSetMap::Finish).
    void End() override;

    // HashCalculationNotFinished before End.
    const DigestRecord& GetDigest() const;

  private:
    HashSetMap& m_map;
    std::string m_key;
    std::shared_ptr<HashSetInfo> m_info;
    DigestRecord m_digest;
    bool m_finished = false;
};

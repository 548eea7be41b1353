// HashIndex: files that another component of the machine keeps outside the download cache, found by
// their SHA-1 or their download URL, so that the relay downloader copies them instead of fetching
// them.
//
// That component publishes two index files (HashIndexOptions names them), each an XML document in
// which every child element of the root, whatever its name, is one entry and its text is the file's
// path, taken unchanged:
//
//   <index><file sha1="<40 hexadecimal digits>">/srv/files/a.bin</file>...</index>
//   <index><file url="http://host/a.bin">/srv/files/a.bin</file>...</index>
//
// A later entry with the same key replaces an earlier one; URL keys compare as URLTextLess does. An
// index file that does not read (not XML, a "sha1" that is not 40 hexadecimal digits, an entry
// without its attribute) leaves its index empty until the file changes again; nothing is logged.
//
// Each lookup first looks at its index file: a file whose last-write time differs from the one last
// loaded is loaded again, a missing file empties the index (keeping that time, so a file re-created
// with it is not loaded). A SHA-1 entry counts only while the file it names still has that SHA-1.
//
// When a SHA-1 is not found, the indexer can be asked to write its index again: it watches for the
// trigger file, and deletes it once the index is rewritten. RegenerateAndFindBySha1 creates that file
// and waits for it to go, pausing 1, 2, 4 ... seconds while the next pause stays within the wait time
// (with the default 32 seconds, 63 seconds at most), and ends its wait at once when the stop event is
// set.
//
// The index paths are read once, at construction; the flags, the trigger path and the wait time at
// each call. Thread-safe: each index is loaded and looked up under a lock of its own, which is never
// held while a file is hashed or while the trigger is awaited. The options and the stop event are not
// owned and must outlive the index.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string_view>

#include "base/byte_string.h"
#include "base/file_location.h"
#include "base/time_value.h"
#include "formats/digest_record.h"
#include "foundation/event.h"
#include "foundation/locked_object.h"
#include "relay/service/hash_index_options.h"

class HashIndex {
  public:
    static constexpr std::int64_t kFirstTriggerPause = 1'000'000;

    HashIndex(const HashIndexOptions& options, Event& stopEvent);
    HashIndex(const HashIndex&) = delete;
    HashIndex& operator=(const HashIndex&) = delete;

    // The file the SHA-1 index gives for the digest, when it still has that digest; none when the
    // SHA-1 index is off, or has no such entry. Never fails.
    std::optional<FileLocation> FindBySha1(const DigestRecord& sha1);
    // When the SHA-1 index is on: RequestRegeneration, then FindBySha1. None when it is off.
    std::optional<FileLocation> RegenerateAndFindBySha1(const DigestRecord& sha1);
    // The file the URL index gives for the URL, unchecked; none when the URL index is off or has no
    // such entry. Never fails.
    std::optional<FileLocation> FindByUrl(std::string_view url);

    // Creates the trigger file (whatever stood at its place removed first) and waits while it exists.
    // Does nothing without a trigger path; a trigger that cannot be made is not waited for.
    void RequestRegeneration();

  private:
    struct URLLess {
        bool operator()(const ByteString& a, const ByteString& b) const;
    };
    struct DigestLess {
        bool operator()(const DigestRecord& a, const DigestRecord& b) const;
    };
    template <class Map>
    struct LoadedIndex {
        Map entries;
        // The last-write time of the index file when it was last loaded.
        TimeValue stamp = std::numeric_limits<std::int64_t>::min();
    };
    using Sha1Map = std::map<DigestRecord, FileLocation, DigestLess>;
    using URLMap = std::map<ByteString, FileLocation, URLLess>;

    std::optional<FileLocation> LookUpSha1(const DigestRecord& sha1);

    const HashIndexOptions& m_options;
    Event& m_stopEvent;
    const FileLocation m_sha1IndexPath;
    const FileLocation m_urlIndexPath;
    Guarded<LoadedIndex<Sha1Map>> m_sha1Index;
    Guarded<LoadedIndex<URLMap>> m_urlIndex;
};

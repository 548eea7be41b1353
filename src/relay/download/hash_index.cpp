#include "relay/download/hash_index.h"

#include <exception>
#include <string>

#include "crypto/openssl_hash.h"
#include "formats/sax_xml_tree.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/whole_file.h"
#include "net/url_text.h"
#include "relay/service/download_request_target.h"

namespace {

// An index file that does not read: the whole index is dropped, not the one entry.
class UnreadableIndexEntry : public DebuggableException {};

// Each child element of the root, its key attribute read by `readKey`, its text as the path.
template <class Map, class ReadKey>
Map ReadIndexFile(const FileLocation& file, const char* keyAttribute, ReadKey readKey) {
    const std::vector<Byte> document = ReadWholeFile(file);
    const std::unique_ptr<XMLTreeNode> root = ParseXMLDocument(ConstData(document.data(), document.size()));
    Map entries;
    for (const XMLTreeNode& entry : root->children)
        entries.insert_or_assign(readKey(entry.GetAttribute(keyAttribute)), FileLocation(ConstData(entry.text)));
    return entries;
}

// Loads the index again when its file's last-write time moved; empties it when the file is gone.
template <class Index, class Load>
void Refresh(Index& index, const FileLocation& file, Load load) {
    FileItem item;
    bool exists = false;
    try {
        exists = !file.IsEmpty() && item.Lookup(file);
    } catch (const std::exception&) {
    }
    if (!exists) {
        index.entries.clear();
        return;
    }
    if (item.GetLastWriteTime() == index.stamp) return;
    index.stamp = item.GetLastWriteTime();
    index.entries.clear();
    try {
        index.entries = load(file);
    } catch (const std::exception&) {
        index.entries.clear();
    }
}

bool Exists(const FileLocation& location) {
    try {
        return FileAttributes(location).Exists();
    } catch (const std::exception&) {
        return false;
    }
}

bool FileHasSha1(const FileLocation& file, const DigestRecord& sha1) {
    try {
        return DigestRecordsEqual(HashFile(file, ContentHashDigest()), sha1);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool HashIndex::URLLess::operator()(const ByteString& a, const ByteString& b) const { return URLTextLess(a, b); }

bool HashIndex::DigestLess::operator()(const DigestRecord& a, const DigestRecord& b) const {
    return ConstDataLess(a.Bytes(), b.Bytes());
}

HashIndex::HashIndex(const HashIndexOptions& options, Event& stopEvent)
    : m_options(options),
      m_stopEvent(stopEvent),
      m_sha1IndexPath(options.GetSha1IndexPath()),
      m_urlIndexPath(options.GetUrlIndexPath()) {}

std::optional<FileLocation> HashIndex::FindBySha1(const DigestRecord& sha1) {
    if (!m_options.HasSha1Index()) return std::nullopt;
    return LookUpSha1(sha1);
}

std::optional<FileLocation> HashIndex::RegenerateAndFindBySha1(const DigestRecord& sha1) {
    if (!m_options.HasSha1Index()) return std::nullopt;
    RequestRegeneration();
    return LookUpSha1(sha1);
}

// The file is hashed outside the lock: a large file must not hold up other lookups.
std::optional<FileLocation> HashIndex::LookUpSha1(const DigestRecord& sha1) {
    std::optional<FileLocation> found;
    {
        auto index = LockObject(m_sha1Index);
        Refresh(*index, m_sha1IndexPath, [](const FileLocation& file) {
            return ReadIndexFile<Sha1Map>(file, "sha1", [](const std::string& text) {
                std::optional<DigestRecord> digest = Sha1FromHexText(text);
                if (!digest) throw UnreadableIndexEntry();
                return *digest;
            });
        });
        const auto entry = index->entries.find(sha1);
        if (entry == index->entries.end()) return std::nullopt;
        found = entry->second;
    }
    if (!FileHasSha1(*found, sha1)) return std::nullopt;
    return found;
}

std::optional<FileLocation> HashIndex::FindByUrl(std::string_view url) {
    if (!m_options.HasUrlIndex()) return std::nullopt;
    auto index = LockObject(m_urlIndex);
    Refresh(*index, m_urlIndexPath, [](const FileLocation& file) {
        return ReadIndexFile<URLMap>(file, "url",
                                     [](const std::string& text) { return ByteString(ConstData(text)); });
    });
    const auto entry = index->entries.find(ByteString(ConstData(url)));
    if (entry == index->entries.end()) return std::nullopt;
    return entry->second;
}

// The pauses double from one second; the indexer deletes the trigger once its index is written.
void HashIndex::RequestRegeneration() {
    const FileLocation trigger = m_options.GetIndexerTriggerPath();
    if (trigger.IsEmpty()) return;
    try {
        RemoveFileOrEmptyDirectory(trigger);
        CreateEmptyFile(trigger);
    } catch (const std::exception&) {
        return;
    }
    const std::int64_t waitLimit = static_cast<std::int64_t>(m_options.GetIndexerWaitTime()) * kMicrosecondsPerSecond;
    for (std::int64_t pause = kFirstTriggerPause; pause <= waitLimit; pause *= 2) {
        if (m_stopEvent.Wait(pause)) return;
        if (!Exists(trigger)) return;
    }
}

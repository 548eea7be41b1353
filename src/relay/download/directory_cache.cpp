#include "relay/download/directory_cache.h"

#include <algorithm>
#include <utility>

#include "foundation/clocks.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "platform/file_system.h"

DirectoryCache::DirectoryCache(FileLocation folder) : m_folder(std::move(folder)) {
    CreateDirectoryChecked(m_folder);
}

FileName DirectoryCache::NameForSHA1(const DigestRecord& sha1) {
    return FileName(sha1.ToHex().c_str());
}

void DirectoryCache::MoveIn(const FileLocation& source, const FileName& name) const {
    ReplacePath(source, EntryLocation(name));
}

bool DirectoryCache::Contains(const FileName& name) const {
    return FileAttributes(EntryLocation(name)).Exists();
}

// A hit is what the server meets on every cached download it serves: the touch alone tells it, in
// one system call; only a touch that fails asks whether the entry is there.
std::optional<FileLocation> DirectoryCache::Find(const FileName& name) const {
    FileLocation entry = EntryLocation(name);
    if (PosixPlatform::SetLastWriteTime(entry, GetCurrentUTCTime()) == 0) return entry;
    if (!FileAttributes(entry).Exists()) return std::nullopt;
    LogTouchFailure(entry);
    return entry;
}

void DirectoryCache::Touch(const FileLocation& entry) {
    if (PosixPlatform::SetLastWriteTime(entry, GetCurrentUTCTime()) != 0) LogTouchFailure(entry);
}

void DirectoryCache::LogTouchFailure(const FileLocation& entry) {
    KVR_LOG("debug") << "DirectoryCache: Unable to set modification time for file: " << entry.GetPathString();
}

namespace {

struct PurgeRecord {
    FileLocation location;
    std::uint64_t size;
    std::int64_t age;  // microseconds since the file was last touched
};

}  // namespace

void PurgeOldestFiles(const std::vector<FileLocation>& folders, std::uint64_t byteLimit,
                      std::int64_t minimumAge) {
    const std::int64_t now = GetCurrentUTCTime();
    std::vector<PurgeRecord> records;
    std::uint64_t total = 0;
    for (const FileLocation& folder : folders) {
        for (DirectoryScan scan(folder); scan.IsValid(); scan.Next()) {
            const DirectoryEntry& entry = scan.Current();
            if (entry.IsDirectory()) continue;
            total += entry.GetSize();
            records.push_back({entry.GetLocation(), entry.GetSize(), now - entry.GetLastWriteTime()});
        }
    }
    std::sort(records.begin(), records.end(),
              [](const PurgeRecord& a, const PurgeRecord& b) { return a.age > b.age; });
    for (const PurgeRecord& record : records) {
        if (total <= byteLimit || record.age < minimumAge) break;
        // A file being served or written may refuse to go; it stays counted and younger files go
        // instead.
        try {
            RemovePath(record.location);
            total -= record.size;
        } catch (const std::exception&) {
        }
    }
}

void PurgeDirectoryCaches(const FileLocation& sha1Folder, const FileLocation& activeDownloadsFolder,
                          std::uint64_t byteLimit, std::int64_t minimumAge) {
    PurgeOldestFiles({sha1Folder, activeDownloadsFolder}, byteLimit, minimumAge);
}

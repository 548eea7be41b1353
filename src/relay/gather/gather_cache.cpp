#include "relay/gather/gather_cache.h"

#include "crypto/openssl_hash.h"
#include "foundation/data_stages.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"

namespace {

constexpr const char* kCacheNameSuffix = ".sha1";

}  // namespace

std::string GatherCacheFileName(const DigestRecord& sha1) {
    return sha1.ToHex() + kCacheNameSuffix;
}

FileLocation GatherCacheFile(const FileLocation& cacheFolder, const DigestRecord& sha1) {
    return cacheFolder.MakeChild(GatherCacheFileName(sha1).c_str());
}

// The content goes to a temporary file of the cache folder and through a digest at once; the file
// is renamed to its name only when the digest is the expected one. MovePath never replaces, so a
// file that another thread has put there meanwhile stays and ours is dropped.
bool WriteVerifiedCacheFile(const FileLocation& cacheFolder, const DigestRecord& expected,
                            const std::function<void(DataReceiver&)>& produce) {
    const FileLocation target = GatherCacheFile(cacheFolder, expected);
    if (FileAttributes(target).Exists()) return true;
    TemporaryFile file(cacheFolder);
    FileDataSink sink(file.GetPath(), 0);
    OpenSSLHash digest;
    digest.Start(ContentHashDigest());
    DataTee2 tee;
    produce(tee.SetTargets(sink, digest));
    if (!DigestRecordsEqual(digest.GetDigest(), expected)) return false;
    try {
        file.MoveTo(target);
    } catch (const FileFoundError&) {
    }
    return true;
}

void CopyFilesIntoGatherCache(const FileLocation& cacheFolder, const FileLocation& sourceFolder) {
    for (DirectoryScan scan(sourceFolder); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory() || entry.GetFileName().GetConstData().View().starts_with("__")) continue;
        const DigestRecord sha1 = HashFile(entry.GetLocation(), ContentHashDigest());
        WriteVerifiedCacheFile(cacheFolder, sha1, [&entry](DataReceiver& receiver) {
            FeedFileToReceiver(entry.GetLocation(), receiver);
        });
    }
}

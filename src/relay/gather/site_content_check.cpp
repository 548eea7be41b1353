#include "relay/gather/site_content_check.h"

#include "crypto/openssl_hash.h"
#include "foundation/file_item.h"
#include "relay/gather/gather_cache.h"

namespace {

bool HoldsContent(const FileLocation& file, const FileListEntry& entry) {
    const FileAttributes attributes(file);
    if (!attributes.Exists() || attributes.IsDirectory()) return false;
    return DigestRecordsEqual(HashFile(file, ContentHashDigest()), entry.sha1);
}

}  // namespace

bool SiteDirectoryPassesCheck(const FileLocation& siteDirectory, const STDFileList& list) {
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const FileListEntry& entry = list.At(i);
        if (!HoldsContent(siteDirectory.MakeChild(entry.name.c_str()), entry)) return false;
    }
    return true;
}

bool GatherCachePassesCheck(const FileLocation& cacheFolder, const STDFileList& list) {
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const FileListEntry& entry = list.At(i);
        if (entry.sha1.IsEmpty() || !HoldsContent(GatherCacheFile(cacheFolder, entry.sha1), entry)) return false;
    }
    return true;
}

#include "relay/gather/gather_cache.h"

#include <set>

#include "base/character_classes.h"
#include "crypto/openssl_hash.h"
#include "formats/file_list.h"
#include "formats/file_list_reader.h"
#include "foundation/data_stages.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "relay/gather/mirror_file_names.h"

namespace {

constexpr std::size_t kSHA1TextLength = 40;
constexpr std::string_view kManyDirListsFolderStart = "manydirlists";

bool StartsWithIgnoringCase(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() && Ascii::EqualIgnoringCase(name.substr(0, prefix.size()), prefix);
}

// The cache names of the "FILE" entries of the list.
void AddReferences(const FileLocation& listFile, std::set<std::string>& referenced) {
    STDFileList list(true);
    ReadFileList(listFile, 0, list);
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const std::string name = list.At(i).CacheName();
        if (!name.empty()) referenced.insert(name);
    }
}

// Every list a served version still has: a many-version site's lists, a site directory's own list.
std::set<std::string> ReferencedCacheNames(const FileLocation& mirrorSitesFolder) {
    std::set<std::string> referenced;
    for (DirectoryScan sites(mirrorSitesFolder); sites.IsValid(); sites.Next()) {
        const DirectoryEntry& site = sites.Current();
        if (!site.IsDirectory()) continue;
        if (StartsWithIgnoringCase(site.GetFileName().ToString(), kManyDirListsFolderStart)) {
            const std::string pattern = std::string(kManyDirListPrefix) + "*";
            for (DirectoryScan lists(site.GetLocation(), pattern.c_str()); lists.IsValid(); lists.Next())
                if (!lists.Current().IsDirectory()) AddReferences(lists.Current().GetLocation(), referenced);
        }
        for (DirectoryScan lists(site.GetLocation(), kSingleDirListName); lists.IsValid(); lists.Next())
            if (!lists.Current().IsDirectory()) AddReferences(lists.Current().GetLocation(), referenced);
    }
    return referenced;
}

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

bool IsGatherCacheFileName(std::string_view name) {
    const std::string_view suffix = kCacheNameSuffix;
    if (name.size() != kSHA1TextLength + suffix.size() || !name.ends_with(suffix)) return false;
    for (const char c : name.substr(0, kSHA1TextLength))
        if (!Ascii::Digits().Contains(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
    return true;
}

void DeleteUnreferencedCacheFiles(const FileLocation& mirrorSitesFolder, const FileLocation& cacheFolder) {
    const std::set<std::string> referenced = ReferencedCacheNames(mirrorSitesFolder);
    for (DirectoryScan files(cacheFolder); files.IsValid(); files.Next()) {
        const std::string name = files.Current().GetFileName().ToString();
        if (files.Current().IsDirectory() || !IsGatherCacheFileName(name) || referenced.contains(name)) continue;
        RemoveFile(files.Current().GetLocation());
    }
}

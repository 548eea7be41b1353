// The gather cache: the folder (GatherOptionsManager::GetGatherCacheFolder, the mirror sites
// folder's "gathercache") where the content of many-version sites is kept once per content, each
// file named by the SHA-1 of its bytes: 40 lower-case hexadecimal digits and ".sha1".
//
// The cache holds verified content only. A file enters it through WriteVerifiedCacheFile or
// CopyFilesIntoGatherCache, both of which write a temporary file in the cache folder and rename it to
// its name only once its bytes are complete and their SHA-1 is the one the name says; a name present
// is never written again. So neither a crash nor a bad source ever leaves a file under a name it does
// not deserve. Files leave it only through DeleteUnreferencedCacheFiles, which the cleanup of
// many_version_cleanup.h runs.
//
// Functions, not locked: the cache is shared by the gather threads of all many-version sites, and a
// file appears under its name whole, by one rename; two threads writing the same content write the
// same bytes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "formats/digest_record.h"

// "<sha1 in lower-case hex>.sha1".
std::string GatherCacheFileName(const DigestRecord& sha1);
FileLocation GatherCacheFile(const FileLocation& cacheFolder, const DigestRecord& sha1);

// Puts the content that `produce` writes (Begin, the bytes, End, into the receiver it is given) into
// the cache under the name of `expected`: true when the file is there afterwards, false when the
// content's SHA-1 was another (nothing is left behind). A file already under that name is kept and
// `produce` is not called. The errors of `produce` and of the file system pass on, leaving nothing.
bool WriteVerifiedCacheFile(const FileLocation& cacheFolder, const DigestRecord& expected,
                            const std::function<void(DataReceiver&)>& produce);

// Copies every plain file of the source folder whose name does not begin with "__" into the cache
// under the name of its SHA-1, unless that name is there already. The source files stay.
void CopyFilesIntoGatherCache(const FileLocation& cacheFolder, const FileLocation& sourceFolder);

// Whether the name is a cache file's: 40 lower-case hexadecimal digits and ".sha1".
bool IsGatherCacheFileName(std::string_view name);

// Deletes every cache file that no list still served names: the "FILE" entries of the "__mdirlist_"
// lists of every "manydirlists" folder and of the "__sdirlist" of every site directory of the mirror
// sites folder ("NONCLIENTFILE" entries do not count). Names that are no cache file's (the temporary
// file of a write under way) are left. A list that does not read ends it with that error before
// anything is deleted; a file that cannot be deleted ends it with its file error.
void DeleteUnreferencedCacheFiles(const FileLocation& mirrorSitesFolder, const FileLocation& cacheFolder);

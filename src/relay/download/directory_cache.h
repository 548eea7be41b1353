// DirectoryCache: one folder of the download cache (the sha1 folder, whose files are named by their
// SHA-1, the "ActionURLs" folder of the actions' download lists, the active-downloads folder where
// downloads grow), and the purge that keeps the cache within its size.
//
// Entries are the plain files directly inside the folder, keyed by name. Nothing is kept in memory:
// every operation asks the file system, so any number of DirectoryCache values over one folder, on any
// threads, see the same entries. Use is recorded in an entry's last-write time: looking an entry up
// with Find touches it, and the purge deletes the entries untouched for the longest time.
//
// A short-lived value: it owns nothing but the folder's location.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/file_location.h"
#include "base/file_name.h"
#include "formats/digest_record.h"

class DirectoryCache {
  public:
    // Creates the folder when nothing is there (its parent must exist); EmptyFileLocationError for an
    // unset location, the file errors of a folder that cannot be made.
    explicit DirectoryCache(FileLocation folder);

    // The entry name of a file by SHA-1: the digest's 40 lower-case hexadecimal digits.
    static FileName NameForSHA1(const DigestRecord& sha1);

    const FileLocation& GetFolder() const { return m_folder; }
    FileLocation EntryLocation(const FileName& name) const { return FileLocation(m_folder, name); }

    // Moves the file in under the name, replacing an entry of that name in one atomic step
    // (ReplacePath: readers see the old file or the new one).
    void MoveIn(const FileLocation& source, const FileName& name) const;
    // True when something exists under the name.
    bool Contains(const FileName& name) const;
    // The entry's location, touched; none when nothing exists under the name.
    std::optional<FileLocation> Find(const FileName& name) const;
    // Sets the entry's last-write time to now. Never fails: a failure is logged at "debug" as
    // "DirectoryCache: Unable to set modification time for file: <path>".
    static void Touch(const FileLocation& entry);

  private:
    static void LogTouchFailure(const FileLocation& entry);

    FileLocation m_folder;
};

// Deletes the files of the folders, taken together as one cache, the least recently touched first,
// until their total size is at most `byteLimit`, but never a file touched less than `minimumAge`
// microseconds ago (the time of the relay's clock, read once). Files directly inside each folder count;
// subfolders are neither counted nor deleted. A file that cannot be deleted keeps its size in the total
// and the purge goes on with the next. Missing folders count as empty.
void PurgeOldestFiles(const std::vector<FileLocation>& folders, std::uint64_t byteLimit,
                      std::int64_t minimumAge);
// The download cache's purge: the sha1 folder and the active-downloads folder as one cache.
void PurgeDirectoryCaches(const FileLocation& sha1Folder, const FileLocation& activeDownloadsFolder,
                          std::uint64_t byteLimit, std::int64_t minimumAge);

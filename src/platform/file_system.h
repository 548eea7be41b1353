// The file-system calls behind the file operations (file_operations.h, temporary_files.h,
// file_item.h): each is one Linux call or a short fixed sequence, and reports failure by returning
// the errno value (0 on success), as the operations decide what each failure means.
//
// Every function is safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_location.h"
#include "base/time_value.h"

struct stat;

namespace PosixPlatform {

// Attribute bits of a path, as the callers test them.
constexpr std::uint32_t kFileAttributeReadOnly = 0x01;       // no write permission for the owner
constexpr std::uint32_t kFileAttributeDirectory = 0x10;      // a directory, or a link to one
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;  // a symbolic link
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// What a look-up tells of a path. A symbolic link is described by what it points at (type, size,
// times) and marked as a reparse point; a dangling link is a reparse point of size 0.
struct PathStatus {
    std::uint32_t attributes = kInvalidFileAttributes;
    std::uint64_t size = 0;
    TimeValue lastWriteTime;
    unsigned mode = 0;  // permission bits

    bool Exists() const { return attributes != kInvalidFileAttributes; }
    bool Is(std::uint32_t attribute) const { return Exists() && (attributes & attribute) != 0; }
};

// Looks `path` up; ENOENT (and the status left invalid) when nothing is there.
int LookUpPath(const char* path, PathStatus& status);
// What a look-up that did not follow a link found (fstat of an open file).
PathStatus StatusOfLookUp(const struct ::stat& found);
// The same for the entry `name` of the open directory `directoryDescriptor`.
int LookUpEntry(int directoryDescriptor, const char* name, PathStatus& status);
// What the open descriptor refers to (never a link).
int LookUpDescriptor(int descriptor, PathStatus& status);

// Renames, replacing an existing target atomically.
int RenameReplacing(const FileLocation& from, const FileLocation& to);
// Renames without ever replacing: EEXIST when the target exists, decided atomically
// (renameat2(RENAME_NOREPLACE), or link and unlink where the file system refuses that flag).
int RenameNoReplace(const FileLocation& from, const FileLocation& to);
// What RenameNoReplace does where the file system refuses RENAME_NOREPLACE: it takes the target name
// first (a hard link to a file, an empty directory for a directory), then gives up the old name.
// Callable on any file system, so that it can be tested.
int RenameNoReplaceByTakingTheName(const FileLocation& from, const FileLocation& to);
int RemoveFileEntry(const FileLocation& location);
int RemoveDirectoryEntry(const FileLocation& location);
// Creates a directory, mode 0777 less the umask.
int MakeDirectory(const FileLocation& location);
// Gives a path these permission bits.
int SetPathMode(const FileLocation& location, unsigned mode);
// Sets the last-write time, keeping the access time.
int SetLastWriteTime(const FileLocation& location, TimeValue time);
// Flushes a file's data, or a directory's entries, to the disk.
int SyncPath(const FileLocation& location);

// Creates a new empty file "<folder>/<prefix>XXXXXX.tmp" (mode 0600) under a unique name, returned in
// `created`.
int MakeUniqueFile(const FileLocation& folder, const char* prefix, FileLocation& created);
// Creates a new directory "<folder>/<prefix>XXXXXX" (mode 0700) under a unique name.
int MakeUniqueDirectory(const FileLocation& folder, const char* prefix, FileLocation& created);

// Writes all of `data` at the descriptor's position, resuming after interruptions: 0, or the errno of
// the failed write (EIO for a write that took nothing).
int WriteAll(int descriptor, std::string_view data);
// Reads the first `size` bytes of the file into `data`, fewer when the file ends first (it shrank while
// being read): 0, or the errno of the failed read.
int ReadAll(int descriptor, std::size_t size, std::string& data);

// $TMPDIR when set and absolute, else "/tmp".
std::string SystemTemporaryDirectory();

}  // namespace PosixPlatform

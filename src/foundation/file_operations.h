// The file-system verbs on FileLocations: move, copy, replace, remove, create directories.
//
// Every failure is a FileIOError kind (file_errors.h); an operation that fails part-way leaves what it
// has done (a failed RemoveDirectoryContents leaves the entries it could not remove). Nothing here
// locks; the operations are safe to call from any thread, and what they promise against other
// processes is said per operation.
//
// A file never appears half-written under its final name: copies are written to a temporary file
// beside the target ("veltra...tmp"), flushed to the disk and renamed into place, and a replace is
// one atomic rename, so readers see the old file or the complete new one, even after a crash.
#pragma once

#include "base/file_location.h"

// Moves a file or directory to a new name; never replaces. FileMoveError (no paths) when either
// location is unset; FileNotFoundError when `from` does not exist; FileFoundError when `to` exists,
// decided atomically. A file moved to another file system is copied and then removed.
void MovePath(const FileLocation& from, const FileLocation& to);

// Copies a file to a new name (mode and last-write time kept); never replaces. FileCopyError (no
// paths) when either is unset; FileNotFoundError when `from` does not exist; FileFoundError when `to`
// exists; FileCopyError for any other failure (a directory as source, for one).
void CopyNewFile(const FileLocation& from, const FileLocation& to);

// Copies a file over `to`, replacing what is there (a read-only target too). FileCopyError (no paths)
// when either is unset, FileCopyError (from, to, errno) for any failure.
void CopyPath(const FileLocation& from, const FileLocation& to);

// Puts the file `from` in the place of `to` with one atomic rename, after flushing `from` to the disk;
// the folder's entry is flushed afterwards. EmptyFileLocationError when either is unset;
// FileNotFoundError when `from` does not exist; DirectoryFoundError (from, to) when `to` is a
// directory; FileMoveError when the rename fails. Across file systems the file is copied beside the
// target first, so the replace stays atomic.
void ReplacePath(const FileLocation& from, const FileLocation& to);

// Deletes a file (or a symbolic link, never what it points at). FileNotFoundError when unset, missing
// or a directory; other failures as ThrowFileIOErrorForCode maps them.
void RemoveFile(const FileLocation& location);
// Deletes an empty directory. DirectoryNotFoundError when unset, missing or not a directory;
// FileIOError (location, errno) when it cannot be removed (it is not empty, for one).
void RemoveEmptyDirectory(const FileLocation& location);
// Deletes a file or an empty directory; nothing when the location does not exist.
void RemoveFileOrEmptyDirectory(const FileLocation& location);
// The same, refusing an unset location with EmptyFileLocationError.
void RemovePath(const FileLocation& location);
// Deletes everything inside a directory, depth first, and keeps the directory.
// DirectoryNotFoundError when `directory` is not an existing directory. Symbolic links inside are
// deleted as links: nothing outside the tree is ever touched. Entries whose names are not valid
// FileNames are left (and the scan logs them), so removing their folder then fails.
void RemoveDirectoryContents(const FileLocation& directory);
// RemoveDirectoryContents, then the directory itself. A symbolic link at `directory` is deleted as a
// link, leaving what it points at.
void RemoveDirectoryTree(const FileLocation& directory);

// Creates a directory unless one is there. DirectoryNotFoundError (location, 0) when unset or when a
// file is in the way; creation failures as ThrowFileIOErrorForCode maps them.
void CreateDirectoryIfMissing(const FileLocation& location);
// The same, refusing an unset location with EmptyFileLocationError.
void CreateDirectoryChecked(const FileLocation& location);
// Creates a directory and every missing folder above it. FileFoundError when a file is in the way.
void CreateDirectoryTree(const FileLocation& location);
// Gives a file or directory (what a symbolic link points at) these permission bits. Failures as
// ThrowFileIOErrorForCode maps them.
void SetPathPermissions(const FileLocation& location, unsigned mode);
// What a copy of a directory tree does with a file already in its place.
enum class ExistingFiles { Refuse, Replace };
// Copies a directory with everything in it into `to` (created as needed). EmptyFileLocationError when
// either is unset; DirectoryNotFoundError when `from` is not an existing directory. Subdirectories
// are copied recursively, links to directories skipped, files copied with CopyNewFile (so an existing
// file under `to` is FileFoundError), or with `Replace` with CopyPath over what is there.
void CopyDirectoryTree(const FileLocation& from, const FileLocation& to, ExistingFiles existing = ExistingFiles::Refuse);

// Creates a new empty file. FileExists when something is there already; FileCreateFailed (location,
// errno) for other failures.
void CreateEmptyFile(const FileLocation& location);

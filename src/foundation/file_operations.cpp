#include "foundation/file_operations.h"

#include <cerrno>

#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/temporary_files.h"
#include "platform/file_paths.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace {

// Copies `from` into a temporary file beside `to`, flushes it and renames it into place, replacing an
// existing `to` or (FileFoundError) not. The temporary file is removed on every failure.
void CopyIntoPlace(const FileLocation& from, const FileLocation& to, bool replace) {
    PosixPlatform::FileReadingPath source(from);
    PosixPlatform::PathStatus status;
    ThrowFileIOErrorForCode(from, PosixPlatform::LookUpPath(from.CString(), status));
    FileLocation folder = GetContainingFolder(to);
    if (!FileAttributes(folder).IsDirectory()) throw DirectoryNotFoundError(to.GetConstData(), ENOENT);
    TemporaryFile copy(folder);
    source.CopyContentTo(copy.GetPath());
    copy.GetPath().SetMode(status.mode);
    copy.GetPath().Flush();
    ThrowFileIOErrorForCode(copy.GetLocation(),
                            PosixPlatform::SetLastWriteTime(copy.GetLocation(), status.lastWriteTime));
    if (replace) {
        copy.ReplaceTo(to);
    } else {
        copy.MoveTo(to);
    }
}

// Runs `work`, turning every failure but an existing target into an `Error` (from, to, errno).
template <class Error, class Work>
void FailingAs(const FileLocation& from, const FileLocation& to, Work work) {
    try {
        work();
    } catch (const FileFoundError&) {
        throw;
    } catch (const FileIOError& error) {
        throw Error(from.GetConstData(), to.GetConstData(), error.Code());
    } catch (const Posix::Error& error) {
        throw Error(from.GetConstData(), to.GetConstData(), error.Code());
    }
}

void RequireBoth(const FileLocation& from, const FileLocation& to) {
    if (from.IsEmpty() || to.IsEmpty()) throw EmptyFileLocationError();
}

}  // namespace

void MovePath(const FileLocation& from, const FileLocation& to) {
    if (from.IsEmpty() || to.IsEmpty()) throw FileMoveError();
    PosixPlatform::PathStatus source;
    if (int code = PosixPlatform::LookUpPath(from.CString(), source)) {
        throw FileNotFoundError(from.GetConstData(), code);
    }
    if (FileAttributes(to).Exists()) throw FileFoundError(to.GetConstData(), 0);
    int code = PosixPlatform::RenameNoReplace(from, to);
    if (code == 0) return;
    if (code == EEXIST) throw FileFoundError(to.GetConstData(), 0);
    if (code == EXDEV && !source.Is(PosixPlatform::kFileAttributeDirectory)) {
        FailingAs<FileMoveError>(from, to, [&] { CopyIntoPlace(from, to, false); });
        RemoveFile(from);
        return;
    }
    throw FileMoveError(from.GetConstData(), to.GetConstData(), code);
}

void CopyNewFile(const FileLocation& from, const FileLocation& to) {
    if (from.IsEmpty() || to.IsEmpty()) throw FileCopyError();
    if (!FileAttributes(from).Exists()) throw FileNotFoundError(from.GetConstData(), ENOENT);
    if (FileAttributes(to).Exists()) throw FileFoundError(to.GetConstData(), EEXIST);
    FailingAs<FileCopyError>(from, to, [&] { CopyIntoPlace(from, to, false); });
}

void CopyPath(const FileLocation& from, const FileLocation& to) {
    if (from.IsEmpty() || to.IsEmpty()) throw FileCopyError();
    FailingAs<FileCopyError>(from, to, [&] { CopyIntoPlace(from, to, true); });
}

// The data of `from` reaches the disk before the rename, and the folder's entry after it: whatever
// happens, `to` names the old file or the complete new one.
void ReplacePath(const FileLocation& from, const FileLocation& to) {
    RequireBoth(from, to);
    FileAttributes source(from);
    if (!source.Exists()) throw FileNotFoundError(from.GetConstData(), 0);
    if (FileAttributes(to).IsDirectory())
        throw DirectoryFoundError(from.GetConstData(), to.GetConstData(), 0);
    if (!source.IsDirectory()) ThrowFileIOErrorForCode(from, PosixPlatform::SyncPath(from));
    int code = PosixPlatform::RenameReplacing(from, to);
    if (code == EXDEV) {
        FailingAs<FileMoveError>(from, to, [&] { CopyIntoPlace(from, to, true); });
        RemoveFile(from);
        return;
    }
    if (code != 0) throw FileMoveError(from.GetConstData(), to.GetConstData(), code);
    // The rename has happened; a folder that cannot be flushed (some file systems refuse) changes
    // nothing the caller could act on.
    PosixPlatform::SyncPath(GetContainingFolder(to));
}

void RemoveFile(const FileLocation& location) {
    if (location.IsEmpty()) throw FileNotFoundError();
    PosixPlatform::PathStatus status;
    if (int code = PosixPlatform::LookUpPath(location.CString(), status)) {
        throw FileNotFoundError(location.GetConstData(), code);
    }
    if (status.Is(PosixPlatform::kFileAttributeDirectory) &&
        !status.Is(PosixPlatform::kFileAttributeReparsePoint)) {
        throw FileNotFoundError(location.GetConstData(), 0);
    }
    ThrowFileIOErrorForCode(location, PosixPlatform::RemoveFileEntry(location));
}

void RemoveEmptyDirectory(const FileLocation& location) {
    if (!FileAttributes(location).IsRealDirectory()) throw DirectoryNotFoundError(location.GetConstData(), 0);
    if (int code = PosixPlatform::RemoveDirectoryEntry(location))
        throw FileIOError(location.GetConstData(), code);
}

void RemoveFileOrEmptyDirectory(const FileLocation& location) {
    FileAttributes attributes(location);
    if (!attributes.Exists()) return;
    if (attributes.IsRealDirectory()) {
        RemoveEmptyDirectory(location);
    } else {
        RemoveFile(location);
    }
}

void RemovePath(const FileLocation& location) {
    if (location.IsEmpty()) throw EmptyFileLocationError();
    RemoveFileOrEmptyDirectory(location);
}

void RemoveDirectoryContents(const FileLocation& directory) {
    if (!FileAttributes(directory).IsDirectory()) throw DirectoryNotFoundError(directory.GetConstData(), 0);
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory() && !entry.IsReparsePoint()) {
            RemoveDirectoryContents(entry.GetLocation());
            RemoveEmptyDirectory(entry.GetLocation());
        } else {
            RemoveFile(entry.GetLocation());
        }
    }
}

void RemoveDirectoryTree(const FileLocation& directory) {
    if (FileAttributes(directory).IsReparsePoint()) {
        RemoveFile(directory);
        return;
    }
    RemoveDirectoryContents(directory);
    RemoveEmptyDirectory(directory);
}

void CreateDirectoryIfMissing(const FileLocation& location) {
    if (location.IsEmpty()) throw DirectoryNotFoundError();
    FileAttributes attributes(location);
    if (attributes.IsDirectory()) return;
    if (attributes.Exists()) throw DirectoryNotFoundError(location.GetConstData(), 0);
    int code = PosixPlatform::MakeDirectory(location);
    // Another thread or process may have made it meanwhile.
    if (code == EEXIST && FileAttributes(location).IsDirectory()) return;
    ThrowFileIOErrorForCode(location, code);
}

void CreateDirectoryChecked(const FileLocation& location) {
    if (location.IsEmpty()) throw EmptyFileLocationError();
    CreateDirectoryIfMissing(location);
}

void CreateDirectoryTree(const FileLocation& location) {
    FileAttributes attributes(location);
    if (attributes.IsDirectory()) return;
    if (attributes.Exists()) throw FileFoundError(location.GetConstData(), 0);
    if (location.IsRoot()) return;
    CreateDirectoryTree(GetContainingFolder(location));
    CreateDirectoryIfMissing(location);
}

void SetPathPermissions(const FileLocation& location, unsigned mode) {
    ThrowFileIOErrorForCode(location, PosixPlatform::SetPathMode(location, mode));
}

void CopyDirectoryTree(const FileLocation& from, const FileLocation& to, ExistingFiles existing) {
    RequireBoth(from, to);
    if (!FileAttributes(from).IsDirectory()) throw DirectoryNotFoundError(from.GetConstData(), 0);
    CreateDirectoryTree(to);
    for (DirectoryScan scan(from); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        FileLocation target(to, entry.GetFileName());
        if (!entry.IsDirectory()) {
            if (existing == ExistingFiles::Replace)
                CopyPath(entry.GetLocation(), target);
            else
                CopyNewFile(entry.GetLocation(), target);
        } else if (!entry.IsReparsePoint()) {
            CopyDirectoryTree(entry.GetLocation(), target, existing);
        }
    }
}

void CreateEmptyFile(const FileLocation& location) {
    PosixPlatform::FileWritingPath file;
    try {
        file.OpenCreateNew(location);
    } catch (const EmptyFileLocationError&) {
        throw;
    } catch (const FileExists&) {
        throw;
    } catch (const FileIOError& error) {
        throw FileCreateFailed(location.GetConstData(), error.Code());
    }
    file.Close();
}

#include "foundation/temporary_files.h"

#include <cerrno>

#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

FileLocation GetSystemTemporaryDirectory() {
    std::string directory = PosixPlatform::SystemTemporaryDirectory();
    return FileLocation(directory.data(), directory.size());
}

FileLocation MakeTemporaryFileName(const FileLocation& directory, const char* prefix) {
    FileLocation created;
    if (int code = PosixPlatform::MakeUniqueFile(directory, prefix, created)) throw Posix::Error(code);
    return created;
}

FileLocation MakeTemporaryFileLocationIn(const FileLocation& directory, const char* prefix) {
    if (directory.IsEmpty()) throw EmptyFileLocationError();
    return MakeTemporaryFileName(directory, prefix);
}

FileLocation MakeTemporaryFileLocation(const char* prefix) {
    FileLocation directory = GetSystemTemporaryDirectory();
    CreateDirectoryTree(directory);
    return MakeTemporaryFileLocationIn(directory, prefix);
}

FileLocation MakeTemporaryFileLocationNear(const FileLocation& location, const char* prefix) {
    FileLocation directory =
        FileAttributes(location).IsDirectory() ? location : GetContainingFolder(location);
    return MakeTemporaryFileLocationIn(directory, prefix);
}

FileLocation MakeTemporaryDirectoryIn(const FileLocation& parent, const char* prefix) {
    FileLocation created;
    int code = PosixPlatform::MakeUniqueDirectory(parent, prefix, created);
    if (code == EEXIST) throw DirectoryExists(parent.GetConstData(), 0);
    if (code != 0) throw DirectoryCreateFailed(parent.GetConstData(), code);
    return created;
}

TemporaryFileLocation::TemporaryFileLocation()
    : m_owner(std::make_shared<Owner>(MakeTemporaryFileLocation(kTemporaryFilePrefix))) {}

TemporaryFileLocation::TemporaryFileLocation(const FileLocation& directory)
    : m_owner(std::make_shared<Owner>(MakeTemporaryFileLocationIn(directory, kTemporaryFilePrefix))) {}

TemporaryFileLocation::Owner::~Owner() {
    try {
        RemoveFileOrEmptyDirectory(location);
    } catch (...) {
    }
}

TemporaryFile::TemporaryFile() {
    Create(MakeTemporaryFileLocation(kTemporaryFilePrefix));
}

TemporaryFile::TemporaryFile(const FileLocation& directory) {
    Create(MakeTemporaryFileLocationNear(directory, kTemporaryFilePrefix));
}

// The name exists once it is made; when it cannot be opened it is removed again.
void TemporaryFile::Create(const FileLocation& location) {
    m_location = location;
    try {
        m_path.OpenCreateAlways(location);
    } catch (...) {
        PosixPlatform::RemoveFileEntry(location);
        throw;
    }
}

TemporaryFile::~TemporaryFile() {
    if (m_done) return;
    try {
        Discard();
    } catch (...) {
    }
}

void TemporaryFile::MoveTo(const FileLocation& target) {
    m_path.Close();
    MovePath(m_location, target);
    m_done = true;
}

void TemporaryFile::ReplaceTo(const FileLocation& target) {
    m_path.Close();
    ReplacePath(m_location, target);
    m_done = true;
}

void TemporaryFile::Discard() {
    m_path.Close();
    m_done = true;
    RemoveFile(m_location);
}

TemporaryDirectoryLocation::TemporaryDirectoryLocation(const FileLocation& parent) {
    if (parent.IsEmpty()) throw EmptyFileLocationError();
    m_location = MakeTemporaryDirectoryIn(parent, kTemporaryDirectoryPrefix);
}

TemporaryDirectoryLocation::~TemporaryDirectoryLocation() {
    if (m_keep) return;
    try {
        RemoveDirectoryTree(m_location);
    } catch (...) {
    }
}

#include "base/file_errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <initializer_list>

#include "base/file_location.h"
#include "base/system_error_text.h"

struct FileIOError::Detail {
    int code = 0;
    std::string firstPath;
    std::string secondPath;
    std::string message;
};

FileIOError::FileIOError(int code) : m_detail(std::make_unique<Detail>()) {
    m_detail->code = code;
}

FileIOError::FileIOError(ConstData path, int code) : FileIOError(code) {
    m_detail->firstPath.assign(path.Chars(), path.Length());
}

FileIOError::FileIOError(ConstData firstPath, ConstData secondPath, int code) : FileIOError(firstPath, code) {
    m_detail->secondPath.assign(secondPath.Chars(), secondPath.Length());
}

FileIOError::FileIOError(const FileIOError& other)
    : DebuggableException(other), m_detail(std::make_unique<Detail>(*other.m_detail)) {}

FileIOError::~FileIOError() = default;

int FileIOError::Code() const {
    return m_detail->code;
}
const std::string& FileIOError::FirstPath() const {
    return m_detail->firstPath;
}
const std::string& FileIOError::SecondPath() const {
    return m_detail->secondPath;
}

const char* FileIOError::what() const noexcept {
    // DebuggableException::what() gives "class Kind"; the message quotes the bare kind name.
    const char* className = DebuggableException::what();
    std::string& message = m_detail->message;
    if (!message.empty()) return message.c_str();
    try {
        std::string_view kind(className);
        if (kind.starts_with("class ")) kind.remove_prefix(6);
        message.append("File error \"").append(kind).append("\"");
        if (!m_detail->firstPath.empty()) message.append(" on \"").append(m_detail->firstPath).append("\"");
        if (!m_detail->secondPath.empty())
            message.append(" and \"").append(m_detail->secondPath).append("\"");
        if (m_detail->code != 0) message.append(": ").append(Posix::SystemErrorText(m_detail->code));
        return message.c_str();
    } catch (...) {
        message.clear();
        return className;
    }
}

namespace {

enum class Kind {
    Base,
    FileNotFound,
    DirectoryNotFound,
    Permission,
    FileFound,
    Seek,
    Lock,
    DiskFull,
};

// One row per group of errno values: the kind each map gives them. The groups follow what the
// operations meet on Linux: a missing entry, a bad path, refused access (a directory opened for
// writing is EISDIR), an existing name, a busy executable, lock conflicts, a full disk, and failed
// positioning or device I/O.
struct CodeRow {
    std::initializer_list<int> codes;
    Kind general, openPath, writing, reading, writer;
};

const CodeRow kCodeRows[] = {
    {{ENOENT, EBADF}, Kind::FileNotFound, Kind::FileNotFound, Kind::FileNotFound, Kind::Base, Kind::Base},
    {{ENOTDIR, ENAMETOOLONG, ELOOP},
     Kind::DirectoryNotFound,
     Kind::DirectoryNotFound,
     Kind::DirectoryNotFound,
     Kind::Base,
     Kind::Base},
    {{EACCES, EPERM, EROFS, EISDIR, EBUSY},
     Kind::Permission,
     Kind::Permission,
     Kind::Permission,
     Kind::Permission,
     Kind::Base},
    {{EEXIST}, Kind::Permission, Kind::Permission, Kind::FileFound, Kind::Permission, Kind::Base},
    {{ETXTBSY}, Kind::Base, Kind::Base, Kind::Base, Kind::Permission, Kind::Permission},
    {{ENOLCK, EWOULDBLOCK, EDEADLK}, Kind::Lock, Kind::Lock, Kind::Lock, Kind::Lock, Kind::Permission},
    {{ENOSPC, EDQUOT, EFBIG}, Kind::DiskFull, Kind::DiskFull, Kind::DiskFull, Kind::Base, Kind::DiskFull},
    {{ESPIPE, EOVERFLOW, EIO}, Kind::Seek, Kind::Base, Kind::Base, Kind::Seek, Kind::Seek},
};

Kind KindInMap(const CodeRow& row, FileErrorMap map) {
    switch (map) {
        case FileErrorMap::General:
            return row.general;
        case FileErrorMap::OpenPath:
            return row.openPath;
        case FileErrorMap::Writing:
            return row.writing;
        case FileErrorMap::Reading:
            return row.reading;
        case FileErrorMap::Writer:
            return row.writer;
    }
    return Kind::Base;
}

Kind KindForCode(int code, FileErrorMap map) {
    for (const CodeRow& row : kCodeRows) {
        for (int listed : row.codes) {
            if (listed == code) return KindInMap(row, map);
        }
    }
    return Kind::Base;
}

// Linux reports a missing file and a missing folder on its path alike; the folder tells them apart.
// A link to a folder counts as the folder.
bool FolderOfLocationExists(const FileLocation& location) {
    FileLocation folder;
    try {
        folder = location.GetParentLocation();
    } catch (const FileIOError&) {
        return true;  // no folder part: the current directory, which exists
    }
    struct stat status {};
    return ::stat(folder.CString(), &status) == 0 && S_ISDIR(status.st_mode);
}

[[noreturn]] void ThrowKind(Kind kind, ConstData path, int code) {
    switch (kind) {
        case Kind::FileNotFound:
            throw FileNotFoundError(path, code);
        case Kind::DirectoryNotFound:
            throw DirectoryNotFoundError(path, code);
        case Kind::Permission:
            throw FilePermissionError(path, code);
        case Kind::FileFound:
            throw FileFoundError(path, code);
        case Kind::Seek:
            throw FileSeekError(path, code);
        case Kind::Lock:
            throw FileLockError(path, code);
        case Kind::DiskFull:
            throw DiskFullError(path, code);
        case Kind::Base:
            break;
    }
    throw FileIOError(path, code);
}

}  // namespace

void ThrowFileIOErrorForCode(const FileLocation& location, int code, FileErrorMap map) {
    if (code == 0) return;
    Kind kind = KindForCode(code, map);
    if (code == ENOENT && kind == Kind::FileNotFound && !FolderOfLocationExists(location)) {
        kind = Kind::DirectoryNotFound;
    }
    ThrowKind(kind, location.GetConstData(), code);
}

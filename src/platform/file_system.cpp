#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace PosixPlatform {
namespace {

// `own` describes the entry itself (lstat), `target` what a link points at (stat; null when the link
// dangles or the entry is no link).
PathStatus StatusOf(const struct stat& own, const struct stat* target) {
    const struct stat& seen = target ? *target : own;
    PathStatus status;
    status.attributes = 0;
    if (S_ISLNK(own.st_mode)) status.attributes |= kFileAttributeReparsePoint;
    if (S_ISDIR(seen.st_mode)) status.attributes |= kFileAttributeDirectory;
    if ((seen.st_mode & S_IWUSR) == 0) status.attributes |= kFileAttributeReadOnly;
    status.size = S_ISREG(seen.st_mode) ? static_cast<std::uint64_t>(seen.st_size) : 0;
    status.lastWriteTime =
        static_cast<std::int64_t>(seen.st_mtim.tv_sec) * kMicrosecondsPerSecond + seen.st_mtim.tv_nsec / 1000;
    status.mode = seen.st_mode & 07777;
    return status;
}

int LookUpAt(int directoryDescriptor, const char* name, PathStatus& status) {
    status = PathStatus();
    struct stat own;
    if (::fstatat(directoryDescriptor, name, &own, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    struct stat target;
    bool followed = S_ISLNK(own.st_mode) && ::fstatat(directoryDescriptor, name, &target, 0) == 0;
    status = StatusOf(own, followed ? &target : nullptr);
    return 0;
}

int ResultOf(int callResult) {
    return callResult == 0 ? 0 : errno;
}

int MakeUnique(const FileLocation& folder, const char* prefix, const char* suffix, FileLocation& created,
               bool directory) {
    std::string name = std::string(prefix) + "XXXXXX" + suffix;
    FileLocation pattern(folder, FileName(name.data(), name.size()));
    std::string text = pattern.GetPathString();
    if (directory) {
        if (!::mkdtemp(text.data())) return errno;
    } else {
        int descriptor = ::mkostemps(text.data(), static_cast<int>(std::strlen(suffix)), O_CLOEXEC);
        if (descriptor < 0) return errno;
        ::close(descriptor);
    }
    created = FileLocation(text.data(), text.size());
    return 0;
}

}  // namespace

int LookUpPath(const char* path, PathStatus& status) {
    return LookUpAt(AT_FDCWD, path, status);
}

int LookUpEntry(int directoryDescriptor, const char* name, PathStatus& status) {
    return LookUpAt(directoryDescriptor, name, status);
}

PathStatus StatusOfLookUp(const struct ::stat& found) {
    return StatusOf(found, nullptr);
}

int LookUpDescriptor(int descriptor, PathStatus& status) {
    status = PathStatus();
    struct stat own;
    if (::fstat(descriptor, &own) != 0) return errno;
    status = StatusOf(own, nullptr);
    return 0;
}

int RenameReplacing(const FileLocation& from, const FileLocation& to) {
    return ResultOf(::rename(from.CString(), to.CString()));
}

int RenameNoReplace(const FileLocation& from, const FileLocation& to) {
    if (::renameat2(AT_FDCWD, from.CString(), AT_FDCWD, to.CString(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    return RenameNoReplaceByTakingTheName(from, to);
}

// rename may replace an empty directory, so a directory claims its new name with one; a link is moved
// as a link, never followed.
int RenameNoReplaceByTakingTheName(const FileLocation& from, const FileLocation& to) {
    PathStatus source;
    if (int code = LookUpPath(from.CString(), source)) return code;
    if (source.Is(kFileAttributeDirectory) && !source.Is(kFileAttributeReparsePoint)) {
        if (::mkdir(to.CString(), 0700) != 0) return errno;
        if (::rename(from.CString(), to.CString()) == 0) return 0;
        int code = errno;
        ::rmdir(to.CString());
        return code;
    }
    if (::link(from.CString(), to.CString()) != 0) return errno;
    if (::unlink(from.CString()) == 0) return 0;
    int code = errno;
    ::unlink(to.CString());
    return code;
}

int RemoveFileEntry(const FileLocation& location) {
    return ResultOf(::unlink(location.CString()));
}

int RemoveDirectoryEntry(const FileLocation& location) {
    return ResultOf(::rmdir(location.CString()));
}

int MakeDirectory(const FileLocation& location) {
    return ResultOf(::mkdir(location.CString(), 0777));
}

int SetPathMode(const FileLocation& location, unsigned mode) {
    return ResultOf(::chmod(location.CString(), mode));
}

int SetLastWriteTime(const FileLocation& location, TimeValue time) {
    std::int64_t seconds = time / kMicrosecondsPerSecond;
    std::int64_t rest = time % kMicrosecondsPerSecond;
    if (rest < 0) {
        rest += kMicrosecondsPerSecond;
        --seconds;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 1000);
    return ResultOf(::utimensat(AT_FDCWD, location.CString(), times, 0));
}

int SyncPath(const FileLocation& location) {
    int descriptor = ::open(location.CString(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return errno;
    int code = ResultOf(::fsync(descriptor));
    ::close(descriptor);
    return code;
}

int MakeUniqueFile(const FileLocation& folder, const char* prefix, FileLocation& created) {
    return MakeUnique(folder, prefix, ".tmp", created, false);
}

int MakeUniqueDirectory(const FileLocation& folder, const char* prefix, FileLocation& created) {
    return MakeUnique(folder, prefix, "", created, true);
}

int WriteAll(int descriptor, std::string_view data) {
    while (!data.empty()) {
        ssize_t written = ::write(descriptor, data.data(), data.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int ReadAll(int descriptor, std::size_t size, std::string& data) {
    data.resize(size);
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ::pread(descriptor, data.data() + done, size - done, static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    data.resize(done);
    return 0;
}

std::string SystemTemporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return configured && configured[0] == '/' ? configured : "/tmp";
}

}  // namespace PosixPlatform

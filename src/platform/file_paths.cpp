#include "platform/file_paths.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/file_errors.h"
#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

constexpr std::uint64_t kLargestOffset = std::numeric_limits<off_t>::max();
constexpr std::size_t kCopyChunk = 1 << 16;

[[noreturn]] void ThrowMapped(const FileLocation& location, int code, FileErrorMap map) {
    ThrowFileIOErrorForCode(location, code, map);
    throw FileIOError(location.GetConstData(), code);  // not reached: code is never 0 here
}

void CheckOffset(const FileLocation& location, std::uint64_t offset) {
    if (offset > kLargestOffset) throw FileSeekError(location.GetConstData(), 0);
}

constexpr int kReadingFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

int RetryingOpen(const char* path, int flags) {
    int opened;
    do opened = ::open(path, flags, 0666);
    while (opened < 0 && errno == EINTR);
    return opened;
}

// The names below `root` that `location` adds, "." for the root itself; InvalidFileLocation when the
// location's text does not continue the root's.
std::string RelativeToRoot(const FileLocation& root, const FileLocation& location) {
    std::string_view rootText = root.GetConstData().View();
    std::string_view text = location.GetConstData().View();
    if (text == rootText) return ".";
    // "/" ends in the separator that every other root needs after it.
    std::size_t namesStart = root.IsRoot() ? rootText.size() : rootText.size() + 1;
    if (!text.starts_with(rootText) || text.size() <= namesStart || text[namesStart - 1] != '/') {
        throw InvalidFileLocation(location.GetConstData(), root.GetConstData(), 0);
    }
    return std::string(text.substr(namesStart));
}

// Linux 5.6 brought openat2; an older kernel, or a sandbox that filters the call, answers ENOSYS, and
// from then on every open takes the canonical-path way.
std::atomic<bool> g_openat2Missing{false};

// Opens `relative` beneath the folder `root`: the kernel refuses (EXDEV) any step of the look-up that
// leaves the folder, which includes every absolute link and every ".." above it. "/proc" links are
// refused too.
int OpenBeneathDescriptor(int root, const std::string& relative, int flags) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long opened;
    do opened = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
    while (opened < 0 && errno == EINTR);
    return static_cast<int>(opened);
}

// The canonical path of `path` (every link resolved), or empty with errno set.
std::string CanonicalPath(const char* path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path, nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The path an open descriptor stands for, as the kernel gives it; empty with errno set.
std::string DescriptorPath(int descriptor) {
    std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char buffer[PATH_MAX];
    ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) == sizeof buffer) {
        errno = ENAMETOOLONG;
        return std::string();
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

bool LiesInside(std::string_view path, std::string_view root) {
    if (root == "/") return true;
    return path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/');
}

// Where the kernel cannot confine the look-up itself, or the look-up left the root on its way (an
// absolute link, a link that climbs out and back in): the canonical path decides. Only a target
// inside the root is opened, without following a last link, and the descriptor's own path is checked
// again, as the tree may change between the look-up and the open.
FileDescriptor OpenInsideByCanonicalPath(const FileLocation& root, const FileLocation& location) {
    std::string rootPath = CanonicalPath(root.CString());
    if (rootPath.empty()) ThrowMapped(root, errno, FileErrorMap::OpenPath);
    std::string target = CanonicalPath(location.CString());
    if (target.empty()) ThrowMapped(location, errno, FileErrorMap::OpenPath);
    if (!LiesInside(target, rootPath)) {
        throw PathOutsideRootError(location.GetConstData(), ConstData(std::string_view(target)), 0);
    }
    int opened = RetryingOpen(target.c_str(), kReadingFlags | O_NOFOLLOW);
    if (opened < 0) ThrowMapped(location, errno, FileErrorMap::OpenPath);
    FileDescriptor descriptor(opened);
    std::string openedPath = DescriptorPath(descriptor.Get());
    if (openedPath.empty()) ThrowMapped(location, errno, FileErrorMap::OpenPath);
    if (!LiesInside(openedPath, rootPath)) {
        throw PathOutsideRootError(location.GetConstData(), ConstData(std::string_view(openedPath)), 0);
    }
    return descriptor;
}

}  // namespace

FileReadingPath::FileReadingPath(const FileLocation& location) {
    FileReadingPath::Open(location);
}

void FileReadingPath::Open(const FileLocation& location) {
    OpenWith(location, false, Disposition::OpenExisting);
}

// The file is opened non-blocking so that a FIFO in its place cannot hang the open; fstat then
// refuses anything but a regular file, as the relay only ever reads and writes disk files. For a
// regular file the flag has no effect, so it stays: clearing it would cost two calls per open.
void FileReadingPath::OpenWith(const FileLocation& location, bool forWriting, Disposition disposition) {
    Close();
    if (location.IsEmpty()) throw EmptyFileLocationError();
    int flags = (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (disposition == Disposition::OpenAlways) flags |= O_CREAT;
    if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL;
    int opened = RetryingOpen(location.CString(), flags);
    if (opened < 0 && errno == EEXIST && disposition == Disposition::CreateNew) {
        throw FileExists(location.GetConstData(), EEXIST);
    }
    if (opened < 0) ThrowMapped(location, errno, FileErrorMap::OpenPath);
    Adopt(location, FileDescriptor(opened));
}

// The root is opened following its own links: it is whatever folder the setting names. A look-up
// that openat2 refuses for leaving the root (EXDEV), or for a rename racing a ".." in a link (EAGAIN),
// gets a second chance by canonical path, so that a link whose target lies inside is followed however
// it is written.
void FileReadingPath::OpenBeneath(HeldFolder& root, const FileLocation& location) {
    Close();
    const FileLocation& rootLocation = root.GetLocation();
    if (rootLocation.IsEmpty() || location.IsEmpty()) throw EmptyFileLocationError();
    std::string relative = RelativeToRoot(rootLocation, location);
    if (!g_openat2Missing.load(std::memory_order_relaxed)) {
        int opened = OpenBeneathDescriptor(root.Current(), relative, kReadingFlags);
        if (opened >= 0) {
            Adopt(location, FileDescriptor(opened));
            return;
        }
        if (errno == ENOSYS) {
            g_openat2Missing.store(true, std::memory_order_relaxed);
        } else if (errno != EXDEV && errno != EAGAIN) {
            ThrowMapped(location, errno, FileErrorMap::OpenPath);
        }
    }
    Adopt(location, OpenInsideByCanonicalPath(rootLocation, location));
}

void FileReadingPath::Adopt(const FileLocation& location, FileDescriptor descriptor) {
    struct stat status;
    if (::fstat(descriptor.Get(), &status) != 0) ThrowMapped(location, errno, FileErrorMap::OpenPath);
    if (!S_ISREG(status.st_mode)) throw FilePermissionError(location.GetConstData(), EACCES);
    m_statusAtOpen = StatusOfLookUp(status);
    m_location = location;
    m_descriptor = std::move(descriptor);
}

void FileReadingPath::Close() {
    try {
        m_descriptor.Close();
    } catch (const Posix::Error& error) {
        // Linux releases the descriptor even when close reports EINTR: nothing was lost then.
        if (error.Code() != EINTR) ThrowMapped(m_location, error.Code(), FileErrorMap::OpenPath);
    }
}

std::uint64_t FileReadingPath::GetSize() const {
    struct stat status;
    if (::fstat(Descriptor(), &status) != 0) ThrowMapped(m_location, errno, FileErrorMap::OpenPath);
    return static_cast<std::uint64_t>(status.st_size);
}

PathStatus FileReadingPath::GetStatus() const {
    PathStatus status;
    int code = LookUpDescriptor(Descriptor(), status);
    if (code != 0) ThrowMapped(m_location, code, FileErrorMap::OpenPath);
    return status;
}

std::size_t FileReadingPath::ReadAt(std::uint64_t position, Byte* buffer, std::size_t count) const {
    CheckOffset(m_location, position);
    ssize_t read;
    do read = ::pread(Descriptor(), buffer, count, static_cast<off_t>(position));
    while (read < 0 && errno == EINTR);
    if (read < 0) ThrowMapped(m_location, errno, FileErrorMap::Reading);
    return static_cast<std::size_t>(read);
}

int FileReadingPath::SendToSocket(int socket, std::uint64_t position, std::size_t count,
                                  std::size_t& sent) const {
    sent = 0;
    if (position > kLargestOffset) return EINVAL;
    off_t offset = static_cast<off_t>(position);
    ssize_t result;
    do result = ::sendfile(socket, Descriptor(), &offset, count);
    while (result < 0 && errno == EINTR);
    if (result < 0) return errno;
    sent = static_cast<std::size_t>(result);
    return 0;
}

// copy_file_range lets the file system share or copy the blocks itself; across file systems, or
// where it is not offered, the bytes go through a buffer.
void FileReadingPath::CopyContentTo(FileWritingPath& target) const {
    std::uint64_t size = GetSize();
    off_t from = 0, to = 0;
    while (static_cast<std::uint64_t>(from) < size) {
        ssize_t copied = ::copy_file_range(Descriptor(), &from, target.Descriptor(), &to,
                                           size - static_cast<std::uint64_t>(from), 0);
        if (copied > 0) continue;
        if (copied == 0) throw EndOfFileError(m_location.GetConstData(), 0);
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            ThrowMapped(target.GetLocation(), errno, FileErrorMap::Writer);
        }
        std::vector<Byte> buffer(kCopyChunk);
        for (std::uint64_t position = static_cast<std::uint64_t>(from); position < size;) {
            std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, size - position));
            std::size_t read = ReadAt(position, buffer.data(), wanted);
            if (read == 0) throw EndOfFileError(m_location.GetConstData(), 0);
            target.WriteAt(position, buffer.data(), buffer.data() + read);
            position += read;
        }
        return;
    }
}

FileWritingPath::FileWritingPath(const FileLocation& location) {
    OpenCreateAlways(location);
}

void FileWritingPath::Open(const FileLocation& location) {
    OpenWith(location, true, Disposition::OpenExisting);
}

void FileWritingPath::OpenAlways(const FileLocation& location) {
    OpenWith(location, true, Disposition::OpenAlways);
}

void FileWritingPath::OpenCreateAlways(const FileLocation& location) {
    OpenWith(location, true, Disposition::OpenAlways);
    if (::ftruncate(Descriptor(), 0) != 0) {
        int code = errno;
        Close();
        ThrowMapped(location, code, FileErrorMap::OpenPath);
    }
}

void FileWritingPath::OpenCreateNew(const FileLocation& location) {
    OpenWith(location, true, Disposition::CreateNew);
}

void FileWritingPath::WriteAt(std::uint64_t position, const Byte* begin, const Byte* end) {
    while (begin != end) {
        CheckOffset(GetLocation(), position);
        ssize_t written = ::pwrite(Descriptor(), begin, static_cast<std::size_t>(end - begin),
                                   static_cast<off_t>(position));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) ThrowMapped(GetLocation(), errno, FileErrorMap::Writer);
        if (written == 0) throw FileIOError(GetLocation().GetConstData(), 0);
        begin += written;
        position += static_cast<std::uint64_t>(written);
    }
}

void FileWritingPath::Flush() {
    if (::fdatasync(Descriptor()) != 0) ThrowMapped(GetLocation(), errno, FileErrorMap::Writing);
}

void FileWritingPath::SetLength(std::uint64_t length) {
    CheckOffset(GetLocation(), length);
    if (::ftruncate(Descriptor(), static_cast<off_t>(length)) != 0) {
        ThrowMapped(GetLocation(), errno, FileErrorMap::Writing);
    }
}

void FileWritingPath::SetMode(unsigned mode) {
    if (::fchmod(Descriptor(), mode) != 0) ThrowMapped(GetLocation(), errno, FileErrorMap::Writing);
}

}  // namespace PosixPlatform

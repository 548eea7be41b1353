#include "platform/held_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/file_errors.h"

namespace PosixPlatform {
namespace {

[[noreturn]] void ThrowOpenError(const FileLocation& location, int code) {
    ThrowFileIOErrorForCode(location, code, FileErrorMap::OpenPath);
    throw FileIOError(location.GetConstData(), code);  // not reached: code is never 0 here
}

}  // namespace

// A folder that is still held cannot give its inode number to another while we hold it, so equal
// numbers mean the same folder.
int HeldFolder::Current() {
    if (m_location.IsEmpty()) throw EmptyFileLocationError();
    const auto now = std::chrono::steady_clock::now();
    if (m_descriptor.IsValid() && m_recheckPeriod.count() > 0 && now - m_lookedUpAt < m_recheckPeriod)
        return m_descriptor.Get();
    struct stat status;
    if (::stat(m_location.CString(), &status) != 0) ThrowOpenError(m_location, errno);
    if (!S_ISDIR(status.st_mode)) ThrowOpenError(m_location, ENOTDIR);
    if (!m_descriptor.IsValid() || status.st_dev != m_device || status.st_ino != m_inode) Reopen();
    m_lookedUpAt = now;
    return m_descriptor.Get();
}

// The identity kept is the opened descriptor's own, whatever the path named a moment before.
void HeldFolder::Reopen() {
    m_descriptor = FileDescriptor();
    int opened;
    do opened = ::open(m_location.CString(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    while (opened < 0 && errno == EINTR);
    if (opened < 0) ThrowOpenError(m_location, errno);
    FileDescriptor descriptor(opened);
    struct stat status;
    if (::fstat(descriptor.Get(), &status) != 0) ThrowOpenError(m_location, errno);
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_descriptor = std::move(descriptor);
}

}  // namespace PosixPlatform

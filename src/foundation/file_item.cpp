#include "foundation/file_item.h"

FileAttributes::FileAttributes(const FileLocation& location) {
    if (!location.IsEmpty()) PosixPlatform::LookUpPath(location.CString(), m_status);
}

FileItem::FileItem(const FileLocation& location) {
    Lookup(location);
    RequireExists();
}

bool FileItem::Lookup(const FileLocation& location) {
    m_location = location;
    m_status = PosixPlatform::PathStatus();
    if (!location.IsEmpty()) PosixPlatform::LookUpPath(location.CString(), m_status);
    return Exists();
}

void FileItem::RequireExists() const {
    if (!Exists()) throw FileItemError(m_location.GetConstData(), 0);
}

void FileItem::SetLastWriteTime(TimeValue time) {
    if (int code = PosixPlatform::SetLastWriteTime(m_location, time)) {
        throw FileItemError(m_location.GetConstData(), code);
    }
    m_status.lastWriteTime = time;
}

TimeValue TruncateToTwoSeconds(TimeValue time) {
    constexpr std::int64_t kTwoSeconds = 2 * kMicrosecondsPerSecond;
    std::int64_t rest = time % kTwoSeconds;
    return time - (rest < 0 ? rest + kTwoSeconds : rest);
}

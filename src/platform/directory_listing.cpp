#include "platform/directory_listing.h"

#include <cstring>

namespace PosixPlatform {

bool DirectoryListing::Open(const FileLocation& directory) {
    Close();
    // glibc opens directory streams with O_CLOEXEC.
    if (!directory.IsEmpty()) m_stream = ::opendir(directory.CString());
    return IsOpen();
}

void DirectoryListing::Close() {
    if (m_stream) ::closedir(m_stream);
    m_stream = nullptr;
}

// A read error ends the listing as the end of the directory does: callers see the entries read so far.
const char* DirectoryListing::NextName() {
    while (m_stream) {
        const struct dirent* entry = ::readdir(m_stream);
        if (!entry) break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            return entry->d_name;
    }
    Close();
    return nullptr;
}

int DirectoryListing::LookUp(const char* name, PathStatus& status) const {
    return LookUpEntry(::dirfd(m_stream), name, status);
}

}  // namespace PosixPlatform

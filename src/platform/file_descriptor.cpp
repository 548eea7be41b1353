#include "platform/file_descriptor.h"

#include <unistd.h>

#include <utility>

#include "platform/system_error.h"

namespace PosixPlatform {

void CloseValidDescriptor(int descriptor) {
    if (descriptor == kNoDescriptor) return;
    // Linux releases the descriptor even when close reports EINTR or EIO, so a failed close is never
    // retried: the number may already belong to another thread's new descriptor.
    Posix::CheckResult(::close(descriptor) == 0);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        FileDescriptor old(std::move(*this));
        m_descriptor = other.Release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    try {
        CloseValidDescriptor(m_descriptor);
    } catch (const Posix::Error&) {
        // A destructor has nobody to tell; Close() is there for owners that care.
    }
}

int FileDescriptor::Release() {
    int descriptor = m_descriptor;
    m_descriptor = kNoDescriptor;
    return descriptor;
}

void FileDescriptor::Close() {
    CloseValidDescriptor(Release());
}

}  // namespace PosixPlatform

// An owned POSIX file descriptor, closed when its holder goes. -1 means none.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace PosixPlatform {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~FileDescriptor() { Reset(); }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    void Reset() {
        if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
    }
    // Closes now and returns 0 or the errno of close: a failed close can be the first sign of a
    // failed write.
    int Close() {
        int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

}  // namespace PosixPlatform

// Owners of operating-system descriptors.
//
// A FileDescriptor owns one open descriptor (or none, -1) and closes it when it dies; it is moved,
// never copied. Where several owners must hold one descriptor, share a FileDescriptor through a
// std::shared_ptr. A FileDescriptor is used by one thread at a time; the descriptor it holds may be
// waited on from any thread while the holder lives.
#pragma once

namespace PosixPlatform {

constexpr int kNoDescriptor = -1;

// Closes the descriptor unless it is kNoDescriptor; a failed close throws Posix::Error.
void CloseValidDescriptor(int descriptor);

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_descriptor(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    // Closes the descriptor; a failure of that close is swallowed (use Close to see it).
    ~FileDescriptor();

    int Get() const { return m_descriptor; }
    bool IsValid() const { return m_descriptor != kNoDescriptor; }
    // Gives the descriptor up without closing it; the holder is empty afterwards.
    int Release();
    // Closes the descriptor now; the holder is empty afterwards, also when the close failed
    // (Posix::Error).
    void Close();

  private:
    int m_descriptor = kNoDescriptor;
};

}  // namespace PosixPlatform

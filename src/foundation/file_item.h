// Looking paths up: FileAttributes answers what kind of thing a path is, FileItem also gives its size
// and last-write time and sets that time.
//
// A symbolic link is seen as what it points at, marked as a reparse point (IsReparsePoint); a dangling
// link is a reparse point and nothing else. Values: each holds what the look-up found when it was
// made, not a live view of the file system.
#pragma once

#include <cstdint>

#include "base/file_location.h"
#include "base/time_value.h"
#include "platform/file_system.h"

class FileAttributes {
  public:
    // The attributes of `location`; Exists() is false for an unset or missing location.
    explicit FileAttributes(const FileLocation& location);

    std::uint32_t Word() const { return m_status.attributes; }
    bool Exists() const { return m_status.Exists(); }
    bool IsDirectory() const { return m_status.Is(PosixPlatform::kFileAttributeDirectory); }
    bool IsReadOnly() const { return m_status.Is(PosixPlatform::kFileAttributeReadOnly); }
    bool IsReparsePoint() const { return m_status.Is(PosixPlatform::kFileAttributeReparsePoint); }
    // A directory itself, not a link to one.
    bool IsRealDirectory() const { return IsDirectory() && !IsReparsePoint(); }
    // Permission bits (0 when the path does not exist).
    unsigned Mode() const { return m_status.mode; }

  private:
    PosixPlatform::PathStatus m_status;
};

class FileItem {
  public:
    // A looked-up nothing: Exists() is false until Lookup finds a path.
    FileItem() = default;
    // Looks `location` up; FileItemError when it does not exist.
    explicit FileItem(const FileLocation& location);

    // Looks another path up; true when it exists.
    bool Lookup(const FileLocation& location);
    // FileItemError naming the path when the last look-up found nothing.
    void RequireExists() const;

    bool Exists() const { return m_status.Exists(); }
    const FileLocation& GetLocation() const { return m_location; }
    std::uint32_t GetAttributes() const { return m_status.attributes; }
    bool IsDirectory() const { return m_status.Is(PosixPlatform::kFileAttributeDirectory); }
    std::uint64_t GetSize() const { return m_status.size; }
    TimeValue GetLastWriteTime() const { return m_status.lastWriteTime; }
    // Sets the file's last-write time (the access time stays); FileItemError (path, errno) on failure.
    void SetLastWriteTime(TimeValue time);

  private:
    FileLocation m_location;
    PosixPlatform::PathStatus m_status;
};

// The time rounded down to an even number of whole seconds, the resolution of FAT file times.
TimeValue TruncateToTwoSeconds(TimeValue time);

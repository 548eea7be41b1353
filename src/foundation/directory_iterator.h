// Walking the entries of one directory: DirectoryIterator and DirectoryScan hand out each entry whose
// name matches a wildcard pattern, in the order the file system lists them, as a DirectoryEntry with
// its full path (the directory's child location), attributes, size and last-write time.
//
// Patterns: "?" matches one byte, "*" any run of bytes, anything else itself ignoring ASCII case;
// "*.*" and a null pattern match every name. "." and ".." are never handed out. A missing or
// unreadable directory is an empty iteration, never an error.
//
// A name that is legal on Linux but is no FileName (such as "a:b") is skipped and its path logged
// once per process, so one foreign file cannot break every scan of its folder.
//
// One iterator per thread; it owns its open directory stream.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_location.h"
#include "base/time_value.h"
#include "platform/directory_listing.h"
#include "platform/file_system.h"

class DirectoryEntry {
  public:
    // The empty entry: not valid, empty path, nothing found.
    DirectoryEntry() = default;
    DirectoryEntry(FileLocation location, const PosixPlatform::PathStatus& status)
        : m_location(std::move(location)), m_status(status) {}

    bool IsValid() const { return m_status.Exists(); }
    const FileLocation& GetLocation() const { return m_location; }
    FileName GetFileName() const { return m_location.GetName(); }
    std::uint32_t GetAttributes() const { return m_status.attributes; }
    // A directory, or a link to one (IsReparsePoint tells them apart).
    bool IsDirectory() const { return m_status.Is(PosixPlatform::kFileAttributeDirectory); }
    bool IsReparsePoint() const { return m_status.Is(PosixPlatform::kFileAttributeReparsePoint); }
    std::uint64_t GetSize() const { return m_status.size; }
    TimeValue GetLastWriteTime() const { return m_status.lastWriteTime; }

  private:
    FileLocation m_location;
    PosixPlatform::PathStatus m_status;
};

class DirectoryIterator {
  public:
    DirectoryIterator() = default;

    // Ends any walk in progress and starts one over `directory`; the first matching entry becomes
    // current, or the walk is at its end at once.
    void Open(const FileLocation& directory, const char* pattern = nullptr);
    // Makes the next matching entry current, or ends the walk.
    void Next();
    // True while there is a current entry.
    bool IsValid() const { return m_current.IsValid(); }
    const DirectoryEntry& Current() const { return m_current; }

  private:
    FileLocation m_directory;
    std::string m_pattern;
    PosixPlatform::DirectoryListing m_listing;
    DirectoryEntry m_current;
};

// A DirectoryIterator opened at construction:
//     for (DirectoryScan scan(folder, "*.log"); scan.IsValid(); scan.Next()) use(scan.Current());
class DirectoryScan {
  public:
    explicit DirectoryScan(const FileLocation& directory, const char* pattern = nullptr) {
        m_iterator.Open(directory, pattern);
    }

    bool IsValid() const { return m_iterator.IsValid(); }
    void Next() { m_iterator.Next(); }
    const DirectoryEntry& Current() const { return m_iterator.Current(); }

  private:
    DirectoryIterator m_iterator;
};

// True when `name` matches the wildcard `pattern` as the scans match them.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

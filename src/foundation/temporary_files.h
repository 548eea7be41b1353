// Temporary files and directories: unique names made atomically (the file or directory is created
// together with its name, so no other process can slip a file or link in between), and owners that
// delete them when let go.
//
// Temporary files are made with mode 0600 and directories with 0700: the system temporary folder is
// shared by every user of the machine. Names are "<prefix>XXXXXX.tmp" for files and "<prefix>XXXXXX"
// for directories; the relay's prefix for files is "veltra", for directories "temp".
#pragma once

#include <memory>

#include "base/file_location.h"
#include "platform/file_paths.h"

inline constexpr const char* kTemporaryFilePrefix = "veltra";
inline constexpr const char* kTemporaryDirectoryPrefix = "temp";

// $TMPDIR when it is set to an absolute path, else "/tmp".
FileLocation GetSystemTemporaryDirectory();
// Creates a new empty file with a unique name in `directory`; Posix::Error when that fails.
FileLocation MakeTemporaryFileName(const FileLocation& directory, const char* prefix);
// The same; EmptyFileLocationError for an unset directory.
FileLocation MakeTemporaryFileLocationIn(const FileLocation& directory, const char* prefix);
// The same in the system temporary folder, which is created first when missing.
FileLocation MakeTemporaryFileLocation(const char* prefix);
// The same in `location` when that is an existing directory, else in the folder holding it.
FileLocation MakeTemporaryFileLocationNear(const FileLocation& location, const char* prefix);
// Creates a new directory with a unique name in `parent`. DirectoryCreateFailed (parent, errno) when
// that fails, DirectoryExists when no unique name could be found.
FileLocation MakeTemporaryDirectoryIn(const FileLocation& parent, const char* prefix);

// The location of a new temporary file; copies share it, and the last copy to go deletes the file
// (failures ignored). Copies may live on different threads.
class TemporaryFileLocation {
  public:
    // A new file "veltra..." in the system temporary folder.
    TemporaryFileLocation();
    // A new file "veltra..." in `directory`.
    explicit TemporaryFileLocation(const FileLocation& directory);

    const FileLocation& GetLocation() const { return m_owner->location; }

  private:
    struct Owner {
        explicit Owner(FileLocation created) : location(std::move(created)) {}
        Owner(const Owner&) = delete;
        Owner& operator=(const Owner&) = delete;
        ~Owner();

        FileLocation location;
    };
    std::shared_ptr<const Owner> m_owner;
};

// A new temporary file "veltra...", open for writing, that is either kept under a target name
// (MoveTo, ReplaceTo) or deleted (Discard, or destruction). Not copyable; one thread at a time.
class TemporaryFile {
  public:
    // In the system temporary folder.
    TemporaryFile();
    // In `directory` when that is an existing directory, else in the folder holding it.
    explicit TemporaryFile(const FileLocation& directory);
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    // Deletes the file unless it was kept or discarded; failures ignored.
    ~TemporaryFile();

    const FileLocation& GetLocation() const { return m_location; }
    // The open file, for writers and sinks (file_writer.h).
    PosixPlatform::FileWritingPath& GetPath() { return m_path; }

    // Closes the file and moves it to `target`, which must not exist (MovePath).
    void MoveTo(const FileLocation& target);
    // Closes the file and puts it in the place of `target` (ReplacePath).
    void ReplaceTo(const FileLocation& target);
    // Closes and deletes the file.
    void Discard();

  private:
    void Create(const FileLocation& location);

    FileLocation m_location;
    PosixPlatform::FileWritingPath m_path;
    bool m_done = false;
};

// A new, uniquely named directory "temp..." that is deleted with all its contents when the owner goes,
// unless Keep was called. A failed deletion is logged at "debug", never thrown.
class TemporaryDirectoryLocation {
  public:
    // EmptyFileLocationError for an unset parent.
    explicit TemporaryDirectoryLocation(const FileLocation& parent);
    TemporaryDirectoryLocation(const TemporaryDirectoryLocation&) = delete;
    TemporaryDirectoryLocation& operator=(const TemporaryDirectoryLocation&) = delete;
    ~TemporaryDirectoryLocation();

    const FileLocation& GetLocation() const { return m_location; }
    void Keep() { m_keep = true; }

  private:
    FileLocation m_location;
    bool m_keep = false;
};

// Open files: FileReadingPath holds a file open for reading, FileWritingPath one open for reading and
// writing. They own the descriptor (closed by Close, by re-opening and by destruction) and nothing
// else; readers, writers and sinks (file_reader.h, file_writer.h) use them without owning them.
//
// Only regular files are opened: a directory, FIFO, device or socket is refused with
// FilePermissionError (EACCES). A FIFO is opened non-blocking first, so asking for one never hangs.
// Every read and write names its own 64-bit position, so several readers may share one open path.
// Descriptors are close-on-exec. Failures throw the FileIOError kinds of the open-file maps
// (file_errors.h), carrying the path and errno.
//
// Not locked: an open path is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/const_data.h"
#include "base/file_location.h"
#include "platform/file_descriptor.h"
#include "platform/file_system.h"
#include "platform/held_folder.h"

namespace PosixPlatform {

class FileReadingPath {
  public:
    FileReadingPath() = default;
    // Opens `location` for reading (FileNotFoundError when it does not exist).
    explicit FileReadingPath(const FileLocation& location);
    FileReadingPath(const FileReadingPath&) = delete;
    FileReadingPath& operator=(const FileReadingPath&) = delete;
    // Closes; a failing close is not reported.
    virtual ~FileReadingPath() = default;

    // Closes what is open, then opens `location`: for reading here, for reading and writing in
    // FileWritingPath.
    virtual void Open(const FileLocation& location);
    // Closes what is open, then opens `location` for reading as long as it stays inside the folder
    // `root` (held open from call to call, see held_folder.h). `location` is the root itself or a
    // location built below it from names (its text is the root's followed by "/" and the names;
    // InvalidFileLocation otherwise). Symbolic links on the way are followed, the root's own
    // included, but the file finally opened must lie inside the root: one that a link puts elsewhere
    // throws PathOutsideRootError carrying the location and the canonical path it led to, and nothing
    // outside the root is ever opened. Other failures are those of Open and of HeldFolder::Current.
    void OpenBeneath(HeldFolder& root, const FileLocation& location);
    void Close();

    bool IsOpen() const { return m_descriptor.IsValid(); }
    const FileLocation& GetLocation() const { return m_location; }
    std::uint64_t GetSize() const;
    // Size, last-write time and the rest of what a look-up tells, of the open file.
    PathStatus GetStatus() const;
    // The same, as the open found it (no further system call).
    const PathStatus& GetStatusAtOpen() const { return m_statusAtOpen; }

    // Reads up to `count` bytes at `position`; returns how many were read, 0 at the end of the file.
    std::size_t ReadAt(std::uint64_t position, Byte* buffer, std::size_t count) const;
    // Sends up to `count` bytes at `position` to a socket without copying them through the process
    // (sendfile); `sent` is the count taken, 0 at the end of the file. Answers 0, or the errno value of
    // the failure (EAGAIN when a non-blocking socket is full), as socket and file failures are the
    // caller's to tell apart.
    int SendToSocket(int socket, std::uint64_t position, std::size_t count, std::size_t& sent) const;
    // Copies the whole file, as long as it is now, to the start of `target` (in the kernel where it
    // can). EndOfFileError when the file shrinks meanwhile.
    void CopyContentTo(class FileWritingPath& target) const;

  protected:
    // How OpenWith treats an existing or missing file.
    enum class Disposition { OpenExisting, OpenAlways, CreateNew };
    void OpenWith(const FileLocation& location, bool forWriting, Disposition disposition);
    int Descriptor() const { return m_descriptor.Get(); }

  private:
    // Takes over `descriptor`, refusing anything but a regular file.
    void Adopt(const FileLocation& location, FileDescriptor descriptor);

    FileLocation m_location;
    FileDescriptor m_descriptor;
    PathStatus m_statusAtOpen;
};

class FileWritingPath : public FileReadingPath {
  public:
    FileWritingPath() = default;
    // Opens `location` with OpenCreateAlways: created when missing, emptied when present.
    explicit FileWritingPath(const FileLocation& location);

    // Opens an existing file for reading and writing (FileNotFoundError when it is missing).
    void Open(const FileLocation& location) override;
    // Opens the file, creating it when missing; keeps its content.
    void OpenAlways(const FileLocation& location);
    // Opens the file, creating it when missing; empties it.
    void OpenCreateAlways(const FileLocation& location);
    // Creates the file, which must not exist yet (FileExists otherwise).
    void OpenCreateNew(const FileLocation& location);

    // Writes the whole range at `position`.
    void WriteAt(std::uint64_t position, const Byte* begin, const Byte* end);
    // Makes the written data durable (fdatasync).
    void Flush();
    // Cuts or extends the file to `length` bytes.
    void SetLength(std::uint64_t length);
    // Gives the file these permission bits.
    void SetMode(unsigned mode);
};

}  // namespace PosixPlatform

// File errors: every failed file-system operation throws one class of the FileIOError family.
//
// The class says what went wrong (not found, exists, permission, disk full ...); the detail carries the
// path or paths concerned and the errno value of the failed call (0 when there was none). what() reads
//
//     File error "FileMoveError" on "/data/a" and "/data/b": System Error: 13: Permission denied
//
// where the "on", "and" and ": System Error" pieces appear only when there is a first path, a second
// path and a code. Callers catch the base or a kind; for many of them a missing file is no error.
#pragma once

#include <memory>
#include <string>

#include "base/const_data.h"
#include "base/exceptions.h"

class FileLocation;

class FileIOError : public DebuggableException {
  public:
    explicit FileIOError(int code = 0);
    FileIOError(ConstData path, int code);
    FileIOError(ConstData firstPath, ConstData secondPath, int code);
    FileIOError(const FileIOError& other);
    FileIOError& operator=(const FileIOError&) = delete;
    ~FileIOError() override;

    int Code() const;
    const std::string& FirstPath() const;
    const std::string& SecondPath() const;
    // Composed on the first call and kept; never throws (falls back to the class name).
    const char* what() const noexcept override;

  private:
    struct Detail;
    std::unique_ptr<Detail> m_detail;
};

// The kinds. Each adds nothing but its class; the comment says when the file operations throw it.
#define KVR_FILE_IO_ERROR_KIND(Kind)    \
    class Kind : public FileIOError {   \
      public:                           \
        using FileIOError::FileIOError; \
    }

KVR_FILE_IO_ERROR_KIND(EmptyFileLocationError);  // an operation was given an empty location
KVR_FILE_IO_ERROR_KIND(RootHasNoParent);         // the parent of "/" was asked for
KVR_FILE_IO_ERROR_KIND(InvalidFileLocation);     // the parent of a path without separator was asked for
KVR_FILE_IO_ERROR_KIND(FileNotFoundError);       // no such file, or a directory where a file was expected
KVR_FILE_IO_ERROR_KIND(DirectoryNotFoundError);  // no such directory or path component, or a file in its way
KVR_FILE_IO_ERROR_KIND(FileExists);              // a file to be created exists already
KVR_FILE_IO_ERROR_KIND(FileFoundError);          // the target of a move or copy exists
KVR_FILE_IO_ERROR_KIND(DirectoryExists);         // a temporary directory name exists already
KVR_FILE_IO_ERROR_KIND(DirectoryFoundError);     // a directory stands where a file is to be replaced
KVR_FILE_IO_ERROR_KIND(FileCreateFailed);        // a file could not be created or opened
KVR_FILE_IO_ERROR_KIND(DirectoryCreateFailed);   // a directory could not be created
KVR_FILE_IO_ERROR_KIND(FileMoveError);           // a move failed
KVR_FILE_IO_ERROR_KIND(FileCopyError);           // a copy failed
KVR_FILE_IO_ERROR_KIND(FilePermissionError);     // access denied, read-only file system, not a regular file
KVR_FILE_IO_ERROR_KIND(FileSeekError);           // a failed positioning, an I/O error
KVR_FILE_IO_ERROR_KIND(FileLockError);           // a lock conflict
KVR_FILE_IO_ERROR_KIND(DiskFullError);           // no space left, quota exceeded, file too large
KVR_FILE_IO_ERROR_KIND(EndOfFileError);          // a read found the end of the file first
KVR_FILE_IO_ERROR_KIND(FileItemError);           // a looked-up file is missing, or its time cannot be set

#undef KVR_FILE_IO_ERROR_KIND

// Which table maps an errno value to a kind. The general map serves the file operations; an open file
// uses the other four for its own calls (open, close and size; flush and set-length; reads; writes).
enum class FileErrorMap { General, OpenPath, Writing, Reading, Writer };

// Throws the kind that `map` gives for `code`, carrying the location's text and the code; does nothing
// for code 0. ENOENT is FileNotFoundError when the location's folder exists and DirectoryNotFoundError
// when it does not.
void ThrowFileIOErrorForCode(const FileLocation& location, int code,
                             FileErrorMap map = FileErrorMap::General);

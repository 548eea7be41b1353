// DirectoryListing: the names in one directory, in the order the file system gives them, with a
// look-up of each entry relative to the open directory. Owns its directory stream (close-on-exec).
// One thread at a time.
#pragma once

#include <dirent.h>

#include "base/file_location.h"
#include "platform/file_system.h"

namespace PosixPlatform {

class DirectoryListing {
  public:
    DirectoryListing() = default;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    ~DirectoryListing() { Close(); }

    // Closes what is open, then opens `directory`; false when it cannot be read (missing, not a
    // directory, no permission).
    bool Open(const FileLocation& directory);
    void Close();
    bool IsOpen() const { return m_stream != nullptr; }

    // The next name other than "." and ".."; null at the end, where the listing closes itself. The
    // text lives until the next call.
    const char* NextName();
    // Looks the entry `name` of the open directory up (LookUpPath for entries).
    int LookUp(const char* name, PathStatus& status) const;

  private:
    DIR* m_stream = nullptr;
};

}  // namespace PosixPlatform

// HeldFolder: a folder kept open by its path, for opening files beneath it again and again
// (FileReadingPath::OpenBeneath) without opening the folder itself each time.
//
// A use looks the path up (stat, following links, as an open would) and keeps the open descriptor
// only while the path still names the same folder (device and inode); a folder renamed, replaced or
// removed is followed at the next look-up. By default every use looks the path up, so a held folder
// behaves as the path opened anew every time; with a recheck period, a use within that time of the
// last look-up takes the descriptor as it is (a replaced folder is followed within the period). An
// empty location is held as nothing: Current throws EmptyFileLocationError.
//
// Used by one thread at a time.
#pragma once

#include <sys/types.h>

#include <chrono>

#include "base/file_location.h"
#include "platform/file_descriptor.h"

namespace PosixPlatform {

class HeldFolder {
  public:
    explicit HeldFolder(FileLocation location, std::chrono::microseconds recheckPeriod = {})
        : m_location(std::move(location)), m_recheckPeriod(recheckPeriod) {}
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    const FileLocation& GetLocation() const { return m_location; }
    // An O_PATH descriptor of the folder the location names now, valid until the next call; the
    // failures of opening the location (its FileIOError kinds, carrying the path and errno), and
    // DirectoryNotFoundError when it names no folder.
    int Current();

  private:
    void Reopen();

    FileLocation m_location;
    std::chrono::microseconds m_recheckPeriod;
    std::chrono::steady_clock::time_point m_lookedUpAt;
    FileDescriptor m_descriptor;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

}  // namespace PosixPlatform

// Directory change notification over inotify.
//
// StartChangeNotification arms a watch on a directory and returns its owner, a
// ChangeNotificationHandle. The handle is signalled, and its Descriptor() readable, once something the
// filter names has changed; ContinueChangeNotification takes the pending changes away and re-arms it.
// Wait for it with poll() on the descriptor, or together with an Event (Event::WaitWithHandle).
//
// Watching a subtree puts a watch on every directory below, links excepted, and on each directory
// created or moved in later (it is picked up when the handle is re-armed); such a watch is also
// signalled by the creation of files and directories, whatever the filter.
//
// One thread at a time; the descriptor may be waited on from any thread.
#pragma once

#include <cstdint>
#include <map>

#include "base/file_location.h"
#include "platform/file_descriptor.h"

// Filter bits: which changes signal the handle.
constexpr std::uint32_t kChangeNotifyFileName = 0x001;       // a file created, deleted, renamed
constexpr std::uint32_t kChangeNotifyDirectoryName = 0x002;  // a directory created, deleted, renamed
constexpr std::uint32_t kChangeNotifyAttributes = 0x004;     // permissions, owner, times set
constexpr std::uint32_t kChangeNotifySize = 0x008;           // a file written
constexpr std::uint32_t kChangeNotifyLastWrite = 0x010;      // a file written or closed after writing
constexpr std::uint32_t kChangeNotifyLastAccess = 0x020;     // a file read
constexpr std::uint32_t kChangeNotifyCreation = 0x040;       // an entry created
constexpr std::uint32_t kChangeNotifySecurity = 0x100;       // permissions or owner changed

class ChangeNotificationHandle {
  public:
    // No notification.
    ChangeNotificationHandle() = default;
    ChangeNotificationHandle(ChangeNotificationHandle&&) noexcept = default;
    ChangeNotificationHandle& operator=(ChangeNotificationHandle&&) noexcept = default;
    // Ends the notification.
    ~ChangeNotificationHandle() = default;

    bool IsValid() const { return m_descriptor.IsValid(); }
    // Readable while changes are pending; -1 when there is no notification.
    int Descriptor() const { return m_descriptor.Get(); }

  private:
    friend ChangeNotificationHandle StartChangeNotification(const FileLocation&, bool, std::uint32_t);
    friend void ContinueChangeNotification(ChangeNotificationHandle&);

    void WatchTree(const FileLocation& directory);

    PosixPlatform::FileDescriptor m_descriptor;
    bool m_watchSubtree = false;
    std::uint32_t m_mask = 0;
    std::map<int, FileLocation> m_watchedDirectories;  // watch descriptor -> directory (subtree only)
};

// Arms a notification on `directory`; Posix::Error when the system refuses (a missing directory is
// ENOENT, a file ENOTDIR).
ChangeNotificationHandle StartChangeNotification(const FileLocation& directory, bool watchSubtree,
                                                 std::uint32_t filter);
// Takes the pending changes away, so that the handle is signalled again only by new ones.
void ContinueChangeNotification(ChangeNotificationHandle& handle);

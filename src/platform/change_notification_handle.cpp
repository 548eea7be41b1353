#include "platform/change_notification_handle.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

#include "platform/directory_listing.h"
#include "platform/system_error.h"

namespace {

struct FilterEvents {
    std::uint32_t filter;
    std::uint32_t events;
};

const FilterEvents kFilterEvents[] = {
    {kChangeNotifyFileName | kChangeNotifyDirectoryName, IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO},
    {kChangeNotifyAttributes | kChangeNotifySecurity, IN_ATTRIB},
    {kChangeNotifySize, IN_MODIFY},
    {kChangeNotifyLastWrite, IN_MODIFY | IN_CLOSE_WRITE},
    {kChangeNotifyLastAccess, IN_ACCESS},
    {kChangeNotifyCreation, IN_CREATE},
};

std::uint32_t EventsFor(std::uint32_t filter) {
    std::uint32_t events = 0;
    for (const FilterEvents& entry : kFilterEvents) {
        if (filter & entry.filter) events |= entry.events;
    }
    return events;
}

}  // namespace

// Directories that vanish or cannot be read while the tree is walked are passed over.
void ChangeNotificationHandle::WatchTree(const FileLocation& directory) {
    int watch = ::inotify_add_watch(m_descriptor.Get(), directory.CString(), m_mask);
    if (watch < 0) return;
    m_watchedDirectories[watch] = directory;
    PosixPlatform::DirectoryListing listing;
    if (!listing.Open(directory)) return;
    while (const char* name = listing.NextName()) {
        PosixPlatform::PathStatus status;
        if (listing.LookUp(name, status) != 0) continue;
        if (status.Is(PosixPlatform::kFileAttributeDirectory) &&
            !status.Is(PosixPlatform::kFileAttributeReparsePoint)) {
            WatchTree(FileLocation((directory.GetPathString() + "/" + name).c_str()));
        }
    }
}

ChangeNotificationHandle StartChangeNotification(const FileLocation& directory, bool watchSubtree,
                                                 std::uint32_t filter) {
    ChangeNotificationHandle handle;
    handle.m_descriptor = PosixPlatform::FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!handle.m_descriptor.IsValid()) throw Posix::Error(errno);
    handle.m_watchSubtree = watchSubtree;
    handle.m_mask = EventsFor(filter) | IN_ONLYDIR | (watchSubtree ? IN_CREATE | IN_MOVED_TO : 0);
    int watch = ::inotify_add_watch(handle.m_descriptor.Get(), directory.CString(), handle.m_mask);
    if (watch < 0) throw Posix::Error(errno);
    if (watchSubtree) handle.WatchTree(directory);
    return handle;
}

void ContinueChangeNotification(ChangeNotificationHandle& handle) {
    alignas(struct inotify_event) char buffer[4096];
    while (true) {
        ssize_t length = ::read(handle.m_descriptor.Get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) return;
        if (length <= 0) throw Posix::Error(length < 0 ? errno : EIO);
        for (char* at = buffer; at < buffer + length;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(at);
            at += sizeof(struct inotify_event) + event->len;
            if (!handle.m_watchSubtree) continue;
            if (event->mask & IN_IGNORED) {
                handle.m_watchedDirectories.erase(event->wd);
            } else if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                auto parent = handle.m_watchedDirectories.find(event->wd);
                if (parent == handle.m_watchedDirectories.end()) continue;
                handle.WatchTree(FileLocation((parent->second.GetPathString() + "/" + event->name).c_str()));
            }
        }
    }
}

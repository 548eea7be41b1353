#include "foundation/change_notification.h"

#include "platform/event_descriptor.h"

namespace {

// File names, sizes and last writes: the changes that tell a reader of the directory to look again.
constexpr std::uint32_t kWatchedChanges = kChangeNotifyFileName | kChangeNotifySize | kChangeNotifyLastWrite;

}  // namespace

ChangeNotification::ChangeNotification(const FileLocation& directory)
    : m_handle(StartChangeNotification(directory, false, kWatchedChanges)) {}

bool ChangeNotification::Poll() {
    const int descriptors[] = {m_handle.Descriptor()};
    if (PosixPlatform::WaitForReadyDescriptor(descriptors, 0) < 0) return false;
    ContinueChangeNotification(m_handle);
    return true;
}

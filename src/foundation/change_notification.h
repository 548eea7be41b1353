// ChangeNotification: tells, without waiting, whether a directory's entries changed since the last
// look. It watches the directory itself, not the folders below it, for files created, deleted or
// renamed, written or resized.
//
// Poll answers true once per batch of changes and re-arms the watch. A worker that would rather wait
// hands Descriptor() to Event::WaitWithHandle together with its stop event. One thread at a time.
#pragma once

#include "base/file_location.h"
#include "platform/change_notification_handle.h"

class ChangeNotification {
  public:
    // Starts watching; Posix::Error when the directory cannot be watched (ENOENT when it is missing).
    explicit ChangeNotification(const FileLocation& directory);

    // True when something changed since the last Poll (or since the watch began); never blocks. A
    // failure to re-arm throws Posix::Error.
    bool Poll();
    // Readable while a change is pending.
    int Descriptor() const { return m_handle.Descriptor(); }

  private:
    ChangeNotificationHandle m_handle;
};

// PendingNotifications: what waits to be sent to one computer, merged so that a burst of
// notifications collapses into the few that matter. At most one entry per key; a newer entry for a
// key replaces the older:
//
//   GatherAction slot       the latest type 2
//   GatherActionMV slot     the latest type 13
//   ResendReport slot       one merged type 12: the smallest Argument, the largest Argument2, the
//                           latest ComputerID and sequence number
//   GatherHash(MV) maps     types 9 and 16, by Argument2 (0 when absent)
//   DownloadAvailable map   type 8, by Argument (0 when absent)
//   DownloadCRC map         type 21, by Argument (0 when absent)
//   command map             types 4, 7, 14 and 22, by type
//   WakeOnLanForward list   every type 20, in arrival order
//
// Other types are dropped. A slot whose sequence number is 0 is empty. A value; guarded by its
// owner (the notification dispatcher's lock).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "relay/register/client_notification.h"

// A notification as queued: the type it goes out as, the record and its ping sequence number.
struct QueuedNotification {
    std::uint32_t type = 0;
    ClientNotification notification{0};
    std::uint32_t sequence = 0;
};

class PendingNotifications {
  public:
    void Merge(const QueuedNotification& entry);
    // The entries in sending order: the GatherAction, GatherActionMV and ResendReport slots (those
    // not empty), the GatherHash, GatherHashMV, DownloadAvailable, DownloadCRC and command maps in
    // ascending key order, then the wake-on-LAN list in arrival order.
    std::vector<QueuedNotification> Expand() const;

  private:
    using EntryMap = std::map<std::uint32_t, QueuedNotification>;

    void MergeResendReport(const QueuedNotification& entry);

    std::optional<QueuedNotification> m_gatherAction;
    std::optional<QueuedNotification> m_gatherActionMV;
    std::optional<QueuedNotification> m_resendReport;
    EntryMap m_gatherHash;
    EntryMap m_gatherHashMV;
    EntryMap m_downloadAvailable;
    EntryMap m_downloadCRC;
    EntryMap m_commands;
    std::vector<QueuedNotification> m_wakeOnLanForwards;
};

#include "relay/register/pending_notifications.h"

#include <algorithm>

namespace {

using namespace NotificationType;

void AppendSlot(std::vector<QueuedNotification>& entries, const std::optional<QueuedNotification>& slot) {
    if (slot && slot->sequence != 0) entries.push_back(*slot);
}

void AppendMap(std::vector<QueuedNotification>& entries, const std::map<std::uint32_t, QueuedNotification>& map) {
    for (const auto& [key, entry] : map) entries.push_back(entry);
}

}  // namespace

void PendingNotifications::Merge(const QueuedNotification& entry) {
    const ClientNotification& notification = entry.notification;
    switch (entry.type) {
        case kGatherAction:
            m_gatherAction = entry;
            break;
        case kGatherActionMV:
            m_gatherActionMV = entry;
            break;
        case kForceRefresh:
        case kRegister:
        case kForceRefreshMV:
        case kWakeFromDeepSleep:
            m_commands[entry.type] = entry;
            break;
        case kDownloadAvailable:
            m_downloadAvailable[notification.argument.value_or(0)] = entry;
            break;
        case kDownloadCRC:
            m_downloadCRC[notification.argument.value_or(0)] = entry;
            break;
        case kGatherHash:
            m_gatherHash[notification.argument2.value_or(0)] = entry;
            break;
        case kGatherHashMV:
            m_gatherHashMV[notification.argument2.value_or(0)] = entry;
            break;
        case kResendReport:
            MergeResendReport(entry);
            break;
        case kWakeOnLanForward:
            m_wakeOnLanForwards.push_back(entry);
            break;
        default:
            break;
    }
}

// The slot starts as Argument 0xFFFFFFFF and Argument2 0, so the first report's range is its own.
void PendingNotifications::MergeResendReport(const QueuedNotification& entry) {
    std::uint32_t lowest = 0xFFFFFFFF;
    std::uint32_t highest = 0;
    if (m_resendReport) {
        lowest = m_resendReport->notification.argument.value_or(0);
        highest = m_resendReport->notification.argument2.value_or(0);
    }
    const ClientNotification& notification = entry.notification;
    m_resendReport = QueuedNotification{
        kResendReport,
        ClientNotification(kResendReport, std::min(lowest, notification.argument.value_or(0)), 0u,
                           std::max(highest, notification.argument2.value_or(0)), notification.computerID),
        entry.sequence};
}

std::vector<QueuedNotification> PendingNotifications::Expand() const {
    std::vector<QueuedNotification> entries;
    AppendSlot(entries, m_gatherAction);
    AppendSlot(entries, m_gatherActionMV);
    AppendSlot(entries, m_resendReport);
    AppendMap(entries, m_gatherHash);
    AppendMap(entries, m_gatherHashMV);
    AppendMap(entries, m_downloadAvailable);
    AppendMap(entries, m_downloadCRC);
    AppendMap(entries, m_commands);
    entries.insert(entries.end(), m_wakeOnLanForwards.begin(), m_wakeOnLanForwards.end());
    return entries;
}

#include "relay/register/pending_notifications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace NotificationType;

QueuedNotification Entry(std::uint32_t type, std::uint32_t sequence, std::optional<std::uint32_t> argument = {},
                         std::optional<std::uint32_t> argument2 = {}) {
    return QueuedNotification{type, ClientNotification(type, argument, {}, argument2, 77u), sequence};
}

// type:sequence per entry, in sending order.
std::string Order(const PendingNotifications& record) {
    std::string text;
    for (const QueuedNotification& entry : record.Expand())
        text += (text.empty() ? "" : " ") + std::to_string(entry.type) + ":" + std::to_string(entry.sequence);
    return text;
}

TEST(PendingNotificationsTest, ResendReportsMergeIntoTheirWidestRangeAndLatestSequence) {
    PendingNotifications record;
    record.Merge(Entry(kResendReport, 10, 5u, 10u));
    record.Merge(Entry(kResendReport, 20, 3u, 12u));
    record.Merge(Entry(kResendReport, 30, 7u, 11u));
    std::vector<QueuedNotification> entries = record.Expand();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].notification.argument, 3u);
    EXPECT_EQ(entries[0].notification.argument2, 12u);
    EXPECT_EQ(entries[0].notification.argument1MV, 0u);
    EXPECT_EQ(entries[0].notification.computerID, 77u);
    EXPECT_EQ(entries[0].sequence, 30u);
}

struct MergeCase {
    const char* what;
    std::vector<QueuedNotification> queued;
    std::string sent;
};

TEST(PendingNotificationsTest, KeepsOneEntryPerKeyAndSendsInFixedOrder) {
    const MergeCase cases[] = {
        {"the later GatherAction replaces the earlier", {Entry(kGatherAction, 2, 1u), Entry(kGatherAction, 4, 2u)},
         "2:4"},
        {"slots before maps, maps in their order, commands by type, wake-on-LAN last in arrival order",
         {Entry(kWakeOnLanForward, 91), Entry(kRegister, 70), Entry(kForceRefresh, 40), Entry(kDownloadCRC, 21, 5u),
          Entry(kDownloadAvailable, 80, 9u), Entry(kGatherHashMV, 61, 1u, 3u), Entry(kGatherHash, 90, 1u, 3u),
          Entry(kResendReport, 12, 1u, 2u), Entry(kGatherActionMV, 13, 1u), Entry(kGatherAction, 22, 1u),
          Entry(kWakeOnLanForward, 93)},
         "2:22 13:13 12:12 9:90 16:61 8:80 21:21 4:40 7:70 20:91 20:93"},
        {"map keys: downloads by Argument, sites by Argument2, ascending as unsigned numbers",
         {Entry(kDownloadAvailable, 1, 0xFFFFFFF0u), Entry(kDownloadAvailable, 2, 3u), Entry(kDownloadAvailable, 3, 3u),
          Entry(kGatherHash, 4, 1u, 9u), Entry(kGatherHash, 5, 2u), Entry(kDownloadAvailable, 6)},
         "9:5 9:4 8:6 8:3 8:1"},
        {"a slot with sequence 0 is empty", {Entry(kGatherAction, 0, 1u), Entry(kWakeFromDeepSleep, 8)}, "22:8"},
        {"types without a place are dropped", {Entry(3, 5, 1u), Entry(11, 5), Entry(kForceRefreshMV, 6)}, "14:6"},
    };
    for (const MergeCase& c : cases) {
        PendingNotifications record;
        for (const QueuedNotification& entry : c.queued) record.Merge(entry);
        EXPECT_EQ(Order(record), c.sent) << c.what;
    }
}

}  // namespace

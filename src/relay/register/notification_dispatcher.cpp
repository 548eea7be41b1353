#include "relay/register/notification_dispatcher.h"

#include <algorithm>

#include "foundation/clocks.h"
#include "foundation/log_manager.h"
#include "relay/register/client_registration_list.h"

namespace {

constexpr std::uint32_t kNoSequence = 0xFFFFFFFF;
constexpr std::uint32_t kHighestEvenType = 12;

std::uint32_t DrawSequence() {
    std::uint32_t value = 0;
    do {
        value = static_cast<std::uint32_t>(GetPerformanceCounter());
    } while (value == kNoSequence);
    return value;
}

// The low bit of the number tells the client whether the type is above 12.
std::uint32_t MarkSequence(std::uint32_t type, std::uint32_t sequence) {
    return type > kHighestEvenType ? (sequence | 1u) : (sequence & ~1u);
}

}  // namespace

NotificationDispatcher& NotificationDispatcher::Instance() {
    static NotificationDispatcher dispatcher(
        [](std::uint64_t id) { return ClientRegistrationList::Instance().GetRoute(id); });
    return dispatcher;
}

NotificationDispatcher::NotificationDispatcher(RouteLookup route) : m_route(std::move(route)) {}

void NotificationDispatcher::Queue(std::uint32_t type, const ClientNotification& notification,
                                   std::uint32_t sequence) {
    if (!notification.computerID) return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_pending[*notification.computerID].Merge(QueuedNotification{type, notification, sequence});
}

NotificationDispatcher::Batch NotificationDispatcher::TakeBatch(std::size_t maximum) {
    std::lock_guard<std::mutex> guard(m_lock);
    Batch batch;
    std::size_t count = 0;
    auto start = m_resumeKey == 0 ? m_pending.begin() : m_pending.lower_bound(m_resumeKey);
    auto stop = TakeFrom(start, maximum, count, batch);
    if (stop == m_pending.end() && count < maximum && m_resumeKey != 0)
        stop = TakeFrom(m_pending.begin(), maximum, count, batch);
    m_resumeKey = stop == m_pending.end() ? 0 : stop->first;
    return batch;
}

std::map<std::uint64_t, PendingNotifications>::iterator NotificationDispatcher::TakeFrom(
    std::map<std::uint64_t, PendingNotifications>::iterator from, std::size_t maximum, std::size_t& count,
    Batch& batch) {
    while (from != m_pending.end() && count < maximum) {
        try {
            IPAddress address = m_route(from->first);
            count += from->second.Expand().size();
            batch.emplace_back(address, std::move(from->second));
        } catch (const std::exception&) {
            // No route: the computer's notifications are lost.
        }
        from = m_pending.erase(from);
    }
    return from;
}

void NotificationDispatcher::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pending.clear();
}

void NotificationDispatcher::RunStep(const DispatchSettings& settings, Event& stop) {
    UDPNotificationSender sender(settings.port, settings.repetitionSetting);
    RunStep(settings, sender, [&stop](std::uint32_t milliseconds) {
        stop.Wait(static_cast<std::int64_t>(milliseconds) * 1000);
    });
}

// The batch maximum is at least 1: with BatchCount 0, or below the repetitions, a maximum of 0 would
// never send anything while the queue grew.
void NotificationDispatcher::RunStep(const DispatchSettings& settings, NotificationSender& sender,
                                     const DispatchPause& pause) {
    if (settings.childMessagesDisabled) {
        Clear();
        pause(settings.batchDelay);
        return;
    }
    std::size_t maximum = std::max<std::size_t>(1, settings.batchCount / sender.Repetitions());
    Batch batch = TakeBatch(maximum);
    if (batch.empty()) {
        pause(settings.batchDelay);
        m_sent = 0;
        return;
    }
    SendBatch(batch, settings, sender, pause);
}

void NotificationDispatcher::SendBatch(const Batch& batch, const DispatchSettings& settings,
                                       NotificationSender& sender, const DispatchPause& pause) {
    for (const auto& [address, record] : batch) {
        for (const QueuedNotification& entry : record.Expand()) {
            bool failed = false;
            try {
                sender.Send(entry.type, entry.notification, address, m_sent, entry.sequence);
            } catch (const UDPSocketError& error) {
                KVR_LOG("critical") << "Notification to " << FormatIPAddress(address).View()
                                    << " not sent: " << error.what();
                failed = true;
            }
            if (m_sent > settings.batchCount) {
                pause(settings.batchDelay);
                m_sent = 0;
            }
            if (failed) break;
        }
    }
}

std::uint32_t SendToComputer(std::uint32_t type, const ClientNotification& notification, std::uint32_t sequence,
                             NotificationDispatcher& dispatcher, ClientCommandStore& commands) {
    // A given 1 marked for a type of 12 or less would become 0, which the pending record takes for
    // an empty slot: such a notification would never be sent. A new number is drawn instead.
    if (sequence == 0 || MarkSequence(type, sequence) == 0) {
        do {
            sequence = MarkSequence(type, DrawSequence());
        } while (sequence == 0);
    } else {
        sequence = MarkSequence(type, sequence);
    }
    dispatcher.Queue(type, notification, sequence);
    commands.Update(type, notification, sequence);
    return sequence;
}

void SendToComputers(std::uint32_t type, const ClientNotification& notification,
                     const std::vector<std::uint64_t>& computerIDs, std::uint32_t sequence,
                     NotificationDispatcher& dispatcher, ClientCommandStore& commands) {
    for (std::uint64_t id : computerIDs) {
        ClientNotification copy = notification;
        copy.computerID = id;
        SendToComputer(type, copy, sequence, dispatcher, commands);
    }
}

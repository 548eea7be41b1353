// NotificationDispatcher: the queue of notifications for single computers, sent by the client-register
// worker in paced batches of UDP packets.
//
// Queued notifications are merged into one PendingNotifications record per computer
// (pending_notifications.h). A batch takes records out of the map in ascending computer ID from
// where the last batch stopped (the resume key), wrapping round once, until it holds at least the
// batch maximum of entries; a computer's record is never split, so a batch may exceed the maximum by
// the entries of its last computer. A computer whose route cannot be found loses its record.
//
// Pacing: after every packet, when more than BatchCount packets have gone out since the last pause,
// the worker pauses BatchDelay milliseconds; an empty batch costs one pause. The sent counter lasts
// from one pass to the next.
//
// A failed send is logged and costs only that destination's remaining packets of the batch; the
// batch goes on with the next destination.
//
// Threads: Queue, TakeBatch and Clear may be called from any thread; one lock, held for each of them
// (TakeBatch takes the registration list's lock under it, through the route lookup), never while
// sending. RunStep runs on one worker thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "foundation/event.h"
#include "net/ip_address.h"
#include "relay/register/client_command_store.h"
#include "relay/register/pending_notifications.h"
#include "relay/register/udp_notification_sender.h"

// The worker's settings for one pass (client_register_configuration.h).
struct DispatchSettings {
    bool childMessagesDisabled = false;  // DisableChildUDPMessages != 0
    std::uint32_t batchCount = 100;
    std::uint16_t port = 52311;  // UDPMessagePort
    std::uint32_t batchDelay = 1000;  // milliseconds
    std::uint32_t repetitionSetting = 1;  // PingRepetitionCount
};

// Where the worker's pauses go: a wait of the milliseconds on the stop event, or a test's clock.
using DispatchPause = std::function<void(std::uint32_t milliseconds)>;

class NotificationDispatcher {
  public:
    // The address a computer's notifications go to; throws when it has none.
    using RouteLookup = std::function<IPAddress(std::uint64_t computerID)>;
    using Batch = std::vector<std::pair<IPAddress, PendingNotifications>>;

    // The process-wide dispatcher, built on first use, routing through the registration list.
    static NotificationDispatcher& Instance();

    explicit NotificationDispatcher(RouteLookup route);
    NotificationDispatcher(const NotificationDispatcher&) = delete;
    NotificationDispatcher& operator=(const NotificationDispatcher&) = delete;

    // Merges the entry into the record of the notification's ComputerID; dropped without one.
    void Queue(std::uint32_t type, const ClientNotification& notification, std::uint32_t sequence);
    // Takes records out of the map (above); at least one computer's when the map is not empty.
    Batch TakeBatch(std::size_t maximum);
    void Clear();

    // One pass of the worker with a UDP sender for the settings, pausing on the stop event.
    void RunStep(const DispatchSettings& settings, Event& stop);
    // One pass through the given sender and pause. With child messages disabled: clears the queue and
    // pauses. Otherwise takes a batch of at most BatchCount / repetitions entries (at least 1), sends
    // it, and pauses after a packet that takes the sent counter above BatchCount; an empty batch
    // pauses once.
    void RunStep(const DispatchSettings& settings, NotificationSender& sender, const DispatchPause& pause);

  private:
    // Appends the records from `from` on to the batch until it reaches the maximum; answers where the
    // walk stopped (the map's end when it ran out).
    std::map<std::uint64_t, PendingNotifications>::iterator TakeFrom(
        std::map<std::uint64_t, PendingNotifications>::iterator from, std::size_t maximum, std::size_t& count,
        Batch& batch);
    void SendBatch(const Batch& batch, const DispatchSettings& settings, NotificationSender& sender,
                   const DispatchPause& pause);

    RouteLookup m_route;
    std::mutex m_lock;
    std::map<std::uint64_t, PendingNotifications> m_pending;
    std::uint64_t m_resumeKey = 0;
    std::uint32_t m_sent = 0;  // packets since the last pause
};

// Queues the notification for its ComputerID and records it in the command store. A sequence number
// of 0 draws a new one from the performance counter (never 0xFFFFFFFF); bit 0 is then set for a type
// above 12 and cleared for the others. A number that this makes 0 (1 for a type of 12 or less) is
// drawn anew too, since 0 marks an empty entry. Answers the sequence number used.
std::uint32_t SendToComputer(std::uint32_t type, const ClientNotification& notification, std::uint32_t sequence,
                             NotificationDispatcher& dispatcher = NotificationDispatcher::Instance(),
                             ClientCommandStore& commands = ClientCommandStore::Instance());
// SendToComputer for each computer in list order, the notification's ComputerID set to it; a
// sequence number of 0 draws a new one for each.
void SendToComputers(std::uint32_t type, const ClientNotification& notification,
                     const std::vector<std::uint64_t>& computerIDs, std::uint32_t sequence,
                     NotificationDispatcher& dispatcher = NotificationDispatcher::Instance(),
                     ClientCommandStore& commands = ClientCommandStore::Instance());

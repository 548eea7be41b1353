// ClientCommandStore: the latest commands queued for each computer (register, force refresh,
// resend reports), which a client that missed its ping fetches over HTTP (RequestType
// "FetchCommands"). Only in memory.
//
// The store is bounded: a state not updated for kStateLifetime is forgotten, and when kMaxStates
// computers have states, a new one first pushes out the least recently updated. States of
// computers that are not (or no longer) registered are kept like any other until then.
//
// Threads: every member may be called from any thread; one lock of its own, held for each call and
// never while another lock is taken.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "relay/register/client_notification.h"

struct ClientCommandState {
    std::uint32_t registerSequence = 0;   // of the last type 7
    std::uint32_t refreshSequence = 0;    // of the last type 4 or 14
    std::uint32_t refreshMVArgument = 0;  // of the last type 14
    std::uint32_t refreshArgument = 0;    // of the last type 4
    std::uint32_t resendSequence = 0;     // of the last type 12
    std::uint32_t resendLowest = 0xFFFFFFFF;  // smallest Argument of the type 12 entries
    std::uint32_t resendHighest = 0;          // largest Argument2 of the type 12 entries

    bool operator==(const ClientCommandState&) const = default;
};

class ClientCommandStore {
  public:
    static constexpr std::size_t kMaxStates = 100'000;
    static constexpr std::int64_t kStateLifetime = 86'400;  // seconds

    // Seconds on a clock that never goes back.
    using Clock = std::function<std::int64_t()>;

    // The process-wide store, built on first use.
    static ClientCommandStore& Instance();

    // On the monotonic clock.
    ClientCommandStore();
    explicit ClientCommandStore(Clock clock, std::size_t maxStates = kMaxStates);
    ClientCommandStore(const ClientCommandStore&) = delete;
    ClientCommandStore& operator=(const ClientCommandStore&) = delete;

    // Records a notification of a command type for its ComputerID (nothing without one):
    //   4   RefreshSequence = sequence, RefreshArgument = Argument (0 when absent)
    //   7   RegisterSequence = sequence
    //   12  ResendLowest = min(itself, Argument), ResendHighest = max(itself, Argument2), absent
    //       arguments taken as 0; ResendSequence = sequence
    //   14  RefreshSequence = sequence, RefreshMVArgument = Argument1MV, else Argument, else 0
    // Other types change nothing, though the state is still made.
    void Update(std::uint32_t type, const ClientNotification& notification, std::uint32_t sequence);
    // The computer's state, removed from the store; a new state when it has none.
    ClientCommandState Take(std::uint64_t computerID);
    void Remove(std::uint64_t computerID);
    std::size_t Size() const;

  private:
    struct Entry {
        ClientCommandState state;
        std::int64_t updated = 0;
    };

    ClientCommandState& StateToUpdate(std::uint64_t computerID, std::int64_t now);
    void DropExpired(std::int64_t now);
    void Erase(std::map<std::uint64_t, Entry>::iterator entry);

    Clock m_clock;
    std::size_t m_maxStates;
    mutable std::mutex m_lock;
    std::map<std::uint64_t, Entry> m_states;
    std::set<std::pair<std::int64_t, std::uint64_t>> m_byUpdate;  // (updated, computer ID)
};

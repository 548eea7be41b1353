#include "relay/register/client_command_store.h"

#include <algorithm>

#include "foundation/clocks.h"

namespace {

using namespace NotificationType;

std::int64_t MonotonicSeconds() {
    return GetMonotonicTime() / 1'000'000;
}

}  // namespace

ClientCommandStore& ClientCommandStore::Instance() {
    static ClientCommandStore store;
    return store;
}

ClientCommandStore::ClientCommandStore() : ClientCommandStore(MonotonicSeconds) {}

ClientCommandStore::ClientCommandStore(Clock clock, std::size_t maxStates)
    : m_clock(std::move(clock)), m_maxStates(std::max<std::size_t>(maxStates, 1)) {}

void ClientCommandStore::Update(std::uint32_t type, const ClientNotification& notification, std::uint32_t sequence) {
    if (!notification.computerID) return;
    std::lock_guard<std::mutex> guard(m_lock);
    ClientCommandState& state = StateToUpdate(*notification.computerID, m_clock());
    switch (type) {
        case kForceRefresh:
            state.refreshSequence = sequence;
            state.refreshArgument = notification.argument.value_or(0);
            break;
        case kRegister:
            state.registerSequence = sequence;
            break;
        case kResendReport:
            state.resendLowest = std::min(state.resendLowest, notification.argument.value_or(0));
            state.resendHighest = std::max(state.resendHighest, notification.argument2.value_or(0));
            state.resendSequence = sequence;
            break;
        case kForceRefreshMV:
            state.refreshSequence = sequence;
            state.refreshMVArgument = notification.argument1MV.value_or(notification.argument.value_or(0));
            break;
        default:
            break;
    }
}

ClientCommandState ClientCommandStore::Take(std::uint64_t computerID) {
    std::lock_guard<std::mutex> guard(m_lock);
    DropExpired(m_clock());
    auto found = m_states.find(computerID);
    if (found == m_states.end()) return {};
    ClientCommandState state = found->second.state;
    Erase(found);
    return state;
}

void ClientCommandStore::Remove(std::uint64_t computerID) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_states.find(computerID);
    if (found != m_states.end()) Erase(found);
}

std::size_t ClientCommandStore::Size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_states.size();
}

// An updated state moves to the young end of the age order; room for a new one is made from the
// old end.
ClientCommandState& ClientCommandStore::StateToUpdate(std::uint64_t computerID, std::int64_t now) {
    DropExpired(now);
    auto found = m_states.find(computerID);
    if (found != m_states.end()) {
        m_byUpdate.erase({found->second.updated, computerID});
    } else {
        if (m_states.size() >= m_maxStates) Erase(m_states.find(m_byUpdate.begin()->second));
        found = m_states.emplace(computerID, Entry{}).first;
    }
    found->second.updated = now;
    m_byUpdate.emplace(now, computerID);
    return found->second.state;
}

void ClientCommandStore::DropExpired(std::int64_t now) {
    while (!m_byUpdate.empty() && now - m_byUpdate.begin()->first >= kStateLifetime)
        Erase(m_states.find(m_byUpdate.begin()->second));
}

void ClientCommandStore::Erase(std::map<std::uint64_t, Entry>::iterator entry) {
    m_byUpdate.erase({entry->second.updated, entry->first});
    m_states.erase(entry);
}

#include "foundation/thread_group.h"

void ThreadGroup::Start(std::function<void()> call) {
    DropFinished();
    // The entry is listed before its thread starts, so that nothing can fail between a started thread
    // and its entry; a failed start takes the entry out again.
    Entry& entry = m_entries.emplace_back(Entry{std::make_unique<CallableFunction>(std::move(call)), {}});
    try {
        entry.thread = StartCallableThread(*entry.call);
    } catch (...) {
        m_entries.pop_back();
        throw;
    }
}

void ThreadGroup::JoinAll() {
    for (Entry& entry : m_entries) WaitAndCloseThreadHandle(entry.thread);
    m_entries.clear();
}

void ThreadGroup::DropFinished() {
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (IsThreadFinished(entry->thread))
            entry = m_entries.erase(entry);
        else
            ++entry;
    }
}

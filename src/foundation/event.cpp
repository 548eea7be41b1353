#include "foundation/event.h"

std::uint32_t MicrosecondsToWaitMilliseconds(std::int64_t microseconds) {
    if (microseconds == kWaitWithoutLimit) return PosixPlatform::kInfiniteWait;
    std::int64_t milliseconds = microseconds / 1000;  // C++ division truncates toward zero
    if (milliseconds < 0) return 0;
    if (milliseconds > kLongestLimitedWaitMilliseconds) return kLongestLimitedWaitMilliseconds;
    return static_cast<std::uint32_t>(milliseconds);
}

// The descriptor is the event's state. m_isSet runs ahead of it: Set raises it before making the
// descriptor readable and Reset lowers it after clearing the descriptor, so while it is true the
// descriptor is readable or about to be, and a wait may answer true without a system call. A
// lowered flag proves nothing (a concurrent Set and Reset may leave it lower than the descriptor),
// so only the descriptor can answer false. The flag's release store and the waiters' acquire loads
// also order what the setter wrote before Set before what a woken waiter reads.

void Event::Set() {
    m_isSet.store(true, std::memory_order_release);
    m_descriptor.Signal();
}

void Event::Reset() {
    m_descriptor.Clear();
    m_isSet.store(false, std::memory_order_release);
}

bool Event::Wait(std::int64_t microseconds) {
    const int descriptors[] = {m_descriptor.Get()};
    return WaitForDescriptors(descriptors, microseconds);
}

bool Event::WaitWithHandle(int descriptor, std::int64_t microseconds) {
    const int descriptors[] = {m_descriptor.Get(), descriptor};
    return WaitForDescriptors(descriptors, microseconds);
}

bool Event::WaitForDescriptors(std::span<const int> descriptors, std::int64_t microseconds) {
    if (m_isSet.load(std::memory_order_acquire)) return true;
    if (PosixPlatform::WaitForReadyDescriptor(descriptors, MicrosecondsToWaitMilliseconds(microseconds)) < 0)
        return false;
    m_isSet.load(std::memory_order_acquire);  // pairs with Set's release store
    return true;
}

bool WaitOnEvent(Event& event, std::int64_t microseconds) {
    return event.Wait(microseconds);
}

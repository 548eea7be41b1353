#include "foundation/event.h"

std::uint32_t MicrosecondsToWaitMilliseconds(std::int64_t microseconds) {
    if (microseconds == kWaitWithoutLimit) return PosixPlatform::kInfiniteWait;
    std::int64_t milliseconds = microseconds / 1000;  // C++ division truncates toward zero
    if (milliseconds < 0) return 0;
    if (milliseconds > kLongestLimitedWaitMilliseconds) return kLongestLimitedWaitMilliseconds;
    return static_cast<std::uint32_t>(milliseconds);
}

void Event::Set() {
    std::lock_guard<std::mutex> change(m_change);
    m_isSet.store(true, std::memory_order_release);
    m_descriptor.Signal();
}

void Event::Reset() {
    std::lock_guard<std::mutex> change(m_change);
    m_descriptor.Clear();
    m_isSet.store(false, std::memory_order_release);
}

bool Event::Wait(std::int64_t microseconds) {
    if (IsSetNow()) return true;
    std::uint32_t milliseconds = MicrosecondsToWaitMilliseconds(microseconds);
    if (milliseconds == 0) return false;
    const int descriptors[] = {m_descriptor.Get()};
    if (PosixPlatform::WaitForReadyDescriptor(descriptors, milliseconds) < 0) return false;
    IsSetNow();  // the acquire that pairs with Set's release
    return true;
}

bool Event::WaitWithHandle(int descriptor, std::int64_t microseconds) {
    if (IsSetNow()) return true;
    const int descriptors[] = {m_descriptor.Get(), descriptor};
    if (PosixPlatform::WaitForReadyDescriptor(descriptors, MicrosecondsToWaitMilliseconds(microseconds)) < 0)
        return false;
    IsSetNow();
    return true;
}

bool WaitOnEvent(Event& event, std::int64_t microseconds) {
    return event.Wait(microseconds);
}

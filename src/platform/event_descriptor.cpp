#include "platform/event_descriptor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

using Clock = std::chrono::steady_clock;

timespec ToTimespec(Clock::duration duration) {
    if (duration < Clock::duration::zero()) duration = Clock::duration::zero();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(duration - seconds);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

}  // namespace

EventDescriptor::EventDescriptor() : m_descriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    Posix::CheckResult(m_descriptor.IsValid());
}

void EventDescriptor::Signal() {
    std::uint64_t one = 1;
    // The counter only has to be non-zero. EAGAIN means it is already at its maximum: still set.
    if (::write(Get(), &one, sizeof one) < 0 && errno != EAGAIN) Posix::ThrowLastError();
}

void EventDescriptor::Clear() {
    std::uint64_t count = 0;
    // One read returns the whole counter and zeroes it; EAGAIN means it was zero already.
    if (::read(Get(), &count, sizeof count) < 0 && errno != EAGAIN) Posix::ThrowLastError();
}

int WaitForReadyDescriptor(std::span<const int> descriptors, std::uint32_t milliseconds) {
    // Waits are frequent (every loop polls the stop event), so the poll set lives on the stack.
    if (descriptors.size() > kMaxWaitedDescriptors) throw Posix::Error(EINVAL);
    pollfd polled[kMaxWaitedDescriptors];
    for (std::size_t i = 0; i < descriptors.size(); ++i) polled[i] = pollfd{descriptors[i], POLLIN, 0};

    // ppoll takes a relative time-out; after a signal the rest of the time is waited from a deadline
    // on the monotonic clock, so that signals can neither shorten nor stretch a wait.
    const bool limited = milliseconds != kInfiniteWait;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        timespec rest{};
        if (limited) rest = ToTimespec(deadline - Clock::now());
        int ready = ::ppoll(polled, descriptors.size(), limited ? &rest : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Posix::ThrowLastError();
        }
        if (ready == 0) return -1;
        for (std::size_t i = 0; i < descriptors.size(); ++i) {
            if (polled[i].revents & POLLNVAL) throw Posix::Error(EBADF);
            if (polled[i].revents != 0) return static_cast<int>(i);
        }
    }
}

}  // namespace PosixPlatform

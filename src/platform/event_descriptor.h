// The Linux side of events and waits: an eventfd that stays readable from Signal until Clear (a
// manual-reset event), and a wait for the first of several descriptors to become ready.
//
// Waiting through descriptors lets one wait watch an event together with any other descriptor (an
// inotify descriptor, a pipe, a socket). Every member may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file_descriptor.h"

namespace PosixPlatform {

// A wait of this many milliseconds has no limit.
constexpr std::uint32_t kInfiniteWait = 0xFFFFFFFF;

class EventDescriptor {
  public:
    // A clear event; a failure of eventfd throws Posix::Error.
    EventDescriptor();

    // Makes the descriptor readable; it stays so until Clear.
    void Signal();
    // Makes the descriptor unreadable again; clearing a clear event does nothing.
    void Clear();
    int Get() const { return m_descriptor.Get(); }

  private:
    FileDescriptor m_descriptor;
};

constexpr std::size_t kMaxWaitedDescriptors = 8;

// Waits until at least one descriptor is readable, hung up or in error, at most `milliseconds`
// (kInfiniteWait: without limit; 0: only looks). Returns the index of the first ready descriptor, or
// -1 when the time ran out. A signal that interrupts the wait does not end it early. A failed wait,
// a descriptor that is not open, or more than kMaxWaitedDescriptors throw Posix::Error.
int WaitForReadyDescriptor(std::span<const int> descriptors, std::uint32_t milliseconds);

}  // namespace PosixPlatform

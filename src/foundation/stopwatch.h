// Stopwatch: elapsed time on the monotonic clock, in microseconds, accumulated over the spans
// between Start and Stop. A new stopwatch is stopped with nothing accumulated. Not locked: one owner
// at a time.
#pragma once

#include <cstdint>

class Stopwatch {
  public:
    // Runs from now on; a running stopwatch starts its current span again.
    void Start();
    // Adds the running span to the accumulated time and stops; a stopped stopwatch stays as it is.
    void Stop();
    // Stopped, with nothing accumulated.
    void Reset();
    // The accumulated time plus, while running, the time since Start.
    std::uint64_t GetElapsed() const;

  private:
    std::uint64_t RunningSpan() const;

    std::uint64_t m_accumulated = 0;
    std::uint64_t m_start = 0;
    bool m_running = false;
};

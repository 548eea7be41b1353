// HTTPRequestContext: what a request sent through the platform request sender carries besides the
// request itself: its time limits, the interruptor that can stop it and its pacing wishes (no
// throttle at first).
//
// The context starts with an interruptor of its own that never interrupts; a request that has a
// stop condition (a handler's CheckForStop, a caller's stop functor) puts its own interruptor in,
// which must outlive the request. One request at a time.
#pragma once

#include <cstdint>

#include "foundation/interruptor.h"
#include "net/throttle_request.h"

class HTTPRequestContext {
  public:
    // Microseconds.
    static constexpr std::int64_t kRequestTimeLimit = 60'000'000;  // the whole request
    static constexpr std::int64_t kConnectTimeLimit = 30'000'000;  // making the connection
    static constexpr std::int64_t kReceiveTimeLimit = 30'000'000;  // waiting for the next bytes

    HTTPRequestContext() = default;
    HTTPRequestContext(const HTTPRequestContext&) = delete;
    HTTPRequestContext& operator=(const HTTPRequestContext&) = delete;

    Interruptor& ActiveInterruptor() const { return *m_active; }
    void SetInterruptor(Interruptor& interruptor) { m_active = &interruptor; }

    ThrottleRequest& Throttle() { return m_throttle; }

  private:
    Interruptor m_ownInterruptor;
    Interruptor* m_active = &m_ownInterruptor;
    ThrottleRequest m_throttle;
};

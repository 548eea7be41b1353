// HTTPRequestContext: what a request sent through the libcurl request sender (curl_request_sender.h)
// carries besides the request itself: its time limits, the user agent text, the interruptor that can
// stop it and its pacing wishes (no throttle at first).
//
// The context starts with an interruptor of its own that never interrupts; a request that has a
// stop condition (a handler's CheckForStop, a caller's stop functor) puts its own interruptor in,
// which must outlive the request. One request at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/interruptor.h"
#include "net/throttle_request.h"

class HTTPRequestContext {
  public:
    // Microseconds.
    static constexpr std::int64_t kDefaultConnectTimeLimit = 60'000'000;  // making the connection
    static constexpr std::int64_t kDefaultSendTimeLimit = 30'000'000;     // longest pause in sending
    static constexpr std::int64_t kDefaultReceiveTimeLimit = 30'000'000;  // longest pause in receiving

    HTTPRequestContext() = default;
    HTTPRequestContext(const HTTPRequestContext&) = delete;
    HTTPRequestContext& operator=(const HTTPRequestContext&) = delete;

    // The connect limit covers the name look-up, the TCP connect, the proxy tunnel and the TLS
    // handshake; the send and receive limits bound how long the exchange may go without a byte
    // moving. Microseconds; 0 (or less) sets no limit of our own.
    std::int64_t ConnectTimeLimit() const { return m_connectTimeLimit; }
    std::int64_t SendTimeLimit() const { return m_sendTimeLimit; }
    std::int64_t ReceiveTimeLimit() const { return m_receiveTimeLimit; }
    void SetTimeLimits(std::int64_t connect, std::int64_t send, std::int64_t receive) {
        m_connectTimeLimit = connect;
        m_sendTimeLimit = send;
        m_receiveTimeLimit = receive;
    }

    // Sent as "User-Agent" unless the request names one itself; empty (the default) sends none.
    const std::string& UserAgent() const { return m_userAgent; }
    void SetUserAgent(std::string userAgent) { m_userAgent = std::move(userAgent); }

    Interruptor& ActiveInterruptor() const { return *m_active; }
    void SetInterruptor(Interruptor& interruptor) { m_active = &interruptor; }

    ThrottleRequest& Throttle() { return m_throttle; }

  private:
    std::int64_t m_connectTimeLimit = kDefaultConnectTimeLimit;
    std::int64_t m_sendTimeLimit = kDefaultSendTimeLimit;
    std::int64_t m_receiveTimeLimit = kDefaultReceiveTimeLimit;
    std::string m_userAgent;
    Interruptor m_ownInterruptor;
    Interruptor* m_active = &m_ownInterruptor;
    ThrottleRequest m_throttle;
};

// Raw loopback sockets that stand for peers of the relay in tests: a TCP listener that takes
// connections and never answers them (a relay that hangs), and a UDP socket that receives what the
// relay sends to a client.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class SilentTCPListener {
  public:
    // On 127.0.0.1, on a port of the system's choosing; nothing is ever accepted.
    SilentTCPListener();
    ~SilentTCPListener();
    SilentTCPListener(const SilentTCPListener&) = delete;
    SilentTCPListener& operator=(const SilentTCPListener&) = delete;

    std::uint16_t Port() const { return m_port; }

  private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

class UDPReceiver {
  public:
    // Bound to the IPv4 address and port (0: of the system's choosing).
    UDPReceiver(const char* address, std::uint16_t port);
    ~UDPReceiver();
    UDPReceiver(const UDPReceiver&) = delete;
    UDPReceiver& operator=(const UDPReceiver&) = delete;

    bool IsBound() const { return m_bound; }
    std::uint16_t Port() const { return m_port; }
    // The next datagram that arrives within the time; empty when none came.
    std::string Receive(std::chrono::milliseconds limit);

  private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
    bool m_bound = false;
};

// PortReservation: a port a test names itself (a relay's, a Squid's, a UDP listener's), kept from
// every other test program on this machine for as long as the object lives.
//
// The port is chosen at random below the range the system hands out for bind(0) and for outgoing
// connections, so no ephemeral socket can take it either. It is reserved by an exclusive flock on
// "/tmp/kvr-test-ports/<port>.lock", one folder for the whole machine whatever the build tree, the
// user or $TMPDIR (made sticky and writable by all), taken before the port is checked free for TCP
// and UDP; a port whose lock another holder has is skipped. The lock goes with the object (or with
// the process, however it ends), and the port may then be handed out again.
//
// A reservation keeps nothing bound: whoever does not ask for one (a foreign program, a test that
// binds the port by hand) can still take the port between the check and the bind.
#pragma once

#include <cstdint>

class PortReservation {
  public:
    // Throws std::runtime_error when no port could be reserved.
    PortReservation();
    ~PortReservation();
    PortReservation(PortReservation&& other) noexcept;
    PortReservation& operator=(PortReservation&& other) noexcept;
    PortReservation(const PortReservation&) = delete;
    PortReservation& operator=(const PortReservation&) = delete;

    std::uint16_t Port() const { return m_port; }

  private:
    int m_lock = -1;
    std::uint16_t m_port = 0;
};

// The process's socket layer: prepared once at start-up (SIGPIPE ignored, the descriptor limit
// raised, the address families and protocols the kernel offers counted), then read-only.
//
// One process-wide instance (SocketSystem::Instance) is started by the relay service before any
// other thread uses sockets; the outgoing sockets and the address resolution read its answers.
// Before a successful start every question about families answers false.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class SocketSystem {
  public:
    enum class State { NotStarted = 0, Success = 1, Error = 3, TimedOut = 4, Stopped = 5 };

    // Answers 0 when a socket of the family, type and protocol can be made, else the errno value.
    using ProtocolProbe = std::function<int(int family, int type, int protocol)>;
    // Answers true when start-up must give up (a stop was requested).
    using StopCheck = std::function<bool()>;

    static SocketSystem& Instance();

    // Probe: how start-up asks the kernel what it offers (tests pass their own).
    explicit SocketSystem(ProtocolProbe probe = ProbeKernelProtocol);

    // Tries to start; when that fails, waits `delayMilliseconds` and tries again, `retries` times at
    // most. Each wait is cut into slices of at most 250 ms, and `stopRequested` (which may be empty)
    // is asked before each slice: when it answers true, start-up ends at once in state Stopped.
    // Answers whether the socket layer is usable.
    bool Start(unsigned retries, std::int64_t delayMilliseconds, const StopCheck& stopRequested);

    // Empty when started; otherwise the state's name and the errno value of the last failure, such
    // as "Error with error code 97".
    std::string Describe() const;
    State GetState() const { return m_state; }
    bool IsStarted() const { return m_started; }

    bool IsIPv4Available() const { return m_started && m_ipv4.Any(); }
    bool IsIPv6Available() const { return m_started && m_ipv6.Any(); }
    // Both families are there: outgoing sockets may be dual-stack IPv6 sockets.
    bool IsIPv6Preferred() const { return m_started && m_ipv4.Any() && m_ipv6.Any(); }
    // Whether sockets of the family (AF_INET, AF_INET6), protocol and type can be made; protocol 0
    // or SOCK_RAW ask whether the family is there at all.
    bool IsAvailable(int family, int protocol, int type) const;

    static int ProbeKernelProtocol(int family, int type, int protocol);

  private:
    struct FamilyCensus {
        bool tcp = false;
        bool udp = false;
        bool Any() const { return tcp || udp; }
    };

    // One try: counts what the kernel offers; answers 0 on success, else the errno value.
    int TryStart();

    ProtocolProbe m_probe;
    State m_state = State::NotStarted;
    int m_lastError = 0;
    bool m_started = false;
    FamilyCensus m_ipv4;
    FamilyCensus m_ipv6;
};

// The address-family choice of a setting text: 1 for "Ipv6ThenIpv4", 3 for "OnlyIpv4", 0 for
// anything else (ASCII case ignored).
int ParseAddressFamilyChoice(std::string_view text);

// The families (AF_INET6, AF_INET) to try for a choice, each only when available and only once:
// 1 IPv6 then IPv4, 2 IPv6 only, 3 IPv4 only, anything else IPv4 then IPv6.
std::vector<int> AddressFamilyOrder(int choice, const SocketSystem& system = SocketSystem::Instance());

// True for the special name "..localmachine" (ASCII case ignored) and, when allowed, for the
// machine's own host name.
bool IsLocalHostName(std::string_view name, bool allowMachineName);

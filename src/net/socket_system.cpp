#include "net/socket_system.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "base/character_classes.h"
#include "platform/host_name.h"
#include "platform/socket_process_setup.h"

namespace {

constexpr std::int64_t kStopCheckSliceMilliseconds = 250;

const char* StateName(SocketSystem::State state) {
    switch (state) {
        case SocketSystem::State::Success:
            return "Success";
        case SocketSystem::State::Error:
            return "Error";
        case SocketSystem::State::TimedOut:
            return "Timed Out";
        case SocketSystem::State::Stopped:
            return "Stopped";
        default:
            return "Unknown";
    }
}

// Waits the delay in slices, asking before each; answers false when a stop was requested.
bool WaitUnlessStopped(std::int64_t delayMilliseconds, const SocketSystem::StopCheck& stopRequested) {
    for (std::int64_t left = delayMilliseconds; left > 0; left -= kStopCheckSliceMilliseconds) {
        if (stopRequested && stopRequested()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kStopCheckSliceMilliseconds)));
    }
    return true;
}

}  // namespace

SocketSystem& SocketSystem::Instance() {
    static SocketSystem instance;
    return instance;
}

SocketSystem::SocketSystem(ProtocolProbe probe) : m_probe(std::move(probe)) {}

int SocketSystem::ProbeKernelProtocol(int family, int type, int protocol) {
    int socket = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (socket == -1) return errno;
    ::close(socket);
    return 0;
}

bool SocketSystem::Start(unsigned retries, std::int64_t delayMilliseconds, const StopCheck& stopRequested) {
    PosixPlatform::PrepareProcessForSockets();
    for (;;) {
        m_state = State::Error;
        m_lastError = TryStart();
        if (m_lastError == 0) {
            m_state = State::Success;
            m_started = true;
            return true;
        }
        if (retries == 0) return false;
        if (!WaitUnlessStopped(delayMilliseconds, stopRequested)) {
            m_state = State::Stopped;
            return false;
        }
        m_state = State::TimedOut;
        --retries;
    }
}

// The kernel needs no start-up of its own; what can fail is making sockets at all (no free
// descriptor, no IPv4 or IPv6 in the kernel), so a try counts what can be made and succeeds when
// any TCP socket can.
int SocketSystem::TryStart() {
    int firstError = 0;
    auto probe = [&](int family, int type, int protocol) {
        int error = m_probe(family, type, protocol);
        if (error != 0 && firstError == 0) firstError = error;
        return error == 0;
    };
    m_ipv4.tcp = probe(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_ipv4.udp = probe(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    m_ipv6.tcp = probe(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    m_ipv6.udp = probe(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    if (m_ipv4.tcp || m_ipv6.tcp) return 0;
    return firstError != 0 ? firstError : EAFNOSUPPORT;
}

std::string SocketSystem::Describe() const {
    if (m_started) return {};
    return std::string(StateName(m_state)) + " with error code " + std::to_string(m_lastError);
}

bool SocketSystem::IsAvailable(int family, int protocol, int type) const {
    if (!m_started) return false;
    const FamilyCensus* census = family == AF_INET ? &m_ipv4 : family == AF_INET6 ? &m_ipv6 : nullptr;
    if (!census) return false;
    if (protocol == 0 || type == SOCK_RAW) return census->Any();
    if (protocol == IPPROTO_TCP) return census->tcp && type == SOCK_STREAM;
    if (protocol == IPPROTO_UDP) return census->udp && type == SOCK_DGRAM;
    return false;
}

std::vector<int> AddressFamilyOrder(int choice, const SocketSystem& system) {
    std::vector<int> wanted;
    switch (choice) {
        case 1:
            wanted = {AF_INET6, AF_INET};
            break;
        case 2:
            wanted = {AF_INET6};
            break;
        case 3:
            wanted = {AF_INET};
            break;
        default:
            wanted = {AF_INET, AF_INET6};
    }
    std::erase_if(wanted, [&](int family) {
        return family == AF_INET ? !system.IsIPv4Available() : !system.IsIPv6Available();
    });
    return wanted;
}

namespace {

}  // namespace

int ParseAddressFamilyChoice(std::string_view text) {
    if (Ascii::EqualIgnoringCase(text, "Ipv6ThenIpv4")) return 1;
    if (Ascii::EqualIgnoringCase(text, "OnlyIpv4")) return 3;
    return 0;
}

bool IsLocalHostName(std::string_view name, bool allowMachineName) {
    if (Ascii::EqualIgnoringCase(name, "..localmachine")) return true;
    if (!allowMachineName) return false;
    std::optional<std::string> machine = PosixPlatform::LocalHostName();
    return machine && Ascii::EqualIgnoringCase(name, *machine);  // host names ignore case
}

#include "support/port_reservation.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// Machine-wide on purpose: test programs of several build trees, run by several users with their own
// $TMPDIR, compete for the same ports, so they must meet in one folder.
constexpr const char* kLockFolder = "/tmp/kvr-test-ports";
constexpr unsigned kLowestReservedPort = 20000;
constexpr int kPortsTried = 1000;

// The first port the system hands out for bind(0) and for outgoing connections.
unsigned LowestEphemeralPort() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0;
    if (!(range >> low) || low <= kLowestReservedPort + 1000 || low > 65535) low = 32768;
    return low;
}

void MakeLockFolder() {
    if (::mkdir(kLockFolder, 01777) == 0) {
        // mkdir leaves out what the umask masks; every user must be able to add a lock file.
        ::chmod(kLockFolder, 01777);
    } else if (errno != EEXIST) {
        throw std::runtime_error(std::string("PortReservation: cannot make ") + kLockFolder);
    }
}

// The port's lock file, opened for flock (read access is enough). Lock files are never removed:
// removing one while another process waits to lock it would let two holders lock two files of one
// name. An existing file is opened without O_CREAT, which a sticky folder may refuse for a file of
// another user; -1 when the file cannot be opened at all, and the port is left to its owner.
int OpenLockFile(unsigned port) {
    const std::string path = std::string(kLockFolder) + "/" + std::to_string(port) + ".lock";
    int lock = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock < 0 && errno == ENOENT) {
        lock = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (lock >= 0) ::fchmod(lock, 0644);
    }
    return lock;
}

// True when a socket of the type binds the port on every address: IPv6 and IPv4 at once, or IPv4
// alone on a system without IPv6.
bool CanBind(int type, unsigned port) {
    int probe = ::socket(AF_INET6, type | SOCK_CLOEXEC, 0);
    bool bound = false;
    if (probe >= 0) {
        int off = 0;
        ::setsockopt(probe, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<std::uint16_t>(port));
        bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    } else if ((probe = ::socket(AF_INET, type | SOCK_CLOEXEC, 0)) >= 0) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    if (probe >= 0) ::close(probe);
    return bound;
}

}  // namespace

PortReservation::PortReservation() {
    MakeLockFolder();
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<unsigned> pick(kLowestReservedPort, LowestEphemeralPort() - 1);
    for (int attempt = 0; attempt < kPortsTried; ++attempt) {
        const unsigned port = pick(random);
        const int lock = OpenLockFile(port);
        if (lock < 0) continue;
        // The lock first, then the check: a port checked free is then ours until the lock goes.
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0 && CanBind(SOCK_STREAM, port) && CanBind(SOCK_DGRAM, port)) {
            m_lock = lock;
            m_port = static_cast<std::uint16_t>(port);
            return;
        }
        ::close(lock);
    }
    throw std::runtime_error(std::string("PortReservation: no free port to reserve in ") + kLockFolder);
}

PortReservation::~PortReservation() {
    if (m_lock >= 0) ::close(m_lock);
}

PortReservation::PortReservation(PortReservation&& other) noexcept
    : m_lock(std::exchange(other.m_lock, -1)), m_port(std::exchange(other.m_port, 0)) {}

PortReservation& PortReservation::operator=(PortReservation&& other) noexcept {
    if (this != &other) {
        if (m_lock >= 0) ::close(m_lock);
        m_lock = std::exchange(other.m_lock, -1);
        m_port = std::exchange(other.m_port, 0);
    }
    return *this;
}

// Port reservations made by several test programs at once, as a parallel test run makes them.
#include "support/port_reservation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kProcesses = 8;
constexpr int kReservationsEach = 8;

// A pipe whose ends close when it goes.
class Pipe {
  public:
    Pipe() { EXPECT_EQ(::pipe(m_ends), 0); }
    ~Pipe() {
        CloseReadEnd();
        CloseWriteEnd();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int ReadEnd() const { return m_ends[0]; }
    int WriteEnd() const { return m_ends[1]; }
    void CloseReadEnd() { Close(m_ends[0]); }
    void CloseWriteEnd() { Close(m_ends[1]); }
    // Blocks until the write end is closed everywhere.
    void AwaitClosed() {
        char byte;
        while (::read(ReadEnd(), &byte, 1) > 0) {
        }
    }

  private:
    static void Close(int& end) {
        if (end >= 0) ::close(end);
        end = -1;
    }
    int m_ends[2] = {-1, -1};
};

// A child process: waits for the start, reserves its ports, writes them and holds them until the
// parent lets go. It never returns into the test program.
[[noreturn]] void ReserveAndHold(Pipe& start, Pipe& ports, Pipe& release) {
    start.CloseWriteEnd();
    ports.CloseReadEnd();
    release.CloseWriteEnd();
    start.AwaitClosed();
    std::vector<PortReservation> held;
    try {
        for (int i = 0; i < kReservationsEach; ++i) held.emplace_back();
    } catch (...) {
        ::_exit(1);
    }
    for (const PortReservation& reservation : held) {
        const std::uint16_t port = reservation.Port();
        if (::write(ports.WriteEnd(), &port, sizeof port) != sizeof port) ::_exit(2);
    }
    release.AwaitClosed();
    ::_exit(0);
}

}  // namespace

// 8 processes reserve 8 ports each at the same moment and hold them all: no port is handed out twice.
TEST(PortReservation, ManyProcessesAtOnceNeverShareAPort) {
    Pipe start, ports, release;
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ReserveAndHold(start, ports, release);
        children.push_back(child);
    }
    ports.CloseWriteEnd();
    start.CloseWriteEnd();

    std::vector<std::uint16_t> handedOut;
    std::uint16_t port;
    while (::read(ports.ReadEnd(), &port, sizeof port) == sizeof port) {
        handedOut.push_back(port);
        if (handedOut.size() == kProcesses * kReservationsEach) break;
    }
    // While the children hold them, each port's lock is taken for any other program that asks.
    for (std::uint16_t held : handedOut) {
        const std::string lockFile = "/tmp/kvr-test-ports/" + std::to_string(held) + ".lock";
        const int lock = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(lock, 0) << lockFile;
        EXPECT_NE(::flock(lock, LOCK_EX | LOCK_NB), 0) << lockFile;
        if (lock >= 0) ::close(lock);
    }
    release.CloseWriteEnd();
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(handedOut.size(), static_cast<std::size_t>(kProcesses * kReservationsEach));
    EXPECT_EQ(std::set<std::uint16_t>(handedOut.begin(), handedOut.end()).size(), handedOut.size());
}

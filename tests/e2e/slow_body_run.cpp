#include "e2e/slow_body_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kTick{50};
constexpr std::chrono::seconds kCheckPeriod{1};
constexpr milliseconds kMostTakingIn{60'000};

// A client socket connected to the relay over loopback, closed when it goes.
class Connection {
  public:
    explicit Connection(std::uint16_t port) : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_socket < 0 || ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect to the relay");
    }
    ~Connection() {
        if (m_socket >= 0) ::close(m_socket);
    }
    Connection(Connection&& other) noexcept : m_socket(std::exchange(other.m_socket, -1)) {}
    Connection& operator=(Connection&&) = delete;

    int Get() const { return m_socket; }
    // Sends what the socket takes now; answers the count (0 when it takes nothing or is gone).
    std::size_t SendSome(std::string_view bytes) const {
        const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return sent > 0 ? static_cast<std::size_t>(sent) : 0;
    }
    void SendAll(std::string_view bytes) const {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) throw std::runtime_error("cannot send to the relay");
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    // Takes what has arrived into `reply`; answers false once the relay has closed the connection.
    bool ReceiveSome(std::string& reply) const {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                reply.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }

  private:
    int m_socket;
};

std::string PostHead(const std::string& target, std::size_t contentLength) {
    return "POST " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(contentLength) +
           "\r\n\r\n";
}

// A value of /proc/<pid>/status ("Threads", "VmRSS" in KiB); 0 when the process is gone.
long ProcessStatusValue(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(name + ":")) return std::stol(line.substr(name.size() + 1));
    return 0;
}

// One GET answered within the limit with status 200, or what went wrong.
std::string CheckedGet(std::uint16_t port, const std::string& target, milliseconds limit, milliseconds& took) {
    const auto start = Clock::now();
    std::string reply;
    bool closed = false;
    try {
        Connection connection(port);
        connection.SendAll("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        while (!closed) {
            const auto left = duration_cast<milliseconds>(start + limit - Clock::now());
            if (left.count() <= 0) break;
            pollfd entry{connection.Get(), POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) == 1) closed = !connection.ReceiveSome(reply);
        }
    } catch (const std::exception& error) {
        reply = error.what();
    }
    took = duration_cast<milliseconds>(Clock::now() - start);
    const std::string statusLine = reply.substr(0, reply.find("\r\n"));
    if (!closed) return statusLine.empty() ? "no complete answer" : statusLine + " (not complete)";
    return statusLine.starts_with("HTTP/1.1 200") || statusLine.starts_with("HTTP/1.0 200") ? "" : statusLine;
}

struct SlowClient {
    Connection connection;
    Clock::time_point nextByte;
    std::size_t bytesLeft;  // 0 for a silent client
    std::string reply;
    bool closed = false;
};

class Run {
  public:
    Run(const RelayProcess& relay, const SlowBodyRunOptions& options) : m_relay(relay), m_options(options) {}

    SlowBodyRunResult Go() {
        RaiseDescriptorLimit();
        m_result.threadsAtStart = ProcessStatusValue(m_relay.Pid(), "Threads");
        m_result.residentKiBAtStart = ProcessStatusValue(m_relay.Pid(), "VmRSS");
        const auto opening = Clock::now();
        OpenSlowClients();
        AwaitTakenIn();
        m_result.takenInAfter = duration_cast<milliseconds>(Clock::now() - opening);
        m_result.residentKiBHolding = ProcessStatusValue(m_relay.Pid(), "VmRSS");
        m_start = Clock::now();
        std::thread checks([this] { RunChecks(); });
        try {
            DriveClients();
        } catch (...) {
            m_done = true;
            checks.join();
            throw;
        }
        m_done = true;
        checks.join();
        m_result.residentKiBAtEnd = ProcessStatusValue(m_relay.Pid(), "VmRSS");
        for (const SlowClient& client : m_slow) {
            if (!client.closed) ++m_result.slowStillOpen;
            if (!client.reply.empty()) ++m_result.slowAnswered;
        }
        return m_result;
    }

  private:
    // Each slow connection and each check takes a descriptor here.
    void RaiseDescriptorLimit() {
        rlimit limit{};
        const rlim_t wanted = static_cast<rlim_t>(m_options.silentClients + m_options.tricklingClients) + 256;
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
            limit.rlim_cur = std::min(wanted, limit.rlim_max);
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
    }

    void OpenSlowClients() {
        const std::string head = PostHead(m_options.slowTarget, m_options.slowContentLength);
        const int clients = m_options.silentClients + m_options.tricklingClients;
        const auto now = Clock::now();
        for (int i = 0; i < clients; ++i) {
            const bool trickling = i >= m_options.silentClients;
            const int t = i - m_options.silentClients;
            SlowClient client{Connection(m_relay.Port()),
                              now + (trickling ? m_options.trickleInterval * t / m_options.tricklingClients
                                               : milliseconds(0)),
                              trickling ? m_options.slowContentLength : 0};
            client.connection.SendAll(head);
            m_slow.push_back(std::move(client));
        }
    }

    // The relay takes one new client per pass: a GET that connects after the slow clients is answered
    // once they were all taken in.
    void AwaitTakenIn() {
        if (m_options.checkedTargets.empty()) return;
        milliseconds took{};
        const std::string failure = CheckedGet(m_relay.Port(), m_options.checkedTargets.front(), kMostTakingIn, took);
        if (!failure.empty()) throw std::runtime_error("the relay did not take the slow clients in: " + failure);
    }

    bool SteadyDone() const { return m_options.steadyTarget.empty() || m_steadyDone; }

    void DriveClients() {
        std::optional<Connection> steady;
        std::size_t steadySent = 0;
        if (!m_options.steadyTarget.empty()) {
            steady.emplace(m_relay.Port());
            steady->SendAll(PostHead(m_options.steadyTarget, m_options.steadyBody.size()));
        }
        const auto end = m_start + m_options.duration;
        const auto latestEnd = m_start + 2 * m_options.duration;
        while ((Clock::now() < end || !SteadyDone()) && Clock::now() < latestEnd) {
            std::this_thread::sleep_for(kTick);
            const auto now = Clock::now();
            for (SlowClient& client : m_slow) PumpSlowClient(client, now);
            if (steady && !m_steadyDone) {
                const auto due = static_cast<std::size_t>(m_options.steadyBytesPerSecond *
                                                          duration_cast<milliseconds>(now - m_start).count() / 1000);
                const std::size_t wanted = std::min(due, m_options.steadyBody.size());
                if (wanted > steadySent)
                    steadySent += steady->SendSome(std::string_view(m_options.steadyBody).substr(steadySent, wanted - steadySent));
                if (!steady->ReceiveSome(m_result.steadyReply)) {
                    m_steadyDone = true;
                    m_result.steadyTook = duration_cast<milliseconds>(now - m_start);
                }
            }
        }
    }

    void PumpSlowClient(SlowClient& client, Clock::time_point now) {
        if (client.closed) return;
        if (!client.connection.ReceiveSome(client.reply)) {
            client.closed = true;
            m_result.lastSlowClosedAfter =
                std::max(m_result.lastSlowClosedAfter, duration_cast<milliseconds>(now - m_start));
            return;
        }
        if (client.bytesLeft == 0 || now < client.nextByte) return;
        if (client.connection.SendSome("t") == 1) --client.bytesLeft;
        client.nextByte += m_options.trickleInterval;
    }

    void RunChecks() {
        for (int second = 0; !m_done; ++second) {
            const auto due = m_start + second * kCheckPeriod;
            std::this_thread::sleep_until(due);
            if (m_done) break;
            for (const std::string& target : m_options.checkedTargets) {
                milliseconds took{};
                const std::string failure = CheckedGet(m_relay.Port(), target, m_options.answerLimit, took);
                ++m_result.checks;
                if (!failure.empty() || took > m_options.answerLimit)
                    m_result.failedChecks.push_back(std::to_string(second) + " " + target + ": " +
                                                    (failure.empty() ? "200" : failure) + " after " +
                                                    std::to_string(took.count()) + " ms");
            }
            m_result.mostThreads = std::max(m_result.mostThreads, ProcessStatusValue(m_relay.Pid(), "Threads"));
            m_result.mostResidentKiB =
                std::max(m_result.mostResidentKiB, ProcessStatusValue(m_relay.Pid(), "VmRSS"));
        }
    }

    const RelayProcess& m_relay;
    const SlowBodyRunOptions& m_options;
    std::vector<SlowClient> m_slow;
    Clock::time_point m_start;
    std::atomic<bool> m_done{false};
    bool m_steadyDone = false;
    // The check thread alone writes the checks, the thread counts and the most resident memory until
    // it is joined; the driving thread the rest.
    SlowBodyRunResult m_result;
};

}  // namespace

SlowBodyRunResult RunSlowBodies(const RelayProcess& relay, const SlowBodyRunOptions& options) {
    return Run(relay, options).Go();
}

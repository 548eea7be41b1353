// hostile-load [CONNECTIONS] [SECONDS] [REQUESTS]: whether clients that hold their connections in
// hostile ways keep a well-behaved client from being served by a running relay, and what they cost it.
//
// Starts `kvrrelay -d` of this build (bench_relay.h) and puts two cached downloads in its sha1
// folder, 1 KiB and 10 MiB. The well-behaved client asks two targets, the 1 KiB file by SHA-1 and the
// client-register request "GetComputerID", one request per connection, each timed from the connect
// until the relay closed after the whole reply (given up after 10 s). Then:
//   - alone: each target REQUESTS / 4 times (at least 20), back to back;
//   - CONNECTIONS hostile clients (default 1500) connect, a third of each kind in turn:
//       slow head    the start of a GET head, then one byte of further header lines every trickle
//                    interval, never the blank line that ends the head;
//       slow reader  a GET of the 10 MiB file with a receive buffer of 4 KiB, reading 1 KiB every
//                    trickle interval;
//       half-closed  a GET of the 10 MiB file, then its sending side shut, never reading;
//     each acts once per trickle interval (HOSTILE_TRICKLE_SECONDS, default 5), spread evenly over
//     it. One the relay closes is connected again at once (a slow head or slow reader that reads the
//     close, any that sees a reset), so that CONNECTIONS stay held for the whole run; the
//     reconnections are counted by kind;
//   - meanwhile, for SECONDS (default 60), the well-behaved client asks each target REQUESTS times
//     (default 200), the requests evenly spaced over the run and the targets taking turns.
// Prints how long the relay took to take the hostile clients in (until a request that connected
// after them was answered) and its CPU time meanwhile; for each target and phase the requests, those not answered 200, the median, p99 and
// maximum latency and those above a second; the relay's resident memory (VmRSS) and open
// descriptors before the hostile clients, once they are held, the most during the hold, at its end,
// and 5 s after the hostile clients left; its threads; and its CPU time during the hold as a share of
// one core. Exits 1 when a request under load was not answered 200 within a second.
//
// The relay's "MaxConnections" (2048 by default) must stay above the hostile connections: with more
// than 1,900 of them it is set to CONNECTIONS + 256. Its "WriteTimeOut" (300 s by default) would end
// the replies to the slow readers and half-closed clients after five minutes without progress, which
// they cannot see; it is set to SECONDS + 300. The program prints the settings it changed.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_relay.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kDefaultMaxConnections = 2048;
constexpr int kMaxConnectionsHeadroom = 148;  // the well-behaved client, lingering closes, the probe
constexpr int kDefaultWriteTimeOut = 300;
constexpr int kWriteTimeOutMargin = 300;  // the hostile clients connect before the run's time starts
constexpr milliseconds kAnswerGoal{1000};
constexpr milliseconds kGiveUp{10'000};
constexpr milliseconds kTick{50};
constexpr std::size_t kSmallFileBytes = 1024;
constexpr std::size_t kLargeFileBytes = 10 * 1024 * 1024;
constexpr int kSlowReaderBufferBytes = 4096;
constexpr std::size_t kSlowReaderReadBytes = 1024;
constexpr const char* kTrickledHeaderLines = "X-Slow-Header: slow\r\n";
constexpr const char* kComputerIDTarget = "/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=GetComputerID";

double Milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

std::string GetHead(const std::string& target) {
    return "GET " + target + " HTTP/1.0\r\nHost: bench\r\n\r\n";
}

// The relay's CPU time so far (user and system), from /proc/PID/stat.
double CPUSeconds(pid_t process) {
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) Fail("no CPU time for the relay");
    std::istringstream fields(text.substr(nameEnd + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    // After the name: state is field 3 of the line; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 13; ++number) fields >> field;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

int OpenDescriptors(pid_t process) {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator entry("/proc/" + std::to_string(process) + "/fd", error), end;
         !error && entry != end; entry.increment(error))
        ++count;
    return count;
}

struct Answer {
    bool ok = false;  // 200 and the whole reply, before the relay closed
    double milliseconds = 0;
};

// One request of the well-behaved client on a connection of its own.
Answer TimedGet(std::uint16_t port, const std::string& target) {
    const auto start = Clock::now();
    Answer answer;
    std::string reply;
    bool closed = false;
    const int client = Connect(port);
    if (client >= 0 && SendAll(client, GetHead(target))) {
        char buffer[16384];
        while (!closed) {
            const auto left = std::chrono::duration_cast<milliseconds>(start + kGiveUp - Clock::now());
            pollfd entry{client, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) != 1) break;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got > 0)
                reply.append(buffer, static_cast<std::size_t>(got));
            else
                closed = true;
        }
    }
    if (client >= 0) ::close(client);
    answer.milliseconds = Milliseconds(Clock::now() - start);
    answer.ok = closed && (reply.rfind("HTTP/1.0 200 ", 0) == 0 || reply.rfind("HTTP/1.1 200 ", 0) == 0);
    return answer;
}

struct Figures {
    int requests = 0;
    int failed = 0;
    int late = 0;
    double median = 0, p99 = 0, most = 0;
};

Figures Summarise(const std::vector<Answer>& answers) {
    Figures figures;
    std::vector<double> times;
    for (const Answer& answer : answers) {
        ++figures.requests;
        if (!answer.ok) ++figures.failed;
        if (answer.milliseconds > Milliseconds(kAnswerGoal)) ++figures.late;
        times.push_back(answer.milliseconds);
    }
    if (times.empty()) return figures;
    std::sort(times.begin(), times.end());
    figures.median = times[times.size() / 2];
    figures.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    figures.most = times.back();
    return figures;
}

enum class Kind { kSlowHead, kSlowReader, kHalfClosed };
constexpr const char* kKindNames[] = {"slow head", "slow reader", "half-closed"};

struct HostileClient {
    Kind kind;
    int socket = -1;
    Clock::time_point nextStep;
    std::size_t trickled = 0;  // header bytes a slow head has sent
};

// The hostile clients, each acting once per trickle interval; the only user is the main thread.
class HostileClients {
  public:
    HostileClients(std::uint16_t port, const std::string& largeTarget, milliseconds trickle)
        : m_port(port), m_largeTarget(largeTarget), m_trickle(trickle) {}
    ~HostileClients() { CloseAll(); }

    // False when a connection failed.
    bool Open(int count) {
        const auto now = Clock::now();
        for (int i = 0; i < count; ++i) {
            HostileClient client{static_cast<Kind>(i % 3), -1, now + m_trickle * i / count};
            if (!Connect(client)) return false;
            m_clients.push_back(client);
        }
        return true;
    }

    // Lets every client that is due act; connects again those the relay has closed.
    void Step() {
        const auto now = Clock::now();
        for (HostileClient& client : m_clients) {
            if (now < client.nextStep) continue;
            client.nextStep += m_trickle;
            if (Act(client)) continue;
            ++m_reconnected[static_cast<int>(client.kind)];
            ::close(client.socket);
            client.socket = -1;
            client.trickled = 0;
            if (!Connect(client)) ++m_failedReconnections;
        }
    }

    void CloseAll() {
        for (HostileClient& client : m_clients)
            if (client.socket >= 0) ::close(client.socket);
        m_clients.clear();
    }

    int Reconnected(Kind kind) const { return m_reconnected[static_cast<int>(kind)]; }
    int FailedReconnections() const { return m_failedReconnections; }

  private:
    bool Connect(HostileClient& client) {
        int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client.kind == Kind::kSlowReader)
            ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &kSlowReaderBufferBytes, sizeof kSlowReaderBufferBytes);
        sockaddr_in address = LoopbackAddress(m_port);
        if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(socket);
            return false;
        }
        bool sent = false;
        switch (client.kind) {
            case Kind::kSlowHead:
                sent = SendAll(socket, "GET /vtmirror/downloads/0 HTTP/1.0\r\nHost: bench\r\n");
                break;
            case Kind::kSlowReader:
                sent = SendAll(socket, GetHead(m_largeTarget));
                break;
            case Kind::kHalfClosed:
                sent = SendAll(socket, GetHead(m_largeTarget)) && ::shutdown(socket, SHUT_WR) == 0;
                break;
        }
        ::fcntl(socket, F_SETFL, O_NONBLOCK);
        client.socket = socket;
        return sent;
    }

    // One step of the client; false once the relay has closed or reset its connection.
    bool Act(HostileClient& client) {
        char buffer[kSlowReaderReadBytes];
        switch (client.kind) {
            case Kind::kSlowHead: {
                // Whatever the relay answers (an error before it closes) is read and dropped.
                for (ssize_t got; (got = ::recv(client.socket, buffer, sizeof buffer, 0)) != -1;)
                    if (got == 0) return false;
                if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
                const std::string lines = kTrickledHeaderLines;
                const char byte = lines[client.trickled++ % lines.size()];
                return ::send(client.socket, &byte, 1, MSG_NOSIGNAL) == 1 || errno == EAGAIN;
            }
            case Kind::kSlowReader: {
                const ssize_t got = ::recv(client.socket, buffer, sizeof buffer, 0);
                return got > 0 || (got == -1 && (errno == EAGAIN || errno == EWOULDBLOCK));
            }
            case Kind::kHalfClosed: {
                // Never reads, so the relay's closing shows only as a reset.
                pollfd entry{client.socket, 0, 0};
                return ::poll(&entry, 1, 0) == 0 || (entry.revents & (POLLERR | POLLHUP)) == 0;
            }
        }
        return false;
    }

    std::uint16_t m_port;
    std::string m_largeTarget;
    milliseconds m_trickle;
    std::vector<HostileClient> m_clients;
    int m_reconnected[3] = {};
    int m_failedReconnections = 0;
};

struct RelaySample {
    double residentMiB = 0;
    int descriptors = 0;
    int threads = 0;
};

RelaySample Sample(pid_t relay) {
    return {ResidentMiB(relay), OpenDescriptors(relay), static_cast<int>(ProcessStatusNumber(relay, "Threads"))};
}

void PrintFigures(const char* phase, const char* target, const Figures& figures) {
    std::printf("| %s | %s | %d | %d | %.1f ms | %.1f ms | %.1f ms | %d |\n", phase, target, figures.requests,
                figures.failed, figures.median, figures.p99, figures.most, figures.late);
}

void PrintSample(const char* when, const RelaySample& sample) {
    std::printf("| %s | %.1f MiB | %d | %d |\n", when, sample.residentMiB, sample.descriptors, sample.threads);
}

}  // namespace

int main(int argc, char** argv) {
    const int connections = argc > 1 ? std::atoi(argv[1]) : 1500;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const int requests = argc > 3 ? std::atoi(argv[3]) : 200;
    const char* trickleSetting = std::getenv("HOSTILE_TRICKLE_SECONDS");
    const int trickleSeconds = trickleSetting != nullptr ? std::atoi(trickleSetting) : 5;
    if (connections < 3 || seconds <= 0 || requests <= 0 || trickleSeconds <= 0) {
        std::fprintf(stderr, "usage: hostile-load [CONNECTIONS] [SECONDS] [REQUESTS]\n");
        return 2;
    }
    RaiseDescriptorLimit(connections + 64);
    std::vector<std::pair<std::string, std::string>> settings;
    // A reply that makes no progress for "WriteTimeOut" is ended; the slow readers and half-closed
    // clients could not tell (the relay's system goes on sending what it had queued), so they are held
    // for the whole run instead.
    const int writeTimeOut = seconds + kWriteTimeOutMargin;
    settings.push_back({"_KVRRelay_HTTPServer_WriteTimeOut", std::to_string(writeTimeOut)});
    std::printf("The relay's WriteTimeOut set from %d to %d s\n", kDefaultWriteTimeOut, writeTimeOut);
    if (connections > kDefaultMaxConnections - kMaxConnectionsHeadroom) {
        const int most = connections + 256;
        settings.push_back({"_KVRRelay_HTTPServer_MaxConnections", std::to_string(most)});
        std::printf("The relay's MaxConnections raised from %d to %d\n", kDefaultMaxConnections, most);
    }
    BenchRelay relay(settings);
    const std::string sha1Folder = relay.Folder() + "/wwwroot/vtmirror/downloads/sha1";
    std::filesystem::create_directories(sha1Folder);
    const std::string small(kSmallFileBytes, 's'), large(kLargeFileBytes, 'l');
    std::ofstream(sha1Folder + "/" + Sha1Text(small)) << small;
    std::ofstream(sha1Folder + "/" + Sha1Text(large)) << large;
    const std::string smallTarget = "/vtmirror/downloads/sha1/" + Sha1Text(small);
    const std::string largeTarget = "/vtmirror/downloads/sha1/" + Sha1Text(large);
    const std::vector<std::string> targets{smallTarget, kComputerIDTarget};
    const char* targetNames[] = {"1 KiB file by SHA-1", "GetComputerID"};
    for (const std::string& target : targets)
        if (!TimedGet(relay.Port(), target).ok) Fail("the relay does not answer " + target);

    std::vector<Answer> alone[2], underLoad[2];
    for (int i = 0; i < 2 * std::max(20, requests / 4); ++i)
        alone[i % 2].push_back(TimedGet(relay.Port(), targets[i % 2]));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const RelaySample before = Sample(relay.Pid());

    HostileClients hostile(relay.Port(), largeTarget, std::chrono::seconds(trickleSeconds));
    const auto opening = Clock::now();
    const double cpuBeforeOpening = CPUSeconds(relay.Pid());
    if (!hostile.Open(connections)) Fail("a hostile client could not connect");
    // The relay takes one new client per pass: a request that connects after them waits for them all.
    const Answer takenIn = TimedGet(relay.Port(), smallTarget);
    const double openedSeconds = std::chrono::duration<double>(Clock::now() - opening).count();
    const double openingCPUMilliseconds = 1000 * (CPUSeconds(relay.Pid()) - cpuBeforeOpening);
    const RelaySample holding = Sample(relay.Pid());

    std::atomic<bool> clientDone{false};
    const auto start = Clock::now();
    const double cpuAtStart = CPUSeconds(relay.Pid());
    std::thread wellBehaved([&] {
        const auto spacing = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds)) / (2 * requests);
        for (int i = 0; i < 2 * requests; ++i) {
            std::this_thread::sleep_until(start + spacing * i);
            underLoad[i % 2].push_back(TimedGet(relay.Port(), targets[i % 2]));
        }
        clientDone = true;
    });
    RelaySample most = holding;
    int fewestDescriptors = holding.descriptors;
    auto nextSample = start;
    while (!clientDone || Clock::now() < start + std::chrono::seconds(seconds)) {
        hostile.Step();
        if (Clock::now() >= nextSample) {
            const RelaySample now = Sample(relay.Pid());
            most = {std::max(most.residentMiB, now.residentMiB), std::max(most.descriptors, now.descriptors),
                    std::max(most.threads, now.threads)};
            fewestDescriptors = std::min(fewestDescriptors, now.descriptors);
            nextSample += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(kTick);
    }
    wellBehaved.join();
    const double heldSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuShare = (CPUSeconds(relay.Pid()) - cpuAtStart) / heldSeconds;
    const RelaySample atEnd = Sample(relay.Pid());
    hostile.CloseAll();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const RelaySample after = Sample(relay.Pid());

    std::printf("%d hostile connections (a third each: slow head, slow reader, half-closed; trickle every %d s) "
                "held for %.0f s; opened in %.2f s, a request after them answered %s in %.1f ms; relay CPU time "
                "meanwhile %.0f ms (%.2f ms a connection)\n",
                connections, trickleSeconds, heldSeconds, openedSeconds, takenIn.ok ? "200" : "NOT 200",
                takenIn.milliseconds, openingCPUMilliseconds, openingCPUMilliseconds / connections);
    std::printf("Connected again after the relay closed them: slow head %d, slow reader %d, half-closed %d "
                "(%d failed)\n\n",
                hostile.Reconnected(Kind::kSlowHead), hostile.Reconnected(Kind::kSlowReader),
                hostile.Reconnected(Kind::kHalfClosed), hostile.FailedReconnections());
    std::printf("| phase | target | requests | not 200 | median | p99 | max | above 1 s |\n|---|---|---|---|---|---|---|---|\n");
    bool met = takenIn.ok;
    for (int t = 0; t < 2; ++t) PrintFigures("alone", targetNames[t], Summarise(alone[t]));
    for (int t = 0; t < 2; ++t) {
        const Figures figures = Summarise(underLoad[t]);
        PrintFigures("under load", targetNames[t], figures);
        met = met && figures.failed == 0 && figures.late == 0;
    }
    std::printf("\n| relay | resident memory | descriptors | threads |\n|---|---|---|---|\n");
    PrintSample("before", before);
    PrintSample("holding", holding);
    PrintSample("most while held", most);
    PrintSample("end of the hold", atEnd);
    std::printf("| fewest descriptors while held | | %d | |\n", fewestDescriptors);
    PrintSample("5 s after the hostile clients left", after);
    std::printf("\nRelay CPU time during the hold: %.1f%% of one core\n", 100 * cpuShare);
    std::printf("Goal (every request under load answered 200 within %lld ms): %s\n",
                static_cast<long long>(kAnswerGoal.count()), met ? "met" : "MISSED");
    return met ? 0 : 1;
}

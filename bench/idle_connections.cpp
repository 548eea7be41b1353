// idle-connections [CONNECTIONS] [SECONDS]: what idle connections cost the relay's HTTP server.
//
// Starts `file-server` (the program beside this one) on a free loopback port with a folder holding a
// 1 KiB file and a registry of its own, and measures the server process:
//   1. its CPU time over SECONDS (default 10) with no connection open;
//   2. its CPU time over SECONDS while CONNECTIONS clients (default 2000) each hold a connection on
//      which they sent part of a request head and then wait, and its resident memory then;
//   3. meanwhile, how long a new client takes from connect to the end of a 1 KiB reply (50 tries,
//      100 ms apart).
// For reference it also measures, during step 1, a bare loop in this process that does nothing but
// wait 10 ms at a time on an empty epoll set: the floor that the server's hundred passes a second
// cannot go below on this machine.
// Goals: at most 0.5% of one core with the idle connections, at most 64 MiB resident, every new
// client served within 10 ms. Prints the figures and exits 1 when a goal is missed.
//
// CPU time is the sum of the server's threads' run time (/proc/PID/task/*/schedstat, nanoseconds);
// resident memory is VmRSS of /proc/PID/status.

#include <dirent.h>
#include <pthread.h>
#include <sys/epoll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback_bench.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMostCorePercent = 0.5;
constexpr double kMostResidentMiB = 64;
constexpr double kMostNewClientMilliseconds = 10;
constexpr int kNewClientTries = 50;

// Seconds from connect to the server's close after a whole reply; negative when the request failed.
double ServeOnce(std::uint16_t port) {
    const auto start = Clock::now();
    const std::string reply = Exchange(port, "GET /1k HTTP/1.0\r\nHost: idle\r\n\r\n");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return reply.rfind("HTTP/1.0 200 ", 0) == 0 ? seconds : -1;
}

// Run time of every thread of the process, in nanoseconds.
std::uint64_t CPUNanoseconds(pid_t process) {
    const std::string tasks = "/proc/" + std::to_string(process) + "/task";
    std::uint64_t total = 0;
    DIR* folder = ::opendir(tasks.c_str());
    if (folder == nullptr) Fail("the server is gone");
    while (dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream stats(tasks + "/" + entry->d_name + "/schedstat");
        std::uint64_t runNanoseconds = 0;
        if (stats >> runNanoseconds) total += runNanoseconds;
    }
    ::closedir(folder);
    return total;
}

// Per cent of one core that the server used over the time.
double CorePercent(pid_t process, int seconds) {
    const std::uint64_t before = CPUNanoseconds(process);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const std::uint64_t used = CPUNanoseconds(process) - before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return 100.0 * static_cast<double>(used) / 1e9 / wall;
}

// A thread that waits 10 ms at a time on an empty epoll set until stopped; reports its CPU time.
class BareLoop {
  public:
    BareLoop() : m_thread([this] {
        int set = ::epoll_create1(EPOLL_CLOEXEC);
        epoll_event event{};
        while (!m_stop) ::epoll_wait(set, &event, 1, 10);
        ::close(set);
    }) {}
    ~BareLoop() {
        m_stop = true;
        m_thread.join();
    }
    std::uint64_t CPUNanoseconds() {
        clockid_t clock;
        timespec used{};
        if (pthread_getcpuclockid(m_thread.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0)
            return 0;
        return static_cast<std::uint64_t>(used.tv_sec) * 1'000'000'000 + static_cast<std::uint64_t>(used.tv_nsec);
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
    const int connections = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (connections <= 0 || seconds <= 0) {
        std::fprintf(stderr, "usage: idle-connections [CONNECTIONS] [SECONDS]\n");
        return 2;
    }
    RaiseDescriptorLimit(connections);
    const std::string folder = MakeBenchFolder();
    const std::string root = folder + "/files";
    const std::string registry = folder + "/registry";
    ::mkdir(root.c_str(), 0700);
    std::ofstream(root + "/1k") << std::string(1024, 'x');

    const std::uint16_t port = FreePort();
    double quietPercent = 0, idlePercent = 0, resident = 0, barePercent = 0;
    std::vector<double> newClients;
    int held = 0;
    {
        ServerProcess server(ProgramFolder() + "/file-server", {root, std::to_string(port)}, registry);
        for (int i = 0; i < 100 && ServeOnce(port) < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (ServeOnce(port) < 0) Fail("the server does not answer");
        {
            BareLoop bare;
            const std::uint64_t before = bare.CPUNanoseconds();
            const auto start = Clock::now();
            quietPercent = CorePercent(server.Id(), seconds);
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            barePercent = 100.0 * static_cast<double>(bare.CPUNanoseconds() - before) / 1e9 / wall;
        }

        std::vector<int> idle;
        for (int i = 0; i < connections; ++i) {
            int client = Connect(port);
            if (client < 0 || !SendAll(client, "GET /1k HTTP/1.0\r\nHost: id")) {
                std::fprintf(stderr, "idle-connections: connection %d failed\n", i + 1);
                if (client >= 0) ::close(client);
                break;
            }
            idle.push_back(client);
        }
        held = static_cast<int>(idle.size());
        std::this_thread::sleep_for(std::chrono::seconds(1));  // every connection accepted and read
        idlePercent = CorePercent(server.Id(), seconds);
        resident = ResidentMiB(server.Id());
        for (int i = 0; i < kNewClientTries; ++i) {
            newClients.push_back(ServeOnce(port));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (int client : idle) ::close(client);
    }
    std::system(("rm -rf '" + folder + "'").c_str());

    const bool allServed = std::none_of(newClients.begin(), newClients.end(), [](double s) { return s < 0; });
    std::sort(newClients.begin(), newClients.end());
    const double medianMs = newClients[newClients.size() / 2] * 1000;
    const double slowestMs = newClients.back() * 1000;
    const bool cpuMet = idlePercent <= kMostCorePercent;
    const bool memoryMet = resident <= kMostResidentMiB;
    const bool latencyMet = allServed && slowestMs <= kMostNewClientMilliseconds;

    std::printf("A bare 10 ms epoll loop, for reference: %.3f%% of one core\n", barePercent);
    std::printf("Server CPU, no connections:        %.3f%% of one core over %d s\n", quietPercent, seconds);
    std::printf("Server CPU, %d idle connections: %.3f%% of one core over %d s (goal <= %.1f%%: %s)\n", held,
                idlePercent, seconds, kMostCorePercent, cpuMet ? "met" : "NOT met");
    std::printf("Server resident memory then:       %.1f MiB (goal <= %.0f MiB: %s)\n", resident,
                kMostResidentMiB, memoryMet ? "met" : "NOT met");
    std::printf("New client, connect to reply end:  median %.2f ms, slowest %.2f ms of %d%s (goal <= %.0f ms: %s)\n",
                medianMs, slowestMs, kNewClientTries, allServed ? "" : ", some FAILED",
                kMostNewClientMilliseconds, latencyMet ? "met" : "NOT met");
    return held == connections && cpuMet && memoryMet && latencyMet ? 0 : 1;
}

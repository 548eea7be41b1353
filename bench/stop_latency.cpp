// stop-latency [RUNS]: how long the main HTTP client takes to return once its stop event is set
// while its connect hangs. The target is a loopback listener whose accept queue is full, so the
// kernel drops the client's SYN and the connect waits; another thread sets the event 30 ms after the
// client reports "Connecting to server". Prints the latencies of RUNS stops (default 50) and whether every one
// stayed within 100 ms; exits 1 when one did not.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/file_location.h"
#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client.h"
#include "http/proxy_authentication.h"
#include "net/socket_system.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kGoalMilliseconds = 100;

// A listener with a backlog of 0 that never accepts, its queue filled by connections of its own.
class UnresponsiveListener {
  public:
    UnresponsiveListener() : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("listener");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        for (int& filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~UnresponsiveListener() {
        for (int filler : m_fillers) ::close(filler);
        ::close(m_listener);
    }
    std::uint16_t Port() const { return m_port; }

  private:
    int m_listener;
    std::uint16_t m_port = 0;
    std::array<int, 4> m_fillers{};
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: stop-latency [RUNS]\n");
        return 2;
    }
    SocketSystem::Instance().Start(0, 0, {});
    UnresponsiveListener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/";
    const std::string bodyPath = "/tmp/stop-latency-" + std::to_string(::getpid());

    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        Event stopEvent;
        EventStopFunctor stop(stopEvent);
        Clock::time_point stoppedAt;
        std::thread stopper;
        // The stop comes from another thread, as a service stop does, once the connect is under way.
        TransferProgress progress = [&](const char* text) {
            if (std::string(text) == "Connecting to server" && !stopper.joinable())
                stopper = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                    stoppedAt = Clock::now();
                    stopEvent.Set();
                });
            return true;
        };
        HTTPClientSession session;
        HeaderHandler handler(nullptr, "Veltra Lumeroft");
        int status = 0;
        int result = GetHTTP(url, session, FileLocation(bodyPath.c_str()), handler, status, 30'000'000, progress,
                             stop);
        const Clock::time_point returnedAt = Clock::now();
        if (stopper.joinable()) stopper.join();
        latencies.push_back(std::chrono::duration<double, std::milli>(returnedAt - stoppedAt).count());
        if (result != TransferResult::kStopped) {
            std::fprintf(stderr, "run %d: result %d, not a stop\n", run, result);
            return 1;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double share) { return latencies[static_cast<std::size_t>(share * (latencies.size() - 1))]; };
    std::printf("%d stops during a hanging connect: min %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                runs, latencies.front(), at(0.5), at(0.99), latencies.back());
    const bool met = latencies.back() <= kGoalMilliseconds;
    std::printf("goal: every stop within %.0f ms: %s\n", kGoalMilliseconds, met ? "met" : "NOT met");
    return met ? 0 : 1;
}

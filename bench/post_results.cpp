// post-results [CLIENTS] [REPORTS] [REPORT_BYTES]: how fast the post-results plug-in takes reports in
// and how fast its forwarder carries them to the parent.
//
// Runs, in this process and on loopback, the relay's HTTP server with the post-results plug-in over a
// registry and storage folder of its own (a temporary folder), and a parent that takes every batch
// ("x-veltra-itclient-status: 1"). CLIENTS threads (default 100) each POST REPORTS reports (default
// 20) of REPORT_BYTES bytes (default 10240) of text, one connection per report, as fast as the replies
// come. Then it waits until the forwarder has sent everything to the parent. It prints:
//   - reports/s accepted while the clients posted, and the replies other than 200 (503 when the
//     forwarding buffer is over its limits);
//   - the median and p99 latency of a post, connect to the end of the reply;
//   - the forwarder's drain rate: the parent takes nothing while the clients post (its listener
//     holds the forwarder's first batch unanswered), then serves; reports/s from then until the
//     buffers are empty, with the parent's batches and bytes.
// The settings are the relay's defaults but "ResultTimeLimit", which POST_RESULTS_TIME_LIMIT (seconds,
// default 3) sets.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crypto/openssl_startup.h"
#include "foundation/event.h"
#include "foundation/locked_counters.h"
#include "http/http_server.h"
#include "http/plugin_path_table.h"
#include "net/socket_system.h"
#include "relay/post/post_results_plugin.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "post-results: %s\n", what.c_str());
    std::exit(2);
}

unsigned Argument(int argc, char** argv, int index, unsigned defaultValue) {
    return argc > index ? static_cast<unsigned>(std::strtoul(argv[index], nullptr, 10)) : defaultValue;
}

int Connect(std::uint16_t port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket < 0 || ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("cannot connect to port " + std::to_string(port));
    return socket;
}

void SendAll(int socket, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

std::string ReceiveAll(int socket) {
    std::string received;
    char buffer[16384];
    for (ssize_t n; (n = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, n);
    return received;
}

// The parent: once open, reads each request whole and takes it.
class Parent {
  public:
    Parent() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            Fail("the parent cannot listen");
        m_port = ntohs(address.sin_port);
    }
    ~Parent() {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        ::close(m_listener);
    }

    void Open() {
        m_thread = std::thread([this] { Serve(); });
    }

    std::uint16_t Port() const { return m_port; }
    unsigned Batches() const { return m_batches; }
    std::uint64_t Bytes() const { return m_bytes; }

  private:
    void Serve() {
        for (int client; (client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::string request;
            char buffer[65536];
            std::size_t wanted = std::string::npos;
            while (request.size() < wanted) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
                const std::size_t headEnd = request.find("\r\n\r\n");
                const std::size_t field = request.find("Content-Length: ");
                if (wanted == std::string::npos && headEnd != std::string::npos && field < headEnd)
                    wanted = headEnd + 4 + std::strtoull(request.c_str() + field + 16, nullptr, 10);
            }
            ++m_batches;
            m_bytes += request.size();
            SendAll(client, "HTTP/1.0 200 OK\r\nx-veltra-itclient-status: 1\r\nContent-Length: 0\r\n\r\n");
            ::close(client);
        }
    }

    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<unsigned> m_batches{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::thread m_thread;
};

// Text of the given length, words from a small vocabulary, as inspection results read.
std::string Report(unsigned client, unsigned index, std::size_t bytes) {
    static const char* const kWords[] = {"<Answer>", "</Answer>", "Computer", "Property",
                                         "value",    "true",      "false",    "12.4.0",
                                         "\r\n",     "Registry",  "Fixlet",   "relevance"};
    std::string report = "client " + std::to_string(client) + " report " + std::to_string(index) + "\r\n";
    std::uint32_t state = client * 7919 + index;
    while (report.size() < bytes) {
        state = state * 1103515245 + 12345;
        report += kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
        report += ' ';
    }
    report.resize(bytes);
    return report;
}

std::size_t FilesIn(const std::string& folder) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) ++files;
    return files;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned clients = Argument(argc, argv, 1, 100);
    const unsigned reportsEach = Argument(argc, argv, 2, 20);
    const unsigned reportBytes = Argument(argc, argv, 3, 10240);
    const char* timeLimit = std::getenv("POST_RESULTS_TIME_LIMIT");

    char folderTemplate[] = "/tmp/post-results-XXXXXX";
    if (!::mkdtemp(folderTemplate)) Fail("no temporary folder");
    const std::string folder = folderTemplate;
    std::filesystem::create_directories(folder + "/registry");
    std::filesystem::create_directories(folder + "/storage");
    ::setenv("VELTRA_REGISTRY_DIR", (folder + "/registry").c_str(), 1);
    Parent parent;
    const std::string named = "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";
    std::ofstream(folder + "/registry/HKLM.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu "
           "Server\\GlobalOptions]\n\"StoragePath\"=\""
        << folder << "/storage\"\n\n"
        << named << "_KVRRelay_PostResults_ParentRelayURL]\n\"value\"=\"http://127.0.0.1:" << parent.Port()
        << "/cgi-bin/vtdaruravidu/PostResults.exe\"\n\n"
        << named << "_KVRRelay_PostResults_ResultTimeLimit]\n\"value\"=\"" << (timeLimit ? timeLimit : "3")
        << "\"\n";

    if (!SocketSystem::Instance().Start(0, 0, {})) Fail("no sockets");
    InitializeOpenSSL(false);
    Event stop;
    LockedCounters counters;
    PostResultsPlugIn plugIn(counters, stop, [] { return X509Holder(); });
    plugIn.Start();
    PlugInPathTable plugIns;
    RegisterPlugInNames(plugIns, plugIn);
    HTTPServerSettings settings("KVRRelay");
    settings.port = 0;
    HTTPServer server(settings, plugIns, stop, false);
    std::thread loop([&] { server.Run(); });
    const std::uint16_t port = server.Port();

    std::mutex resultsLock;
    std::vector<double> latencies;
    unsigned refused = 0;
    const Clock::time_point postingStarted = Clock::now();
    std::vector<std::thread> threads;
    for (unsigned client = 0; client < clients; ++client)
        threads.emplace_back([&, client] {
            for (unsigned index = 0; index < reportsEach; ++index) {
                const std::string report = Report(client, index, reportBytes);
                const Clock::time_point begun = Clock::now();
                const int socket = Connect(port);
                SendAll(socket, "POST /cgi-bin/vtdaruravidu/PostResults.exe HTTP/1.0\r\nContent-Length: " +
                                    std::to_string(report.size()) + "\r\n\r\n" + report);
                const std::string reply = ReceiveAll(socket);
                ::close(socket);
                const double milliseconds =
                    std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
                std::lock_guard<std::mutex> guard(resultsLock);
                latencies.push_back(milliseconds);
                if (reply.compare(9, 3, "200") != 0) ++refused;
            }
        });
    for (std::thread& thread : threads) thread.join();
    const double postingSeconds = std::chrono::duration<double>(Clock::now() - postingStarted).count();
    const unsigned accepted = clients * reportsEach - refused;

    const std::string buffer = folder + "/storage/QuorelData/BufferDir";
    const Clock::time_point drainStarted = Clock::now();
    parent.Open();
    const Clock::time_point drainDeadline = Clock::now() + std::chrono::minutes(30);
    while (FilesIn(buffer) + FilesIn(buffer + "/ForwardingBufferDir") != 0) {
        if (Clock::now() > drainDeadline) Fail("the buffers did not drain within 30 minutes");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double drainSeconds = std::chrono::duration<double>(Clock::now() - drainStarted).count();

    std::printf("clients %u, reports %u of %u bytes, ResultTimeLimit %s s\n", clients, clients * reportsEach,
                reportBytes, timeLimit ? timeLimit : "3");
    std::printf("accepted %u reports in %.2f s: %.0f reports/s; refused %u\n", accepted, postingSeconds,
                accepted / postingSeconds, refused);
    std::printf("post latency: median %.1f ms, p99 %.1f ms\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.99));
    std::printf("drain: %u reports in %.2f s: %.0f reports/s (%u batches, %.1f MiB)\n", accepted,
                drainSeconds, accepted / drainSeconds, parent.Batches(), parent.Bytes() / 1048576.0);

    stop.Set();
    loop.join();
    std::filesystem::remove_all(folder);
    return 0;
}

// file-server ROOT PORT: the relay's HTTP server alone, serving the files of the folder ROOT on
// 127.0.0.1:PORT until SIGINT or SIGTERM, with no plug-in registered. Every other setting is read as
// the relay reads it ("_KVRRelay_HTTPServer_..." in the registry), so VELTRA_REGISTRY_DIR and kvrreg
// configure it. For benchmarks and manual checks.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/numerals.h"
#include "foundation/stop_event.h"
#include "http/http_server.h"
#include "http/plugin_path_table.h"
#include "net/socket_system.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// Sets the stop event when SIGINT or SIGTERM arrives; the signals are blocked in every other thread.
std::thread StopOnSignal(Event& stop) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return std::thread([signals, &stop] {
        int signal = 0;
        sigwait(&signals, &signal);
        stop.Set();
    });
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t port = 0;
    if (argc != 3 || ParseDecimalUInt32(ConstDataOfCString(argv[2]), port) != NumeralStatus::Success ||
        port > 65535) {
        std::fprintf(stderr, "usage: file-server ROOT PORT\n");
        return kExitUsage;
    }
    try {
        if (!SocketSystem::Instance().Start(0, 0, {})) {
            std::fprintf(stderr, "file-server: no sockets: %s\n",
                         SocketSystem::Instance().Describe().c_str());
            return kExitFailure;
        }
        Event& stop = ProcessStopEvent();
        std::thread signals = StopOnSignal(stop);
        signals.detach();
        HTTPServerSettings settings("KVRRelay");
        settings.serverRootPath = FileLocation(argv[1]);
        settings.port = port;
        PlugInPathTable plugIns;
        HTTPServer server(settings, plugIns, stop, false);
        server.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "file-server: %s\n", error.what());
        return kExitFailure;
    }
    return 0;
}

// waiting-bodies [CONNECTIONS] [BODY_BYTES]: what clients that are slow to send their request bodies
// cost a running relay.
//
// Starts `kvrrelay -d` of this build (../src/kvrrelay beside this program) in a folder with a
// registry of its own, on a free loopback port, with a read time-out long enough that nobody is
// closed during the measurement. Then CONNECTIONS clients (default 1000) each send the head of a
// client-register sequence update announcing BODY_BYTES + 1000 body bytes and the first BODY_BYTES
// of the body (default 100; below 64 KiB, which the relay would hand to the plug-in), and wait. Once the relay has
// answered a GET that connected after them, the relay's resident memory and threads are measured
// again. Prints the memory each waiting connection costs, the connections held per MiB, and the
// threads before and meanwhile (a client waiting on the loop holds no plug-in thread).
//
// Resident memory is VmRSS of /proc/PID/status; the relay's working folder is removed at the end.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback_bench.h"

namespace {

constexpr std::size_t kHeldBodyBytes = 64 * 1024;
constexpr const char* kProbe = "GET /vtmirror/downloads/0 HTTP/1.0\r\nHost: bench\r\n\r\n";

// The relay's settings as REGEDIT4: a fresh machine (storage in the folder, no FIPS), the port, a
// read time-out of an hour.
std::string MachineHive(const std::string& folder, std::uint16_t port) {
    auto clientSetting = [](const std::string& name, const std::string& value) {
        return "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name + "]\n\"value\"=\"" +
               value + "\"\n\n";
    };
    return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n\"StoragePath\"=\"" +
           folder + "/storage\"\n\n" + clientSetting("_KVRClient_Cryptography_FipsMode", "none") +
           clientSetting("_KVRRelay_HTTPServer_PortNumber", std::to_string(port)) +
           clientSetting("_KVRRelay_HTTPServer_ReadTimeOut", "3600");
}

bool Answers(std::uint16_t port) {
    return Exchange(port, kProbe).rfind("HTTP/1.0 200 ", 0) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int connections = argc > 1 ? std::atoi(argv[1]) : 1000;
    const long bodyBytes = argc > 2 ? std::atol(argv[2]) : 100;
    if (connections <= 0 || bodyBytes < 0 || bodyBytes >= static_cast<long>(kHeldBodyBytes)) {
        std::fprintf(stderr, "usage: waiting-bodies [CONNECTIONS] [BODY_BYTES]\n");
        return 2;
    }
    const std::size_t sent = static_cast<std::size_t>(bodyBytes);
    const std::size_t contentLength = sent + 1000;
    RaiseDescriptorLimit(connections);
    const std::string folder = MakeBenchFolder();
    const std::string registry = folder + "/registry";
    const std::uint16_t port = FreePort();
    std::ofstream(registry + "/HKLM.reg") << MachineHive(folder, port);

    double residentBefore = 0, residentHolding = 0, threadsBefore = 0, threadsHolding = 0;
    int held = 0;
    {
        ServerProcess relay(ProgramFolder() + "/../src/kvrrelay", {"-d"}, registry, folder);
        for (int i = 0; i < 400 && !Answers(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!Answers(port)) Fail("the relay does not answer");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        residentBefore = ResidentMiB(relay.Id());
        threadsBefore = ProcessStatusNumber(relay.Id(), "Threads");

        const std::string request = "POST /cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=UpdateSequenceNumbers "
                                    "HTTP/1.0\r\nHost: bench\r\nContent-Length: " +
                                    std::to_string(contentLength) + "\r\n\r\n" + std::string(sent, 'b');
        std::vector<int> waiting;
        for (int i = 0; i < connections; ++i) {
            int client = Connect(port);
            if (client < 0 || !SendAll(client, request)) {
                std::fprintf(stderr, "waiting-bodies: connection %d failed\n", i + 1);
                if (client >= 0) ::close(client);
                break;
            }
            waiting.push_back(client);
        }
        held = static_cast<int>(waiting.size());
        if (!Answers(port)) Fail("the relay does not answer with the clients waiting");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        residentHolding = ResidentMiB(relay.Id());
        threadsHolding = ProcessStatusNumber(relay.Id(), "Threads");
        for (int client : waiting) ::close(client);
    }
    std::system(("rm -rf '" + folder + "'").c_str());

    const double grownMiB = residentHolding - residentBefore;
    std::printf("Relay resident memory: %.1f MiB, %.1f MiB with %d clients waiting to send a body of %zu bytes "
                "after %zu\n",
                residentBefore, residentHolding, held, contentLength, sent);
    std::printf("Per waiting connection: %.2f KiB; connections held per MiB: %.0f\n", grownMiB * 1024 / held,
                grownMiB > 0 ? held / grownMiB : 0.0);
    std::printf("Relay threads: %.0f, %.0f with the clients waiting\n", threadsBefore, threadsHolding);
    return held == connections ? 0 : 1;
}

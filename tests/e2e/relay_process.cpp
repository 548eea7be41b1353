#include "e2e/relay_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <thread>

#include "support/kvrreg_runner.h"
#include "support/program_runner.h"

namespace {

const std::string kClientSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";
const std::string kServerKey = "HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server";
const std::string kServerGlobalOptionsKey = kServerKey + "\\GlobalOptions";
const std::string kPortSetting = "_KVRRelay_HTTPServer_PortNumber";

// A socket closed when it goes.
class Socket {
  public:
    explicit Socket(int family) : m_descriptor(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (m_descriptor >= 0) ::close(m_descriptor);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return m_descriptor; }

  private:
    int m_descriptor;
};

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

RelayProcess::RelayProcess() {
    Import("[" + kServerGlobalOptionsKey + "]\n\"StoragePath\"=\"" + Escaped(m_folder / "storage") + "\"\n");
    SetClientSetting("_KVRClient_Cryptography_FipsMode", "none");
    SetClientSetting(kPortSetting, std::to_string(Port()));
    // The gather service's internet test stays on loopback: the relay asks its own port.
    SetClientSetting("_KVRGather_ConnectivityTest_InternetTestURL",
                     "http://127.0.0.1:" + std::to_string(Port()) + "/ConnectivityTest");
    // The mirrored sites lie below the served root, and the URLs handed out name this relay.
    Import("[" + kServerKey + "]\n\"wwwRootFolder\"=\"" + Escaped(m_folder / "wwwroot") + "\"\n");
    SetHostname();
}

void RelayProcess::SetHostname() {
    Import("[" + kServerKey + "\\Installer]\n\"Hostname\"=\"http://127.0.0.1:" + std::to_string(Port()) + "\"\n");
}

RelayProcess::~RelayProcess() {
    if (m_pid > 0) AwaitChildExit(m_pid, std::chrono::milliseconds(0));
}

void RelayProcess::Import(const std::string& keysAndValues) {
    m_registry.MakeCurrent();
    ImportWithKvrreg(keysAndValues);
}

void RelayProcess::SetClientSetting(const std::string& name, const std::string& value) {
    Import("[" + kClientSettingsKey + name + "]\n\"value\"=\"" + Escaped(value) + "\"\n");
}

void RelayProcess::RemoveStoragePath() { Import("[" + kServerGlobalOptionsKey + "]\n\"StoragePath\"=-\n"); }

std::string RelayProcess::Read(const std::string& key, const std::string& value) {
    m_registry.MakeCurrent();
    std::string text = RunKvrreg({"get", key, value}).out;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

void RelayProcess::Start() {
    m_registry.MakeCurrent();
    m_pid = StartProgram(KVR_BINARY_DIR "/src/kvrrelay", {"-d"}, Folder(), m_folder / "console.txt");
}

bool RelayProcess::IsRunning() const {
    siginfo_t information{};
    return m_pid > 0 && ::waitid(P_PID, m_pid, &information, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           information.si_pid == 0;
}

bool RelayProcess::AwaitProbe(std::chrono::milliseconds limit) {
    int restarts = 0;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        // The probe answers at once; a connection that lingers is another program's listener.
        const std::string reply = Get("/vtmirror/downloads/0", std::chrono::seconds(1));
        if (reply.starts_with("HTTP/1.0 200") && reply.ends_with("\r\n\r\nA")) return true;
        if (!IsRunning()) return false;
        if (restarts < kPortInUseRestarts && LoggedPortInUse()) {
            RestartOnANewPort(++restarts);
            deadline = std::chrono::steady_clock::now() + limit;
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The relay waits 30 seconds before it tries its port again; a test should not, and whoever holds
// the port did not reserve it, so it may hold it for long.
bool RelayProcess::LoggedPortInUse() const {
    return Log().find("Unable to start KVR Relay: socket already in use on port " + std::to_string(Port()) + ",") !=
           std::string::npos;
}

void RelayProcess::RestartOnANewPort(int restart) {
    const std::string taken = std::to_string(Port());
    Stop();
    std::error_code ignored;
    std::filesystem::rename(m_folder / "logfile.txt", m_folder / ("logfile-port-" + taken + ".txt"), ignored);
    std::filesystem::rename(m_folder / "console.txt", m_folder / ("console-port-" + taken + ".txt"), ignored);
    // The new port is reserved before the old one goes, so it cannot be the old one again.
    m_port = PortReservation();
    SetClientSetting(kPortSetting, std::to_string(Port()));
    SetHostname();
    std::cerr << "RelayProcess: port " << taken << " already in use at start; restarting the relay on port "
              << Port() << " (restart " << restart << " of " << kPortInUseRestarts << ")" << std::endl;
    Start();
}

std::string RelayProcess::Get(const std::string& path, std::chrono::milliseconds limit) const {
    return Get(path, "", limit);
}

std::string RelayProcess::Get(const std::string& path, const std::string& headers,
                              std::chrono::milliseconds limit) const {
    return Exchange("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n", limit);
}

std::string RelayProcess::Post(const std::string& path, const std::string& body, std::chrono::milliseconds limit) const {
    return Exchange("POST " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n\r\n" + body,
                    limit);
}

std::string RelayProcess::Exchange(const std::string& request, std::chrono::milliseconds limit) const {
    Socket socket(AF_INET);
    // The send limit bounds the connect too.
    const timeval wait{static_cast<time_t>(limit.count() / 1000), static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return "";
    if (::send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return "";
    std::string reply;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(socket.Get(), buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    return reply;
}

int RelayProcess::Stop(std::chrono::milliseconds limit) {
    ::kill(m_pid, SIGTERM);
    return AwaitExit(limit);
}

void RelayProcess::Kill() {
    ::kill(m_pid, SIGKILL);
    AwaitExit(std::chrono::seconds(20));
}

int RelayProcess::AwaitExit(std::chrono::milliseconds limit) {
    const int status = AwaitChildExit(m_pid, limit);
    m_pid = -1;
    return status;
}

std::string RelayProcess::Log() const { return ReadWholeFile(m_folder / "logfile.txt"); }
std::string RelayProcess::Console() const { return ReadWholeFile(m_folder / "console.txt"); }

bool RelayProcess::AwaitLogLine(const std::string& text, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Log().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
